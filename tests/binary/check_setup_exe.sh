#!/usr/bin/env bash
# Kept for callers of the old name: the checks live in check_setup_exe.py
# (format, imports, mitigations, manifest, version, size, stack protection).
exec /usr/bin/python3 "$(dirname "$0")/check_setup_exe.py" "$@"
