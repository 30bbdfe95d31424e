// Deploys the patch to a simulated fleet and reports what it ends with.
//   fleet_sim [--machines N] [--seed S] [--cycles C] [--kill-percent P]
//             [--json FILE] [--svg FILE]
//   fleet_sim --replay MACHINE_SEED
// Exits 1 when a machine ends in no class or in more than one, or
// otherwise than its description allows, printing its history and the
// command that replays it; and when the classes do not add up to the fleet.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>

#include "fleet/deployment_tool.h"
#include "fleet/fleet_report.h"

namespace {

using setup::fleet::MachineHistory;

struct Options {
  int machines = 10000;
  std::uint64_t seed = 1;
  int cycles = 10;
  int killPercent = 10;
  std::string jsonPath;
  std::string svgPath;
  bool replay = false;
  std::uint64_t replaySeed = 0;
};

bool ReadOptions(int argc, char** argv, Options* options) {
  for (int at = 1; at + 1 < argc; at += 2) {
    const std::string name = argv[at];
    const char* value = argv[at + 1];
    if (name == "--machines") {
      options->machines = std::atoi(value);
    } else if (name == "--seed") {
      options->seed = std::strtoull(value, nullptr, 10);
    } else if (name == "--cycles") {
      options->cycles = std::atoi(value);
    } else if (name == "--kill-percent") {
      options->killPercent = std::atoi(value);
    } else if (name == "--json") {
      options->jsonPath = value;
    } else if (name == "--svg") {
      options->svgPath = value;
    } else if (name == "--replay") {
      options->replay = true;
      options->replaySeed = std::strtoull(value, nullptr, 10);
    } else {
      return false;
    }
  }
  return argc % 2 == 1 && options->machines > 0 && options->cycles > 0 &&
         options->killPercent >= 0 && options->killPercent <= 100;
}

bool Write(const std::string& path, const std::string& text) {
  if (path.empty()) return true;
  std::ofstream file(path, std::ios::binary);
  file << text;
  return static_cast<bool>(file);
}

void PrintFaulty(const MachineHistory& history, const Options& options) {
  std::cout << "FAULT: " << setup::fleet::DescribeHistory(history)
            << "  replay: fleet_sim --cycles " << options.cycles << " --kill-percent "
            << options.killPercent << " --replay " << history.profile.seed << "\n";
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ReadOptions(argc, argv, &options)) {
    std::cerr << "usage: fleet_sim [--machines N] [--seed S] [--cycles C] [--kill-percent P] "
                 "[--json FILE] [--svg FILE] | --replay MACHINE_SEED\n";
    return 2;
  }
  setup::fleet::ToolSettings settings;
  settings.cycles = options.cycles;
  settings.killPercent = options.killPercent;
  settings.killRange = setup::fleet::CallsOfACompleteRun();
  if (options.replay) {
    const MachineHistory history =
        setup::fleet::DeployToMachine(setup::fleet::DrawProfile(options.replaySeed), settings);
    std::cout << setup::fleet::DescribeHistory(history);
    return history.broken.empty() ? 0 : 1;
  }

  const auto start = std::chrono::steady_clock::now();
  setup::fleet::FleetReport report = setup::fleet::StartReport(options.seed, options.cycles, options.killPercent);
  setup::fleet::Draw machineSeeds(options.seed);
  for (int machine = 0; machine < options.machines; ++machine) {
    setup::fleet::AddMachine(report, setup::fleet::DeployToMachine(
                                         setup::fleet::DrawProfile(machineSeeds.Next()), settings));
  }
  report.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  std::cout << setup::fleet::ReportTable(report) << "\nThe machine with the most runs:\n"
            << setup::fleet::DescribeHistory(report.worst);
  std::printf("fleet machines=%d seconds=%.1f\n", report.machines, report.seconds);
  for (const MachineHistory& history : report.faulty) PrintFaulty(history, options);
  const std::string disagreement = setup::fleet::ClassesDisagree(report);
  if (!disagreement.empty()) std::cout << "FAULT: " << disagreement << "\n";
  if (!Write(options.jsonPath, setup::fleet::ReportJson(report)) ||
      !Write(options.svgPath, setup::fleet::ReportChart(report))) {
    std::cerr << "cannot write the report files\n";
    return 2;
  }
  return report.faulty.empty() && disagreement.empty() ? 0 : 1;
}
