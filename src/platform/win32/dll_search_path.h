// Keeps DLLs of the launcher's own folder (often a download folder) and of
// the current folder out of every later load.
#ifndef SETUP_PLATFORM_WIN32_DLL_SEARCH_PATH_H
#define SETUP_PLATFORM_WIN32_DLL_SEARCH_PATH_H

namespace setup {

// Restricts the default DLL search to the system folder where the system
// can (SetDefaultDllDirectories, looked up at run time) and removes the
// current folder from the search (SetDllDirectoryW with an empty text).
// Called first thing, before any DLL beyond kernel32 and the C runtime is
// loaded.
void LockDllSearchPath();

// Whether the system knows the search flags (LOAD_LIBRARY_SEARCH_SYSTEM32
// and others): from Windows 8 on, and on Windows 7 with the update that
// also brought SetDefaultDllDirectories, by which they are recognised.
bool SystemHasDllSearchFlags();

}  // namespace setup

#endif  // SETUP_PLATFORM_WIN32_DLL_SEARCH_PATH_H
