// FakeMachine: construction, command line, fault injection, leak checks and
// the ANSI conversions of the set-up calls.
#include "sim/fake_machine.h"

#include <stdexcept>

#include "sim/code_pages.h"
#include "sim/fake_machine_entry.h"
#include "sim/installer_objects.h"

namespace setup::sim {

FakeMachine::FakeMachine()
    : systemDirectory_(u"C:\\windows\\system32"),
      tempPath_(u"C:\\Users\\Setup\\AppData\\Local\\Temp\\"),
      windowsDirectory_(u"C:\\windows"),
      installerObjects_(std::make_unique<InstallerObjects>()),
      commandLine_(u"Setup.exe") {
  files_.Add(u"C:\\", u"", true);
  files_.Add(tempPath_, u"", true);
  files_.Add(windowsDirectory_ + u"\\Temp", u"", true);
  currentDirectory_ = u"C:\\";
  defaultChild_ = [](FakeMachine&) { return std::uint32_t{0}; };
}

FakeMachine::~FakeMachine() = default;

void FakeMachine::FailCall(Operation operation, Status status, int occurrence) {
  faults_.FailCall(operation, status, occurrence);
}

void FakeMachine::EndProcess() {
  // Runs while the registry changes of the process still tell a child
  // program which registration the launcher was patching.
  while (!pendingChildren_.empty()) RunChild(pendingChildren_.begin()->first);

  openKeys_.clear();
  openServices_.clear();
  openFinds_.clear();
  fileHandles_.clear();
  kernelHandles_.clear();
  mutexHandles_.clear();
  openedMutexes_.clear();
  installerObjects_->CloseAll();

  registryChanges_.clear();
  managerRequests_.clear();
  serviceRequests_.clear();
  serviceCloses_.clear();
  findPatterns_.clear();
  installerCalls_.clear();
  installerCloses_.clear();
  processStarts_.clear();
  kernelCloses_.clear();
  mutexRequests_.clear();
  messageBoxes_.clear();
  faults_.ClearCrash();
}

void FakeMachine::NoteInternalError(Operation operation, const char* what) noexcept {
  try {
    internalErrors_.push_back(std::string(OperationName(operation)) + ": " + what);
  } catch (...) {
    // Nothing more can be recorded when memory has run out.
  }
}

std::uintptr_t FakeMachine::NextHandleValue() {
  const std::uintptr_t value = nextHandleValue_;
  nextHandleValue_ += 4;
  return value;
}

bool FakeMachine::AllHandlesClosed() const {
  return openKeys_.empty() && openServices_.empty() && openFinds_.empty() &&
         kernelHandles_.empty() && mutexHandles_.empty() && openedMutexes_.empty() &&
         fileHandles_.empty() && installerObjects_->OpenCount() == 0;
}

std::string FakeMachine::OpenHandlesReport() const {
  std::string report = "open registry keys: " + std::to_string(openKeys_.size());
  for (const auto& open : openKeys_) report += " [" + open.second.key->path + "]";
  report += "; open service handles: " + std::to_string(openServices_.size());
  for (const auto& open : openServices_) {
    report += open.second.isManager ? " [manager]" : " [service:" + open.second.serviceName + "]";
  }
  report += "; open find handles: " + std::to_string(openFinds_.size());
  report += "; open mutex handles: " + std::to_string(mutexHandles_.size() + openedMutexes_.size());
  report += "; open kernel handles: " + std::to_string(kernelHandles_.size());
  for (const auto& open : kernelHandles_) {
    report += std::string(open.second.isThread ? " [thread:" : " [process:") +
              std::to_string(open.second.startIndex) + "]";
  }
  report += "; open file handles: " + std::to_string(fileHandles_.size());
  for (const auto& open : fileHandles_) {
    report += " [" + EncodeAnsi(FileTree::LongPathOf(*open.second.file)) + "]";
  }
  report += "; open installer handles: " + std::to_string(installerObjects_->OpenCount()) +
            installerObjects_->Describe();
  return report;
}

void FakeMachine::SetCommandLine(const std::string& commandLine) {
  commandLine_ = DecodeAnsi(commandLine);
}

void FakeMachine::SetCommandLine(const std::u16string& commandLine) { commandLine_ = commandLine; }

const WideChar* FakeMachine::GetCommandLineW() noexcept {
  return Enter(Operation::GetCommandLineW, static_cast<const WideChar*>(u""),
               [&] { return commandLine_.c_str(); });
}

std::string FakeMachine::RecordedText(std::u16string_view text) {
  // UTF-8, which every unit has a spelling in: an entry must not fail on a
  // code page the machine does not know.
  std::string narrow;
  bool hadUnmappable = false;
  static_cast<void>(EncodeWide(kCodePageUtf8, text, &narrow, &hadUnmappable));
  return narrow;
}

std::string FakeMachine::NameOf(const WideChar* name) const {
  return name != nullptr ? RecordedText(name) : std::string();
}

void FakeMachine::SetSystemCodePage(std::uint32_t codePage) { systemCodePage_ = codePage; }
void FakeMachine::SetThreadCodePage(std::uint32_t codePage) { threadCodePage_ = codePage; }

std::u16string FakeMachine::DecodeAnsi(std::string_view text) const {
  std::u16string wide;
  bool hadInvalid = false;
  if (!DecodeNarrow(systemCodePage_, text, &wide, &hadInvalid)) {
    throw std::invalid_argument("unknown system code page " + std::to_string(systemCodePage_));
  }
  return wide;
}

std::string FakeMachine::EncodeAnsi(std::u16string_view text) const {
  std::string narrow;
  bool hadUnmappable = false;
  if (!EncodeWide(systemCodePage_, text, &narrow, &hadUnmappable)) {
    throw std::invalid_argument("unknown system code page " + std::to_string(systemCodePage_));
  }
  return narrow;
}

}  // namespace setup::sim
