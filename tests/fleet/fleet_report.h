// What a fleet ends with: machines by standing after each cycle and the
// time by then, machines by the class they end in, the reasons of the
// machines that need a person, the machine that took the most runs, and
// every machine that ended otherwise than its description allows. As a
// table, as JSON and as a chart (SVG).
#ifndef SETUP_TESTS_FLEET_FLEET_REPORT_H
#define SETUP_TESTS_FLEET_FLEET_REPORT_H

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "fleet/deployment_tool.h"

namespace setup::fleet {

struct FleetReport {
  std::uint64_t seed = 0;
  int cycles = 0;
  int killPercent = 0;
  int machines = 0;
  std::vector<std::array<int, kStandingCount>> standings;  // per cycle
  std::vector<int> runs;                                   // per cycle
  std::vector<int> latestStart;  // per cycle: hours to its latest run's start
  std::array<int, kStandingCount> classes{};  // machines by the class they end in
  int endedRedirected = 0;  // of the class patched, journal kept: still redirected
  int endedClean = 0;
  int cleanUnrun = 0;  // of those, found detected before any run (superseded)
  int lastCleanCycle = 0;  // the cycle in which the last machine to end clean did
  int lastCleanHours = 0;  // and when that run started
  int totalRuns = 0;
  int endedExplained = 0;
  // The explained machines by reason: how many, and the first one's last
  // run log summary (empty for a run the time-out ended).
  struct Reason {
    int machines = 0;
    std::string summary;
  };
  std::map<std::string, Reason> reasons;
  std::vector<MachineHistory> faulty;  // ended otherwise than their description allows
  MachineHistory worst;                // the most runs; of those, the most killed
  double seconds = 0;
};

FleetReport StartReport(std::uint64_t seed, int cycles, int killPercent);
void AddMachine(FleetReport& report, const MachineHistory& history);

// Why the classes do not add up to the fleet, or the last cycle's
// standings differ from the classes; empty when they agree.
std::string ClassesDisagree(const FleetReport& report);

std::string ReportTable(const FleetReport& report);
std::string ReportJson(const FleetReport& report);
std::string ReportChart(const FleetReport& report);

}  // namespace setup::fleet

#endif  // SETUP_TESTS_FLEET_FLEET_REPORT_H
