#include "fleet/fleet_report.h"

#include <algorithm>
#include <cstdio>

namespace setup::fleet {
namespace {

constexpr const char* kStandingKeys[kStandingCount] = {
    "patched_clean",  "patched_journal_kept", "to_run_again", "explained",
    "not_applicable", "per_user_only",      "otherwise"};
// Okabe and Ito's palette, told apart without colour vision.
constexpr const char* kStandingColours[kStandingCount] = {"#009E73", "#E69F00", "#56B4E9",
                                                          "#D55E00", "#F0E442", "#CC79A7",
                                                          "#000000"};

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
            ", \"hours\": " + std::to_string(run.hours) +
            ", \"killed\": " + (run.killed ? "true" : "false") +
            ", \"status\": " + (run.killed ? "null" : std::to_string(run.status)) +
            ", \"class\": " + JsonText(ReturnClassName(run.returnClass)) +
            ", \"detected\": " + (run.detected ? "true" : "false") +
            ", \"summary\": " + JsonText(run.summary) + "}";
  }
  return json + "], \"class\": " + JsonText(StandingName(history.end)) +
         ", \"clean\": " + (history.clean ? "true" : "false") +
         ", \"explained\": " + (history.explained ? "true" : "false") +
         ", \"reason\": " + JsonText(history.reason) + ", \"fault\": " + JsonText(history.broken) +
         "}";
}

}  // namespace

FleetReport StartReport(std::uint64_t seed, int cycles, int killPercent) {
  FleetReport report;
  report.seed = seed;
  report.cycles = cycles;
  report.killPercent = killPercent;
  report.standings.assign(static_cast<std::size_t>(cycles), {});
  report.runs.assign(static_cast<std::size_t>(cycles), 0);
  report.latestStart.assign(static_cast<std::size_t>(cycles), 0);
  return report;
}

