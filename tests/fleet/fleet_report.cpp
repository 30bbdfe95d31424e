#include "fleet/fleet_report.h"

#include <algorithm>
#include <cstdio>

namespace setup::fleet {
namespace {

constexpr const char* kStandingKeys[kStandingCount] = {"patched_clean", "patched_not_clean",
                                                       "to_retry", "explained"};
constexpr const char* kStandingColours[kStandingCount] = {"#2e7d32", "#f9a825", "#90a4ae",
                                                          "#c62828"};

std::string JsonText(const std::string& text) {
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
      quoted += escape;
    } else {
      quoted += c;
    }
  }
  return quoted + "\"";
}

std::string HistoryJson(const MachineHistory& history) {
  std::string json = "{\"seed\": " + std::to_string(history.profile.seed) + ", \"registration\": " +
                     JsonText(RegistrationName(history.profile.registration)) + ", \"runs\": [";
  for (std::size_t at = 0; at < history.runs.size(); ++at) {
    const RunRecord& run = history.runs[at];
    json += std::string(at ? ", " : "") + "{\"cycle\": " + std::to_string(run.cycle) +
            ", \"killed\": " + (run.killed ? "true" : "false") +
            ", \"status\": " + (run.killed ? "null" : std::to_string(run.status)) +
            ", \"class\": " + JsonText(ReturnClassName(run.returnClass)) +
            ", \"detected\": " + (run.detected ? "true" : "false") +
            ", \"summary\": " + JsonText(run.summary) + "}";
  }
  return json + "], \"clean\": " + (history.clean ? "true" : "false") +
         ", \"explained\": " + (history.explained ? "true" : "false") +
         ", \"reason\": " + JsonText(history.reason) + ", \"fault\": " + JsonText(history.broken) +
         "}";
}

}  // namespace

FleetReport StartReport(std::uint64_t seed, int cycles) {
  FleetReport report;
  report.seed = seed;
  report.cycles = cycles;
  report.standings.assign(static_cast<std::size_t>(cycles), {});
  report.runs.assign(static_cast<std::size_t>(cycles), 0);
  return report;
}

void AddMachine(FleetReport& report, const MachineHistory& history) {
  ++report.machines;
  for (std::size_t cycle = 0; cycle < history.afterCycle.size(); ++cycle) {
    ++report.standings[cycle][static_cast<std::size_t>(history.afterCycle[cycle])];
  }
  for (const RunRecord& run : history.runs) ++report.runs[static_cast<std::size_t>(run.cycle - 1)];
  report.totalRuns += static_cast<int>(history.runs.size());
  if (history.clean) {
    ++report.endedClean;
    report.lastCleanCycle = std::max(report.lastCleanCycle, history.runs.back().cycle);
  }
  if (history.explained) {
    ++report.endedExplained;
    FleetReport::Reason& reason = report.reasons[history.reason];
    if (reason.machines++ == 0) reason.summary = history.runs.back().summary;
  }
  if (!history.broken.empty()) report.faulty.push_back(history);
  const auto kills = [](const MachineHistory& machine) {
    return std::count_if(machine.runs.begin(), machine.runs.end(),
                         [](const RunRecord& run) { return run.killed; });
  };
  const bool worse =
      history.runs.size() > report.worst.runs.size() ||
      (history.runs.size() == report.worst.runs.size() && kills(history) > kills(report.worst));
  if (report.machines == 1 || worse) report.worst = history;
}

std::string ReportTable(const FleetReport& report) {
  std::string table = "| Cycle | Runs |";
  for (int standing = 0; standing < kStandingCount; ++standing) {
    table += std::string(" ") + StandingName(static_cast<Standing>(standing)) + " |";
  }
  table += "\n|---|---|---|---|---|---|\n";
  for (int cycle = 0; cycle < report.cycles; ++cycle) {
    const auto at = static_cast<std::size_t>(cycle);
    table += "| " + std::to_string(cycle + 1) + " | " + std::to_string(report.runs[at]) + " |";
    for (const int count : report.standings[at]) table += " " + std::to_string(count) + " |";
    table += "\n";
  }
  table += "\n" + std::to_string(report.machines) + " machines (seed " +
           std::to_string(report.seed) + "): " + std::to_string(report.endedClean) +
           " ended clean, " + std::to_string(report.endedExplained) + " explained, " +
           std::to_string(report.faulty.size()) + " otherwise than their description allows; " +
           std::to_string(report.totalRuns) + " runs, the last machine to end clean did in cycle " +
           std::to_string(report.lastCleanCycle) + ".\n\n| Explained by | Machines |\n|---|---|\n";
  for (const auto& [reason, explained] : report.reasons) {
    table += "| " + reason + " | " + std::to_string(explained.machines) + " |\n";
  }
  return table;
}

