// FakeMachine: child processes, their handles, and the test programs they
// run when the launcher waits on them.
#include <utility>

#include "platform/bounded_text.h"
#include "sim/fake_machine.h"
#include "sim/fake_machine_entry.h"

namespace setup::sim {
namespace {

constexpr Status kErrorInvalidParameter = 87;
constexpr std::uint32_t kFirstProcessId = 0x1000;

std::u16string TextOrEmpty(const WideChar* text) {
  return text != nullptr ? std::u16string(text, TextLength(text)) : std::u16string();
}

}  // namespace

void FakeMachine::QueueChild(ChildProgram child) { queuedChildren_.push_back(std::move(child)); }

void FakeMachine::SetDefaultChild(ChildProgram child) { defaultChild_ = std::move(child); }

Status FakeMachine::CreateProcessW(const WideChar* applicationName, WideChar* commandLine,
                                   std::uint32_t creationFlags, const WideChar* currentDirectory,
                                   const StartupInfo& startupInfo,
                                   ProcessInformation* processInformation) noexcept {
  std::size_t startIndex = 0;
  try {
    ProcessStart start;
    start.applicationName = TextOrEmpty(applicationName);
    start.commandLine = TextOrEmpty(commandLine);
    start.commandLineGiven = commandLine != nullptr;
    start.currentDirectory = TextOrEmpty(currentDirectory);
    start.creationFlags = creationFlags;
    start.startupInfo = startupInfo;
    processStarts_.push_back(start);
    startIndex = processStarts_.size() - 1;
  } catch (...) {
    return kErrorNotEnoughMemory;
  }
  const Status result = EnterWithStatus(Operation::CreateProcessW, [&]() -> Status {
    if (processInformation == nullptr) return kErrorInvalidParameter;
    if (applicationName == nullptr && commandLine == nullptr) return kErrorInvalidParameter;
    if (commandLine != nullptr) {
      // CreateProcessW may write into the command line, so Windows faults
      // on a read-only one; rewriting a unit in place does the same here.
      volatile WideChar* first = commandLine;
      *first = *first;
    }
    ChildProgram program = defaultChild_;
    if (!queuedChildren_.empty()) {
      program = std::move(queuedChildren_.front());
      queuedChildren_.pop_front();
    }
    pendingChildren_[startIndex] = std::move(program);
    const KernelHandle process{NextHandleValue()};
    const KernelHandle thread{NextHandleValue()};
    kernelHandles_[process] = KernelObject{startIndex, false};
    kernelHandles_[thread] = KernelObject{startIndex, true};
    const auto id = static_cast<std::uint32_t>(kFirstProcessId + 8 * startIndex);
    *processInformation = ProcessInformation{process, thread, id, id + 4};
    return ERROR_SUCCESS;
  });
  processStarts_[startIndex].result = result;
  return result;
}

void FakeMachine::RunChild(std::size_t startIndex) {
  const auto pending = pendingChildren_.find(startIndex);
  if (pending == pendingChildren_.end()) return;  // ran already
  // Taken out first: the program may start processes of its own.
  ChildProgram program = std::move(pending->second);
  pendingChildren_.erase(pending);
  const std::uint32_t exitCode = program ? program(*this) : 0;
  processStarts_[startIndex].childRan = true;
  processStarts_[startIndex].exitCode = exitCode;
}

std::uint32_t FakeMachine::WaitForSingleObject(KernelHandle handle,
                                               std::uint32_t /*milliseconds*/) noexcept {
  return Enter(Operation::WaitForSingleObject, WAIT_FAILED, [&]() -> std::uint32_t {
    const auto mutex = openedMutexes_.find(handle);
    if (mutex != openedMutexes_.end()) {
      // Held elsewhere it stays held for a zero wait; otherwise the wait takes it.
      if (mutexesElsewhere_.count(mutex->second.name) != 0) return WAIT_TIMEOUT;
      if (!mutex->second.owned) ++unreleasedOpenedMutexes_;
      mutex->second.owned = true;
      return abandonedMutexes_.erase(mutex->second.name) != 0 ? WAIT_ABANDONED : WAIT_OBJECT_0;
    }
    const auto open = kernelHandles_.find(handle);
    if (open == kernelHandles_.end()) return WAIT_FAILED;
    // The child runs to its end during any wait, whatever the timeout.
    RunChild(open->second.startIndex);
    return WAIT_OBJECT_0;
  });
}

bool FakeMachine::GetExitCodeProcess(KernelHandle process, std::uint32_t* exitCode) noexcept {
  return Enter(Operation::GetExitCodeProcess, false, [&] {
    const auto open = kernelHandles_.find(process);
    if (open == kernelHandles_.end() || open->second.isThread || exitCode == nullptr) return false;
    const ProcessStart& start = processStarts_[open->second.startIndex];
    *exitCode = start.childRan ? start.exitCode : STILL_ACTIVE;
    return true;
  });
}

void FakeMachine::Sleep(std::uint32_t /*milliseconds*/) noexcept {
  static_cast<void>(Enter(Operation::Sleep, 0, [] { return 0; }));
}

bool FakeMachine::CloseHandle(KernelHandle handle) noexcept {
  return EnterClose(Operation::CloseHandle, false, [&] {
    if (mutexHandles_.erase(handle) != 0 || openedMutexes_.erase(handle) != 0) {
      kernelCloses_.push_back("mutex");
      return true;
    }
    const auto file = fileHandles_.find(handle);
    if (file != fileHandles_.end()) {
      const FileEntry* entry = file->second.file;
      fileHandles_.erase(file);
      kernelCloses_.push_back("file:" + RecordedText(FileTree::LongPathOf(*entry)));
      return true;
    }
    const auto open = kernelHandles_.find(handle);
    if (open == kernelHandles_.end()) return false;
    kernelCloses_.push_back((open->second.isThread ? "thread:" : "process:") +
                            std::to_string(open->second.startIndex));
    kernelHandles_.erase(open);
    return true;
  });
}

}  // namespace setup::sim
