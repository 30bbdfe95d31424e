#include "proof/scenario.h"

#include <algorithm>
#include <string>

#include "detection/product_identification.h"
#include "launcher/run_sequence.h"
#include "launcher/other_runs.h"
#include "shared/run_state.h"
#include "sim/ascii_case.h"
#include "sim/utf16_bytes.h"

namespace setup::proof {

namespace {

constexpr char kTransforms[] = "Transforms";
constexpr char kTransformsBackup[] = "TransformsBackup";
// Where the simulated installer notes the registrations it found, outside
// every key the launcher opens, for the checker to read after the run.
constexpr char kInstallerSaw[] = "Proof witness\\Installer saw";

std::string SeenKeyOf(int row) { return std::string(kInstallerSaw) + "\\" + std::to_string(row); }

void NoteWhatTheInstallerFinds(sim::FakeMachine& machine) {
  machine.AddKey(kInstallerSaw);
  for (int row = 0; row < ProductTableCount; ++row) {
    const std::string keyPath = ProductKeyOf(row);
    if (!machine.HasKey(keyPath)) continue;
    const std::string seen = SeenKeyOf(row);
    machine.AddKey(seen);
    for (const char* name : {kTransforms, kTransformsBackup}) {
      if (const auto value = machine.GetRawValue(keyPath, name)) {
        machine.SetRawValue(seen, name, value->type, value->bytes);
      }
    }
  }
}

std::optional<SeenRegistrations> WhatTheInstallerFound(const sim::FakeMachine& machine) {
  if (!machine.HasKey(kInstallerSaw)) return std::nullopt;
  SeenRegistrations seen;
  for (int row = 0; row < ProductTableCount; ++row) {
    const std::string keyPath = SeenKeyOf(row);
    SeenRegistration& registration = seen[static_cast<std::size_t>(row)];
    registration.exists = machine.HasKey(keyPath);
    if (!registration.exists) continue;
    registration.transforms = machine.GetRawValue(keyPath, kTransforms);
    registration.backup = machine.GetRawValue(keyPath, kTransformsBackup);
  }
  return seen;
}

std::u16string WithSeparator(const std::u16string& folder) {
  return !folder.empty() && folder.back() == u'\\' ? folder : folder + u"\\";
}

bool LauncherChanged(const sim::FakeMachine& machine, const std::string& keyPath) {
  const auto& changes = machine.RegistryChanges();
  return std::any_of(changes.begin(), changes.end(), [&](const sim::RegistryChange& change) {
    return sim::EqualsIgnoringAsciiCase(change.keyPath, keyPath);
  });
}

// The child acts on the registrations the launcher has changed by then,
// which are the ones of the product being patched.
sim::ChildProgram MakeChild(const Scenario& scenario) {
  std::vector<std::string> writableKeys;
  for (const ProductKey& product : scenario.products) {
    if (product.access == KeyAccess::Full) {
      writableKeys.emplace_back(ProductKeyOf(product.row));
    }
  }
  const InstallerChild child = scenario.child;
  return [child, writableKeys](sim::FakeMachine& machine) {
    NoteWhatTheInstallerFinds(machine);
    for (const std::string& keyPath : writableKeys) {
      if (!machine.HasKey(keyPath) || !LauncherChanged(machine, keyPath)) continue;
      if (child.action == ChildAction::RewriteTransforms) {
        machine.SetString(keyPath, kTransforms, child.rewrittenValue);
      } else if (child.action == ChildAction::DeleteTransforms) {
        machine.RemoveValue(keyPath, kTransforms);
      }
    }
    return child.exitCode;
  };
}

}  // namespace

void Apply(const Scenario& scenario, const DatabasePool& databases, sim::FakeMachine& machine) {
  machine.SetSystemCodePage(scenario.systemCodePage);
  machine.SetThreadCodePage(scenario.threadCodePage);
  machine.SetSystemLanguage(scenario.systemLanguage);
  machine.SetSystemDirectory(scenario.systemDirectory);
  machine.SetShortNamesAvailable(scenario.shortNamesAvailable);
  machine.SetCommandLine(scenario.commandLine);
  machine.SetWindowStationVisible(scenario.windowStationVisible);
  machine.SetSessionId(scenario.serviceSession ? 0 : 1);
  if (scenario.otherLauncherRunning) machine.HoldMutexElsewhere(kGlobalLauncherMutex);

  if (scenario.folder) {
    machine.AddFolder(*scenario.folder, scenario.folderShortName);
    const std::u16string base = WithSeparator(*scenario.folder);
    machine.AddFolder(base + u"Files");
    for (const FileName& file : scenario.folderFiles)
      machine.AddFile(base + file.longName, file.shortName);
    for (const FileName& file : scenario.packageFiles) {
      machine.AddFile(base + u"Files\\" + file.longName, file.shortName);
    }
    if (scenario.databaseFile) {
      machine.AddInstallerDatabase(base + scenario.databaseFile->longName,
                                   databases.HostFile(scenario.databaseEntry),
                                   scenario.databaseFile->shortName);
    }
    for (const IniValue& ini : scenario.iniValues) {
      machine.SetIniValue(base + machine.DecodeAnsi(ini.fileName), ini.section, ini.key, ini.value);
    }
    machine.SetCurrentDirectory(*scenario.folder);
  } else {
    machine.ClearCurrentDirectory();
  }

  for (const ProductKey& product : scenario.products) {
    const std::string keyPath = ProductKeyOf(product.row);
    machine.AddKey(keyPath);
    if (product.transforms) {
      machine.SetRawValue(keyPath, kTransforms, product.transforms->type,
                          product.transforms->bytes);
    }
    if (product.backup) {
      machine.SetRawValue(keyPath, kTransformsBackup, product.backup->type, product.backup->bytes);
    }
    if (product.access == KeyAccess::ReadOnly) machine.DenyWrite(keyPath);
    if (product.access == KeyAccess::Denied) machine.DenyRead(keyPath);
  }
  for (const auto& [name, state] : scenario.services) machine.InstallService(name, state);

  if (scenario.child.startError) {
    machine.FailCall(sim::Operation::CreateProcessW, *scenario.child.startError);
  }
  machine.SetDefaultChild(MakeChild(scenario));
}

std::string ProductKeyOf(int row) {
  return "Installer\\Products\\" + sim::AsciiText(ProductTable[row].packedCode);
}

bool ServiceBlocks(const Scenario& scenario) {
  return std::any_of(scenario.services.begin(), scenario.services.end(), [](const auto& service) {
    const bool guarded = std::any_of(
        std::begin(kGuardedServices), std::end(kGuardedServices),
        [&](const char* name) { return sim::EqualsIgnoringAsciiCase(service.first, name); });
    return guarded && service.second != SERVICE_STOPPED;
  });
}

LauncherRun RunLauncher(sim::FakeMachine& machine) {
  // An installer an earlier, killed run started ran after it: not this run's.
  machine.RemoveKey(kInstallerSaw);
  RunState run;
  const Status exitStatus = RunSetup(machine, run);
  LauncherRun result{exitStatus, run.Log.path.c_str(), WhatTheInstallerFound(machine)};
  machine.RemoveKey(kInstallerSaw);
  return result;
}

}  // namespace setup::proof