std::string ReportJson(const FleetReport& report) {
  std::string json = "{\n  \"seed\": " + std::to_string(report.seed) +
                     ",\n  \"machines\": " + std::to_string(report.machines) + ",\n  \"cycles\": [";
  for (int cycle = 0; cycle < report.cycles; ++cycle) {
    const auto at = static_cast<std::size_t>(cycle);
    json += std::string(cycle ? ", " : "") + "{\"cycle\": " + std::to_string(cycle + 1) +
            ", \"runs\": " + std::to_string(report.runs[at]);
    for (int standing = 0; standing < kStandingCount; ++standing) {
      json += std::string(", \"") + kStandingKeys[standing] +
              "\": " + std::to_string(report.standings[at][static_cast<std::size_t>(standing)]);
    }
    json += "}";
  }
  json += "],\n  \"ended_clean\": " + std::to_string(report.endedClean) +
          ",\n  \"ended_explained\": " + std::to_string(report.endedExplained) +
          ",\n  \"runs\": " + std::to_string(report.totalRuns) +
          ",\n  \"last_clean_cycle\": " + std::to_string(report.lastCleanCycle) +
          ",\n  \"reasons\": {";
  bool first = true;
  for (const auto& [reason, explained] : report.reasons) {
    json += std::string(first ? "" : ", ") + JsonText(reason) +
            ": {\"machines\": " + std::to_string(explained.machines) +
            ", \"summary\": " + JsonText(explained.summary) + "}";
    first = false;
  }
  json += "},\n  \"faulty\": [";
  for (std::size_t at = 0; at < report.faulty.size(); ++at) {
    json += std::string(at ? ", " : "") + HistoryJson(report.faulty[at]);
  }
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.1f", report.seconds);
  return json + "],\n  \"worst\": " + HistoryJson(report.worst) + ",\n  \"seconds\": " + seconds +
         "\n}\n";
}

// Stacked bars, one per cycle, of the machines in each standing.
std::string ReportChart(const FleetReport& report) {
  constexpr int kBar = 40, kGap = 16, kHeight = 240, kLeft = 50, kTop = 20;
  const int width = kLeft + report.cycles * (kBar + kGap) + 230;
  std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(width) +
                    "\" height=\"" + std::to_string(kHeight + 70) +
                    "\" font-family=\"sans-serif\" font-size=\"12\">\n";
  const double scale = report.machines > 0 ? static_cast<double>(kHeight) / report.machines : 0;
  for (int cycle = 0; cycle < report.cycles; ++cycle) {
    const int x = kLeft + cycle * (kBar + kGap);
    double y = kTop + kHeight;
    for (int standing = 0; standing < kStandingCount; ++standing) {
      const double height =
          scale *
          report.standings[static_cast<std::size_t>(cycle)][static_cast<std::size_t>(standing)];
      y -= height;
      char rect[160];
      std::snprintf(rect, sizeof rect,
                    "<rect x=\"%d\" y=\"%.1f\" width=\"%d\" height=\"%.1f\" fill=\"%s\"/>\n", x, y,
                    kBar, height, kStandingColours[standing]);
      svg += rect;
    }
    svg += "<text x=\"" + std::to_string(x + kBar / 2) + "\" y=\"" +
           std::to_string(kTop + kHeight + 16) + "\" text-anchor=\"middle\">" +
           std::to_string(cycle + 1) + "</text>\n";
  }
  svg += "<text x=\"" + std::to_string(kLeft) + "\" y=\"" + std::to_string(kTop + kHeight + 36) +
         "\">cycle (" + std::to_string(report.machines) + " machines)</text>\n";
  const int legendX = kLeft + report.cycles * (kBar + kGap) + 10;
  for (int standing = 0; standing < kStandingCount; ++standing) {
    const int y = kTop + 20 * standing;
    svg += "<rect x=\"" + std::to_string(legendX) + "\" y=\"" + std::to_string(y) +
           "\" width=\"12\" height=\"12\" fill=\"" + kStandingColours[standing] +
           "\"/>\n<text x=\"" + std::to_string(legendX + 18) + "\" y=\"" + std::to_string(y + 11) +
           "\">" + StandingName(static_cast<Standing>(standing)) + "</text>\n";
  }
  return svg + "</svg>\n";
}

}  // namespace setup::fleet
