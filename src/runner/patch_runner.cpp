#include "runner/patch_runner.h"

#include "discovery/file_discovery.h"
#include "platform/bounded_text.h"
#include "platform/scoped_handle.h"
#include "runner/argument_expansion.h"
#include "runner/installer_command_line.h"
#include "runner/patch_package_preflight.h"
#include "shared/files_folder.h"
#include "shared/secret_masking.h"
#include "shared/status_meanings.h"

namespace setup {

namespace {

// How often the exit code is read while waiting on the child fails.
constexpr std::uint32_t kPollMilliseconds = 50;

// The child's exit code, or ERROR_INVALID_HANDLE when it cannot be read.
Status ExitCodeOf(Platform& platform, KernelHandle process) {
  std::uint32_t exitCode = STILL_ACTIVE;
  if (!platform.GetExitCodeProcess(process, &exitCode)) return ERROR_INVALID_HANDLE;
  return exitCode;
}

// Waits on the child itself rather than polling its exit code, so a child
// whose own status is STILL_ACTIVE is not taken for a running one. The
// restore must not run while the installer may still read Transforms: when
// the wait fails, the exit code is read every 50 ms until it is no longer
// STILL_ACTIVE, and the wait is tried again each round, so that a wait that
// works again (the only way to tell a child that ended with 259) ends the
// loop. A handle that answers neither is given up as ERROR_INVALID_HANDLE.
Status WaitForExit(Platform& platform, const RunState& run, KernelHandle process) {
  if (platform.WaitForSingleObject(process, INFINITE) == WAIT_OBJECT_0) {
    return ExitCodeOf(platform, process);
  }
  WriteLog(platform, run,
           LogLine() << "Installer: waiting failed; its exit code is read every "
                     << kPollMilliseconds << " ms until it has ended");
  for (;;) {
    std::uint32_t exitCode = STILL_ACTIVE;
    const bool read = platform.GetExitCodeProcess(process, &exitCode);
    if (read && exitCode != STILL_ACTIVE) return exitCode;
    const std::uint32_t waited = platform.WaitForSingleObject(process, kPollMilliseconds);
    if (waited == WAIT_OBJECT_0) return ExitCodeOf(platform, process);
    if (waited == WAIT_FAILED) {
      if (!read) return ERROR_INVALID_HANDLE;
      platform.Sleep(kPollMilliseconds);
    }
  }
}

}  // namespace

bool PatchPackagePath(Platform& platform, RunState& run, WideLongText& path) {
  return path.assign(run.SourceFolder.c_str()) && path.append(FilesFolderName.afterSourceFolder) &&
         path.append(PatchPackageName(platform, run));
}

Status CheckArgumentsCanBeCarried(Platform& platform, RunState& run, const WideChar* commandTail) {
  WideLongText expanded;
  // Arguments too long to expand are the runner's to report.
  const bool valueCarried = ExpandWithEnvironment(platform, run.CurrentDirectory.c_str(),
                                                  commandTail, expanded) != ERROR_SUCCESS ||
                            InterpreterCanCarry(expanded.c_str());
  if (!InterpreterCanCarry(commandTail) || !valueCarried) {
    // Cut at the line break, the installer would run with other arguments
    // than the deployment gave.
    WriteLog(platform, run,
             LogLine() << "Command line: "
                       << (valueCarried ? "its arguments hold" : "a variable it names holds")
                       << " a line break, which the command interpreter cannot pass on to the "
                          "installer; nothing is changed or started");
    return ERROR_INVALID_COMMAND_LINE;
  }
  WideLongText patchPath;
  // A path too long for the command line is the runner's to report.
  if (!PatchPackagePath(platform, run, patchPath) || PatchPathCanBeCarried(patchPath.c_str())) {
    return ERROR_SUCCESS;
  }
  WriteLog(platform, run,
           (LogLine() << "Patch package: its path ").Quoted(patchPath.c_str())
               << " holds a quote, a ';' (msiexec /p's separator between patches) or a line "
                  "break; nothing is changed or started: move or rename it");
  return ERROR_INVALID_COMMAND_LINE;
}

Status RunPatch(Platform& platform, RunState& run, const WideChar* commandTail) {
  WidePath systemFolder;
  const std::uint32_t systemFolderLength = platform.GetSystemDirectoryW(
      systemFolder.writable_buffer(), static_cast<std::uint32_t>(systemFolder.capacity()));
  if (systemFolderLength == 0 || systemFolderLength >= systemFolder.capacity()) {
    // Without it the interpreter's path would be relative to whatever the
    // current drive holds; nothing is started.
    WriteLog(platform, run, LogLine() << "Installer: not started, no system folder");
    return ERROR_PATH_NOT_FOUND;
  }
  systemFolder.adopt_written_text();

  // No patch package leaves the name empty: the installer is started all
  // the same and reports the missing package itself.
  const WidePath& patchName = PatchPackageName(platform, run);
  run.PatchFile = patchName;
  LogPatchPackagePreflight(platform, run);
  WideLongText patchPath;
  WideLongText commandLine;
  WidePath application;
  const bool pathsFit = PatchPackagePath(platform, run, patchPath) &&
                        application.assign(systemFolder.c_str()) &&
                        application.append(u"\\cmd.exe");
  // The launcher expands the arguments as a prompt would: the interpreter
  // is handed no variable reference (installer_command_line.cpp says why).
  WideLongText arguments;
  const Status expansion =
      ExpandWithEnvironment(platform, run.CurrentDirectory.c_str(), commandTail, arguments);
  if (expansion == ERROR_SUCCESS && !TextEquals(arguments.c_str(), commandTail)) {
    LogLine line;
    line << "Arguments as expanded: ";
    AppendWithSecretsMasked(line, arguments.c_str());
    WriteLog(platform, run, line);
  }
  const Status built = !pathsFit ? ERROR_INSUFFICIENT_BUFFER
                       : expansion != ERROR_SUCCESS
                           ? expansion
                           : BuildInstallerCommandLine(systemFolder.c_str(), patchPath.c_str(),
                                                       arguments.c_str(), commandLine);
  if (built == ERROR_INVALID_COMMAND_LINE) {
    WriteLog(platform, run,
             LogLine() << "Installer: not started, the patch path or the arguments cannot be "
                          "carried");
    return built;
  }
  if (built != ERROR_SUCCESS) {
    // The limit counts the line as the interpreter gets it, escapes
    // included: an argument of 500 "%" signs takes 4000 units.
    LogLine line;
    line << "Installer: not started, the command line handed to the interpreter would be ";
    if (expansion == ERROR_SUCCESS && pathsFit) {
      line << static_cast<std::uint32_t>(InstallerCommandLineLength(
                  systemFolder.c_str(), patchPath.c_str(), arguments.c_str()))
           << " units, escapes included";
    } else {
      line << "longer still";
    }
    line << " (the arguments: " << static_cast<std::uint32_t>(TextLength(commandTail))
         << " units as given); at most " << static_cast<std::uint32_t>(commandLine.capacity() - 1)
         << " fit";
    WriteLog(platform, run, line);
    return built;
  }
  // The path and the arguments as the installer gets them; the line the
  // interpreter is given has its operators and every "%" escaped.
  LogLine line;
  line << "Installer command line: " << application.c_str() << " ";
  DescribeInstallerCommandLine(line, systemFolder.c_str(), patchPath.c_str(), arguments.c_str());
  WriteLog(platform, run, line);

  // The lines so far reach the disk before the installer may take the
  // machine down with a restart.
  FlushRunLog(platform, run.Log);
  StartupInfo startup;
  startup.size = STARTUPINFOW_SIZE_32;
  startup.flags = STARTF_USESHOWWINDOW;
  startup.showWindow = SW_HIDE;
  ProcessInformation child;
  const Status started = platform.CreateProcessW(
      application.c_str(), commandLine.writable_buffer(), NORMAL_PRIORITY_CLASS,
      run.SourceFolder.empty() ? nullptr : run.SourceFolder.c_str(), startup, &child);
  if (started != ERROR_SUCCESS) {
    WriteLog(platform, run,
             LogLine() << "Installer: could not be started: " << StatusText{started});
    return started;
  }
  WriteLog(platform, run,
           LogLine() << "Command interpreter started, process " << child.processId
                     << "; it starts the installer");
  run.InstallerStarted = true;

  const ScopedKernelHandle process(platform, child.process);
  const ScopedKernelHandle thread(platform, child.thread);
  const Status ended = WaitForExit(platform, run, process.get());
  WriteLog(platform, run, LogLine() << "Installer ended with " << InstallerStatusText{ended});
  return ended;
}

}  // namespace setup
