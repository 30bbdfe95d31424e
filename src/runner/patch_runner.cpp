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

// How often the exit code is read while waiting on the child fails.
constexpr std::uint32_t kPollMilliseconds = 50;

// Waits on the child rather than polling its exit code, so that a child
// whose own status is STILL_ACTIVE (259) is not taken for a running one.
// The restore must not run while the installer may still read Transforms:
// should the wait fail, the exit code is read every 50 ms until it is not
// 259, the wait tried again each round (only a wait can tell a child that
// ended with 259). A handle that answers neither is given up.
Status WaitForExit(Platform& platform, const RunState& run, KernelHandle process) {
  if (platform.WaitForSingleObject(process, INFINITE) != WAIT_OBJECT_0) {
    Tell(run, LogEvent::WaitFailed, {kPollMilliseconds});
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

// The launcher expands the arguments as a prompt would: the interpreter is
// handed no variable reference (installer_command_line.cpp says why).
Status ExpandArguments(Platform& platform, RunState& run, const WideChar* commandTail) {
  return ExpandWithEnvironment(platform, run.CurrentDirectory.c_str(), commandTail, run.Arguments,
                               run.ArgumentsFromVariables);
}

// A pre-flight line, and its warning, when Files holds no patch package
// (where the launcher looked, and the folder to start Setup.exe in) or
// more than one (the one taken and those ignored).
void LogPatchPackagePreflight(Platform& platform, RunState& run) {
  const PatchPackages& packages = ListPatchPackages(platform, run);
  if (packages.chosen.empty()) {
    run.Warnings |= kWarnNoPatch;
    WidePath program;
    if (!program.adopt_reported_text(
            platform.GetModuleFileNameW(program.writable_buffer(), program.writable_size()))) {
      Tell(run, LogEvent::NoPatch, {run.SourceFolder.c_str()});
      return;
    }
    std::size_t folderEnd = program.length();
    while (folderEnd > 0 && program[folderEnd - 1] != u'\\') --folderEnd;
    Tell(run, LogEvent::NoPatchSetupIn,
         {run.SourceFolder.c_str(), Span(program.c_str(), folderEnd)});
    return;
  }
  if (packages.count < 2) return;
  run.Warnings |= kWarnSeveralPatches;
  LogLine ignored;
  for (std::uint32_t at = 0; at < PatchPackages::kNamed && at + 1 < packages.count; ++at) {
    if (at > 0) ignored << ", ";
    ignored << "\"" << packages.next[at].c_str() << "\"";
  }
  if (packages.count - 1 > PatchPackages::kNamed) {
    Say(ignored, LogEvent::AndMore, {packages.count - 1 - PatchPackages::kNamed});
  }
  Tell(run, LogEvent::SeveralPatches, {packages.count, InQuotes(packages.chosen.c_str()), ignored});
}

// run.SourceFolder + "Files\" + the patch package's name: the path the
// installer gets. False when it does not fit.
bool PatchPackagePath(Platform& platform, RunState& run, WideLongText& path) {
  return path.assign(run.SourceFolder.c_str()) && path.append(kFilesFolder) &&
         path.append(PatchPackageName(platform, run));
}

}  // namespace

Status CheckArgumentsCanBeCarried(Platform& platform, RunState& run, const WideChar* commandTail) {
  // Arguments too long to expand are the runner's to report.
  run.ArgumentsExpansion = ExpandArguments(platform, run, commandTail);
  const bool valueCarried =
      *run.ArgumentsExpansion != ERROR_SUCCESS || InterpreterCanCarry(run.Arguments.c_str());
  const bool typedCarried = InterpreterCanCarry(commandTail);
  if (!typedCarried || !valueCarried) {
    // Cut at the break, the installer would get other arguments than given.
    Tell(run, typedCarried ? LogEvent::VariableHoldsLineBreak : LogEvent::ArgumentsHoldLineBreak);
    return ERROR_INVALID_COMMAND_LINE;
  }
  WideLongText patchPath;
  // A path too long for the command line is the runner's to report.
  if (!PatchPackagePath(platform, run, patchPath) || PatchPathCanBeCarried(patchPath.c_str())) {
    return ERROR_SUCCESS;
  }
  Tell(run, LogEvent::PatchPathNotCarried, {InQuotes(patchPath.c_str())});
  return ERROR_INVALID_COMMAND_LINE;
}

Status RunPatch(Platform& platform, RunState& run, const WideChar* commandTail) {
  WidePath systemFolder;
  if (!systemFolder.adopt_reported_text(platform.GetSystemDirectoryW(
          systemFolder.writable_buffer(), systemFolder.writable_size()))) {
    // Without it the interpreter's path would be relative to the current drive.
    Tell(run, LogEvent::NoSystemFolder);
    return ERROR_PATH_NOT_FOUND;
  }

  // No patch package leaves the name empty: the installer is started all
  // the same and reports the missing package itself.
  LogPatchPackagePreflight(platform, run);
  WideLongText patchPath;
  WideLongText commandLine;
  WidePath application;
  const bool pathsFit = PatchPackagePath(platform, run, patchPath) &&
                        application.assign(systemFolder.c_str()) &&
                        application.append(u"\\cmd.exe");
  // Expanded by the check before anything changed, in a whole run.
  const Status expansion = run.ArgumentsExpansion ? *run.ArgumentsExpansion
                                                  : ExpandArguments(platform, run, commandTail);
  const WideLongText& arguments = run.Arguments;
  if (expansion == ERROR_SUCCESS && !TextEquals(arguments.c_str(), commandTail)) {
    LogLine masked;
    AppendWithSecretsMasked(masked, arguments.c_str(), &run.ArgumentsFromVariables);
    Tell(run, LogEvent::ArgumentsExpanded, {masked});
  }
  const Status built = !pathsFit ? ERROR_INSUFFICIENT_BUFFER
                       : expansion != ERROR_SUCCESS
                           ? expansion
                           : BuildInstallerCommandLine(systemFolder.c_str(), patchPath.c_str(),
                                                       arguments.c_str(), commandLine);
  if (built == ERROR_INVALID_COMMAND_LINE) {
    Tell(run, LogEvent::NotCarried);
    return built;
  }
  if (built != ERROR_SUCCESS) {
    // The limit counts the line as the interpreter gets it, escapes
    // included: an argument of 500 "%" signs takes 4000 units.
    const auto given = static_cast<std::uint32_t>(TextLength(commandTail));
    const std::uint32_t most = commandLine.writable_size() - 1;
    if (expansion == ERROR_SUCCESS && pathsFit) {
      Tell(run, LogEvent::LineTooLong,
           {InstallerCommandLineLength(systemFolder.c_str(), patchPath.c_str(), arguments.c_str()),
            given, most});
    } else {
      Tell(run, LogEvent::LineLongerStill, {given, most});
    }
    return built;
  }
  // The path and the arguments as the installer gets them; the line the
  // interpreter is given has its operators and every "%" escaped.
  LogLine described;
  DescribeInstallerCommandLine(described, systemFolder.c_str(), patchPath.c_str(),
                               arguments.c_str(), &run.ArgumentsFromVariables);
  Tell(run, LogEvent::InstallerCommandLine, {application.c_str(), described});

  // The log so far reaches the disk before the installer may restart the machine.
  FlushRunLog(run.Log);
  const StartupInfo startup{STARTUPINFOW_SIZE_32, STARTF_USESHOWWINDOW, SW_HIDE};
  ProcessInformation child;
  const Status started = platform.CreateProcessW(
      application.c_str(), commandLine.writable_buffer(), NORMAL_PRIORITY_CLASS,
      run.SourceFolder.empty() ? nullptr : run.SourceFolder.c_str(), startup, &child);
  if (started != ERROR_SUCCESS) {
    Tell(run, LogEvent::NotStarted, {StatusText{started}});
    return started;
  }
  Tell(run, LogEvent::InterpreterStarted, {child.processId});
  run.InstallerStarted = true;

  const ScopedKernelHandle process(platform, child.process);
  const ScopedKernelHandle thread(platform, child.thread);
  const Status ended = WaitForExit(platform, run, process.get());
  Tell(run, LogEvent::InstallerEnded, {InstallerStatusText{ended}});
  return ended;
}

}  // namespace setup
