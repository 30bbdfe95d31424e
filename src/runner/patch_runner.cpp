#include "runner/patch_runner.h"

#include "discovery/file_discovery.h"
#include "platform/bounded_text.h"
#include "platform/scoped_handle.h"
#include "runner/argument_expansion.h"
#include "runner/installer_command_line.h"
#include "shared/log_events.h"
#include "shared/secret_masking.h"

namespace setup {

namespace {

constexpr std::uint32_t kPollMilliseconds = 50;

// Waits on the child rather than polling its exit code, so that a child whose own status is
// STILL_ACTIVE (259) is not taken for a running one. The restore must not run while the installer
// may still read Transforms: should the wait fail, the exit code is read every 50 ms until it is
// not 259, the wait tried again each round (only a wait can tell a child that ended with 259). A
// handle that answers neither is given up.
Status WaitForExit(Platform& platform, const RunState& run, KernelHandle process) {
  if (platform.WaitForSingleObject(process, INFINITE) != WAIT_OBJECT_0) {
    Tell<LogEvent::WaitFailed>(run, kPollMilliseconds);
    for (;;) {
      std::uint32_t exitCode = STILL_ACTIVE;
      const bool read = platform.GetExitCodeProcess(process, &exitCode);
      if (read && exitCode != STILL_ACTIVE) return exitCode;
      const std::uint32_t waited = platform.WaitForSingleObject(process, kPollMilliseconds);
      if (waited == WAIT_OBJECT_0) break;
      if (waited == WAIT_FAILED) {
        if (!read) return ERROR_INVALID_HANDLE;
        platform.Sleep(kPollMilliseconds);
      }
    }
  }
  std::uint32_t exitCode = STILL_ACTIVE;
  return platform.GetExitCodeProcess(process, &exitCode) ? exitCode : ERROR_INVALID_HANDLE;
}

// A pre-flight line, and its warning, when Files holds no patch package (where the launcher looked,
// and the folder to start Setup.exe in) or more than one (the one taken and those ignored).
std::uint32_t LogPatchPackagePreflight(Platform& platform, const RunState& run,
                                       const PatchFolder& folder, const PatchPackages& packages) {
  if (packages.chosen.empty()) {
    WidePath program;
    if (!program.adopt_reported_text(
            platform.GetModuleFileNameW(program.writable_buffer(), program.writable_size()))) {
      Tell<LogEvent::NoPatch>(run, folder.shortForm.c_str());
      return kWarnNoPatch;
    }
    std::size_t folderEnd = program.length();
    while (folderEnd > 0 && program[folderEnd - 1] != u'\\') --folderEnd;
    Tell<LogEvent::NoPatchSetupIn>(run, folder.shortForm.c_str(), Span(program.c_str(), folderEnd));
    return kWarnNoPatch;
  }
  if (packages.count < 2) return 0;
  LogLine ignored;
  for (std::uint32_t at = 0; at < PatchPackages::kNamed && at + 1 < packages.count; ++at) {
    if (at > 0) ignored << ", ";
    ignored << "\"" << packages.next[at].c_str() << "\"";
  }
  if (packages.count - 1 > PatchPackages::kNamed) {
    Say<LogEvent::AndMore>(ignored, packages.count - 1 - PatchPackages::kNamed);
  }
  Tell<LogEvent::SeveralPatches>(run, packages.count, InQuotes(packages.chosen.c_str()), ignored);
  return kWarnSeveralPatches;
}

struct Arguments {
  const WideChar* typed;
  Status expansion = ERROR_SUCCESS;  // or ERROR_INSUFFICIENT_BUFFER
  WideLongText expanded;
  UnitsFromVariables fromVariables;
};

// The line handed to the interpreter, logged as the installer gets it, or why it would not fit (or
// the patch path, the interpreter's path or the arguments did not).
void BuildCommandLine(const RunState& run, const WidePath& systemFolder,
                      const WideLongText& patchPath, const Arguments& arguments,
                      InstallerCommand& command) {
  const WideChar* const expanded = arguments.expanded.c_str();
  if (arguments.expansion == ERROR_SUCCESS && !TextEquals(expanded, arguments.typed)) {
    LogLine masked;
    AppendWithSecretsMasked(masked, expanded, &arguments.fromVariables);
    Tell<LogEvent::ArgumentsExpanded>(run, masked);
  }
  WidePath& application = command.application;
  const bool piecesFit = application.assign(systemFolder.c_str()) &&
                         application.append(u"\\cmd.exe") && !patchPath.empty() &&
                         arguments.expansion == ERROR_SUCCESS;
  LogLine described;
  const std::uint32_t units =
      piecesFit ? BuildInstallerCommandLine(systemFolder.c_str(), patchPath.c_str(), expanded,
                                            command.line, &described, &arguments.fromVariables)
                : 0;
  if (piecesFit && !command.line.empty()) {
    Tell<LogEvent::InstallerCommandLine>(run, application.c_str(), described);
    return;
  }
  // The limit counts the line as the interpreter gets it, escapes included: an argument of 500 "%"
  // signs takes 4000 units.
  const auto given = static_cast<std::uint32_t>(TextLength(arguments.typed));
  const std::uint32_t most = command.line.writable_size() - 1;
  if (piecesFit) {
    Tell<LogEvent::LineTooLong>(run, units, given, most);
  } else {
    Tell<LogEvent::LineLongerStill>(run, given, most);
  }
  command.startStatus = ERROR_INSUFFICIENT_BUFFER;
}

}  // namespace

InstallerCommand PrepareInstallerCommand(Platform& platform, const RunState& run,
                                         const PatchFolder& folder, const WideChar* commandTail) {
  InstallerCommand command;
  Arguments arguments{commandTail, ERROR_SUCCESS, {}, {}};
  arguments.expansion =
      ExpandWithEnvironment(platform, folder.currentDirectory.c_str(), commandTail,
                            arguments.expanded, arguments.fromVariables);
  const bool valueCarried =
      arguments.expansion != ERROR_SUCCESS || InterpreterCanCarry(arguments.expanded.c_str());
  const bool typedCarried = InterpreterCanCarry(commandTail);
  if (!typedCarried || !valueCarried) {
    // Cut at the break, the installer would get other arguments than given.
    Tell<LogEvent::LineBreak>(run,
                              typedCarried ? "a variable it names holds" : "its arguments hold");
    command.refusal = ERROR_INVALID_COMMAND_LINE;
    return command;
  }
  command.packages = ListPatchPackages(platform, run, folder);
  WideLongText patchPath;  // empty when it does not fit: the line does not either
  if (!patchPath.assign(folder.shortForm.c_str()) || !patchPath.append(kFilesFolder) ||
      !patchPath.append(command.packages.chosen)) {
    patchPath.clear();
  } else if (!PatchPathCanBeCarried(patchPath.c_str())) {
    Tell<LogEvent::PatchPathNotCarried>(run, InQuotes(patchPath.c_str()));
    command.refusal = ERROR_INVALID_COMMAND_LINE;
    return command;
  }
  WidePath systemFolder;
  if (!systemFolder.adopt_reported_text(platform.GetSystemDirectoryW(
          systemFolder.writable_buffer(), systemFolder.writable_size()))) {
    // Without it the interpreter's path would be relative to the current drive.
    Tell<LogEvent::NoSystemFolder>(run);
    command.startStatus = ERROR_PATH_NOT_FOUND;
    return command;
  }
  // No patch package leaves the name empty: the installer is started all the same and reports the
  // missing package itself.
  command.warnings = LogPatchPackagePreflight(platform, run, folder, command.packages);
  BuildCommandLine(run, systemFolder, patchPath, arguments, command);
  return command;
}

InstallerRun RunPatch(Platform& platform, const RunState& run, const PatchFolder& folder,
                      const InstallerCommand& command) {
  InstallerRun result{false, command.startStatus};
  if (result.status != ERROR_SUCCESS) return result;
  // The log so far reaches the disk before the installer may restart the machine.
  FlushRunLog(run.Log);
  const StartupInfo startup{STARTUPINFOW_SIZE_32, STARTF_USESHOWWINDOW, SW_HIDE};
  ProcessInformation child;
  WideLongText commandLine = command.line;  // the start may write to its line
  result.status = platform.CreateProcessW(
      command.application.c_str(), commandLine.writable_buffer(), NORMAL_PRIORITY_CLASS,
      folder.shortForm.empty() ? nullptr : folder.shortForm.c_str(), startup, &child);
  if (result.status != ERROR_SUCCESS) {
    Tell<LogEvent::NotStarted>(run, StatusText{result.status});
    return result;
  }
  Tell<LogEvent::InterpreterStarted>(run, child.processId);
  result.started = true;

  const ScopedKernelHandle process(platform, child.process);
  const ScopedKernelHandle thread(platform, child.thread);
  result.status = WaitForExit(platform, run, process.get());
  Tell<LogEvent::InstallerEnded>(run, InstallerStatusText{result.status});
  return result;
}

}  // namespace setup