void AddMachine(FleetReport& report, const MachineHistory& history) {
  ++report.machines;
  for (std::size_t cycle = 0; cycle < history.afterCycle.size(); ++cycle) {
    ++report.standings[cycle][static_cast<std::size_t>(history.afterCycle[cycle])];
  }
  for (const RunRecord& run : history.runs) {
    const auto at = static_cast<std::size_t>(run.cycle - 1);
    ++report.runs[at];
    report.latestStart[at] = std::max(report.latestStart[at], run.hours);
  }
  report.totalRuns += static_cast<int>(history.runs.size());
  ++report.classes[static_cast<std::size_t>(history.end)];
  if (history.end == Standing::PatchedJournalKept && history.redirected) ++report.endedRedirected;
  if (history.end == Standing::PatchedClean) {
    ++report.endedClean;
    if (history.runs.empty()) ++report.cleanUnrun;
    if (!history.runs.empty() && history.runs.back().cycle >= report.lastCleanCycle) {
      report.lastCleanCycle = history.runs.back().cycle;
      report.lastCleanHours = std::max(report.lastCleanHours, history.runs.back().hours);
    }
  }
  if (history.end == Standing::Explained) {
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

std::string ClassesDisagree(const FleetReport& report) {
  int sum = 0;
  for (const int count : report.classes) sum += count;
  if (sum != report.machines) {
    return std::to_string(sum) + " machines in classes, of " + std::to_string(report.machines);
  }
  if (!report.standings.empty() && report.standings.back() != report.classes) {
    return "the last cycle's standings differ from the classes";
  }
  return "";
}

std::string ReportTable(const FleetReport& report) {
  std::string table = "| Cycle | Runs | Latest start |";
  std::string rule = "|---|---|---|";
  for (int standing = 0; standing < kStandingCount; ++standing) {
    table += std::string(" ") + StandingName(static_cast<Standing>(standing)) + " |";
    rule += "---|";
  }
  table += "\n" + rule + "\n";
  for (int cycle = 0; cycle < report.cycles; ++cycle) {
    const auto at = static_cast<std::size_t>(cycle);
    table += "| " + std::to_string(cycle + 1) + " | " + std::to_string(report.runs[at]) + " | " +
             (report.runs[at] ? ElapsedText(report.latestStart[at]) : "-") + " |";
    for (const int count : report.standings[at]) table += " " + std::to_string(count) + " |";
    table += "\n";
  }
  const auto count = [&report](Standing standing) {
    return std::to_string(report.classes[static_cast<std::size_t>(standing)]);
  };
  table += "\n" + std::to_string(report.machines) + " machines (seed " +
           std::to_string(report.seed) + ", the time-out ending " +
           std::to_string(report.killPercent) + " runs in 100): " + count(Standing::PatchedClean) +
           " patched and clean (" + std::to_string(report.cleanUnrun) + " detected before any run); " + count(Standing::PatchedJournalKept) +
           " patched, journal kept (" + std::to_string(report.endedRedirected) +
           " still redirected; each needs one more run, with a longer maximum run time); " +
           count(Standing::Explained) + " not patched, explained (a person acts); " +
           count(Standing::NotApplicable) + " not applicable (not run); " +
           count(Standing::PerUserOnly) + " per user only (not run); " +
           count(Standing::Otherwise) + " otherwise. " + std::to_string(report.faulty.size()) +
           " ended otherwise than their description allows. " + std::to_string(report.totalRuns) +
           " runs; the last machine to end clean did in cycle " +
           std::to_string(report.lastCleanCycle) + ", its run starting " +
           ElapsedText(report.lastCleanHours) +
           " after the deployment reached it.\n\n| Explained by | Machines |\n|---|---|\n";
  for (const auto& [reason, explained] : report.reasons) {
    table += "| " + reason + " | " + std::to_string(explained.machines) + " |\n";
  }
  return table;
}

std::string ReportJson(const FleetReport& report) {
  std::string json = "{\n  \"seed\": " + std::to_string(report.seed) +
                     ",\n  \"kill_percent\": " + std::to_string(report.killPercent) +
                     ",\n  \"machines\": " + std::to_string(report.machines) + ",\n  \"cycles\": [";
  for (int cycle = 0; cycle < report.cycles; ++cycle) {
    const auto at = static_cast<std::size_t>(cycle);
    json += std::string(cycle ? ", " : "") + "{\"cycle\": " + std::to_string(cycle + 1) +
            ", \"runs\": " + std::to_string(report.runs[at]) +
            ", \"latest_start_hours\": " + std::to_string(report.latestStart[at]);
    for (int standing = 0; standing < kStandingCount; ++standing) {
      json += std::string(", \"") + kStandingKeys[standing] +
              "\": " + std::to_string(report.standings[at][static_cast<std::size_t>(standing)]);
    }
    json += "}";
  }
  json += "],\n  \"classes\": {";
  for (int standing = 0; standing < kStandingCount; ++standing) {
    json += std::string(standing ? ", " : "") + "\"" + kStandingKeys[standing] +
            "\": " + std::to_string(report.classes[static_cast<std::size_t>(standing)]);
  }
  json += "},\n  \"still_redirected\": " + std::to_string(report.endedRedirected) +
          ",\n  \"ended_clean\": " + std::to_string(report.endedClean) +
          ",\n  \"clean_without_a_run\": " + std::to_string(report.cleanUnrun) +
          ",\n  \"ended_explained\": " + std::to_string(report.endedExplained) +
          ",\n  \"runs\": " + std::to_string(report.totalRuns) +
          ",\n  \"last_clean_cycle\": " + std::to_string(report.lastCleanCycle) +
          ",\n  \"last_clean_hours\": " + std::to_string(report.lastCleanHours) +
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

// Stacked bars, one per cycle, of the machines in each standing, with a
// count axis, the cycles and their latest start below, and a legend that
// gives each class's count at the end. A band too thin to see is drawn
// kThinnest high, so none disappears; the legend's counts stay exact.
std::string ReportChart(const FleetReport& report) {
  constexpr int kBar = 44, kGap = 14, kHeight = 300, kLeft = 70, kTop = 64;
  constexpr double kThinnest = 2.5;
  const int plotWidth = report.cycles * (kBar + kGap);
  const int width = kLeft + plotWidth + 330;
  const int bottom = kTop + kHeight;
  std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(width) +
                    "\" height=\"" + std::to_string(bottom + 80) +
                    "\" font-family=\"sans-serif\" font-size=\"12\">\n"
                    "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
  svg += "<text x=\"" + std::to_string(kLeft) +
         "\" y=\"22\" font-size=\"15\" font-weight=\"bold\">Simulated fleet: machines by standing "
         "after each cycle</text>\n<text x=\"" +
         std::to_string(kLeft) + "\" y=\"40\">" + std::to_string(report.machines) +
         " machines, seed " + std::to_string(report.seed) + ", the time-out ending " +
         std::to_string(report.killPercent) + " runs in 100</text>\n";
  const double scale = report.machines > 0 ? static_cast<double>(kHeight) / report.machines : 0;
  // The count axis, in quarters of the fleet.
  for (int quarter = 0; quarter <= 4; ++quarter) {
    char tick[256];
    const double y = bottom - kHeight * quarter / 4.0;
    std::snprintf(tick, sizeof tick,
                  "<line x1=\"%d\" y1=\"%.1f\" x2=\"%d\" y2=\"%.1f\" stroke=\"#000000\"/>\n"
                  "<text x=\"%d\" y=\"%.1f\" text-anchor=\"end\">%d</text>\n",
                  kLeft - 5, y, kLeft, y, kLeft - 8, y + 4, report.machines * quarter / 4);
    svg += tick;
  }
  svg += "<line x1=\"" + std::to_string(kLeft) + "\" y1=\"" + std::to_string(kTop) + "\" x2=\"" +
         std::to_string(kLeft) + "\" y2=\"" + std::to_string(bottom) +
         "\" stroke=\"#000000\"/>\n<line x1=\"" + std::to_string(kLeft) + "\" y1=\"" +
         std::to_string(bottom) + "\" x2=\"" + std::to_string(kLeft + plotWidth) + "\" y2=\"" +
         std::to_string(bottom) + "\" stroke=\"#000000\"/>\n<text transform=\"translate(16," +
         std::to_string(kTop + kHeight / 2) +
         ") rotate(-90)\" text-anchor=\"middle\">machines</text>\n";
  for (int cycle = 0; cycle < report.cycles; ++cycle) {
    const auto at = static_cast<std::size_t>(cycle);
    const int x = kLeft + kGap / 2 + cycle * (kBar + kGap);
    double y = bottom;
    for (int standing = 0; standing < kStandingCount; ++standing) {
      const int count = report.standings[at][static_cast<std::size_t>(standing)];
      if (count == 0) continue;
      const double height = std::max(scale * count, kThinnest);
      y -= height;
      char rect[256];
      std::snprintf(rect, sizeof rect,
                    "<rect x=\"%d\" y=\"%.1f\" width=\"%d\" height=\"%.1f\" fill=\"%s\" "
                    "stroke=\"#ffffff\" stroke-width=\"0.5\"><title>cycle %d, %s: %d</title></rect>\n",
                    x, y, kBar, height, kStandingColours[standing], cycle + 1,
                    StandingName(static_cast<Standing>(standing)), count);
      svg += rect;
    }
    svg += "<text x=\"" + std::to_string(x + kBar / 2) + "\" y=\"" + std::to_string(bottom + 16) +
           "\" text-anchor=\"middle\">" + std::to_string(cycle + 1) + "</text>\n<text x=\"" +
           std::to_string(x + kBar / 2) + "\" y=\"" + std::to_string(bottom + 31) +
           "\" text-anchor=\"middle\" font-size=\"10\">" +
           (report.runs[at] ? std::to_string(report.latestStart[at] / 24) + " d" : "-") +
           "</text>\n";
  }
  svg += "<text x=\"" + std::to_string(kLeft + plotWidth / 2) + "\" y=\"" +
         std::to_string(bottom + 52) +
         "\" text-anchor=\"middle\">cycle, and the days to its latest run's start</text>\n";
  const int legendX = kLeft + plotWidth + 20;
  svg += "<text x=\"" + std::to_string(legendX) + "\" y=\"" + std::to_string(kTop + 10) +
         "\" font-weight=\"bold\">At the end (machines)</text>\n";
  for (int standing = 0; standing < kStandingCount; ++standing) {
    const int y = kTop + 24 + 22 * standing;
    svg += "<rect x=\"" + std::to_string(legendX) + "\" y=\"" + std::to_string(y) +
           "\" width=\"14\" height=\"14\" fill=\"" + kStandingColours[standing] +
           "\" stroke=\"#000000\" stroke-width=\"0.5\"/>\n<text x=\"" +
           std::to_string(legendX + 20) + "\" y=\"" + std::to_string(y + 12) + "\">" +
           StandingName(static_cast<Standing>(standing)) + ": " +
           std::to_string(report.classes[static_cast<std::size_t>(standing)]) + "</text>\n";
  }
  svg += "<text x=\"" + std::to_string(legendX) + "\" y=\"" +
         std::to_string(kTop + 24 + 22 * kStandingCount + 14) +
         "\" font-size=\"10\">bands under " + "2.5 px are drawn 2.5 px high</text>\n";
  return svg + "</svg>\n";
}

}  // namespace setup::fleet
