#include "runner/patch_runner.h"

#include "discovery/file_discovery.h"
#include "platform/bounded_text.h"
#include "platform/scoped_handle.h"
#include "platform/text_conversion.h"
#include "runner/installer_command_line.h"
#include "shared/files_folder.h"

namespace setup {

namespace {

// Waits on the child itself rather than polling its exit code, so a child
// whose own status is STILL_ACTIVE is not taken for a running one.
Status WaitForExit(Platform& platform, KernelHandle process) {
  if (platform.WaitForSingleObject(process, INFINITE) != WAIT_OBJECT_0) {
    return ERROR_INVALID_HANDLE;
  }
  std::uint32_t exitCode = STILL_ACTIVE;
  if (!platform.GetExitCodeProcess(process, &exitCode)) return ERROR_INVALID_HANDLE;
  return exitCode;
}

}  // namespace

Status RunPatch(Platform& platform, const RunState& run, const char* commandTail) {
  WidePath systemFolder;
  const std::uint32_t systemFolderLength = platform.GetSystemDirectoryW(
      systemFolder.writable_buffer(), static_cast<std::uint32_t>(systemFolder.capacity()));
  if (systemFolderLength == 0 || systemFolderLength >= systemFolder.capacity()) {
    // Without it the interpreter's path would be relative to whatever the
    // current drive holds; nothing is started.
    return ERROR_PATH_NOT_FOUND;
  }
  systemFolder.adopt_written_text();

  // No patch package leaves the name empty: the installer is started all
  // the same and reports the missing package itself.
  const NarrowPath patchName = FindPatchPackageName(platform, run);
  WidePath widePatchName;
  WideLongText patchPath;
  WideLongText arguments;
  WideLongText commandLine;
  WidePath application;
  const bool fits = ConvertToWide(platform, CP_THREAD_ACP, 0, patchName.c_str(), widePatchName) &&
                    patchPath.assign(run.SourceFolder.c_str()) &&
                    patchPath.append(FilesFolderName.wide) && patchPath.append(widePatchName) &&
                    ConvertToWide(platform, CP_THREAD_ACP, 0, commandTail, arguments) &&
                    BuildInstallerCommandLine(systemFolder.c_str(), patchPath.c_str(),
                                              arguments.c_str(), commandLine) &&
                    application.assign(systemFolder.c_str()) && application.append(u"\\cmd.exe");
  if (!fits) return ERROR_INSUFFICIENT_BUFFER;

  StartupInfo startup;
  startup.size = STARTUPINFOW_SIZE_32;
  startup.flags = STARTF_USESHOWWINDOW;
  startup.showWindow = SW_HIDE;
  ProcessInformation child;
  const Status started = platform.CreateProcessW(
      application.c_str(), commandLine.writable_buffer(), NORMAL_PRIORITY_CLASS,
      run.SourceFolder.empty() ? nullptr : run.SourceFolder.c_str(), startup, &child);
  if (started != ERROR_SUCCESS) return started;

  const ScopedKernelHandle process(platform, child.process);
  const ScopedKernelHandle thread(platform, child.thread);
  return WaitForExit(platform, process.get());
}

}  // namespace setup
