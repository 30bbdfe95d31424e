// The kit's verdicts: one line per check on the console, the same as JSON
// for a build agent, and the count of failures for the exit status.
#ifndef SETUP_KIT_FIRST_RUN_CHECK_REPORT_H
#define SETUP_KIT_FIRST_RUN_CHECK_REPORT_H

#include <set>
#include <string>
#include <vector>

namespace first_run {

enum class Verdict { Pass, Fail, Skip };

struct CheckResult {
  std::string name;
  Verdict verdict = Verdict::Pass;
  std::string detail;  // what was seen against what was expected, or why skipped
  bool knownWineDifference = false;
};

class CheckReport {
 public:
  // Under Wine, failures of the checks named in `wineDifferences` are
  // reported as such and not counted.
  CheckReport(bool underWine, std::set<std::string> wineDifferences);

  void Pass(const std::string& name, const std::string& detail = std::string());
  void Fail(const std::string& name, const std::string& detail);
  void Skip(const std::string& name, const std::string& why);

  // Failures that count: every one on Windows.
  int CountedFailures() const;
  // {"under_wine": .., "failures": n, "checks": [{"name", "result", "detail", ...}]}
  std::string Json() const;

 private:
  void Add(CheckResult result);

  bool underWine_;
  std::set<std::string> wineDifferences_;
  std::vector<CheckResult> results_;
};

// Text as UTF-8, for the console and the JSON.
std::string Utf8(const std::wstring& text);

}  // namespace first_run

#endif  // SETUP_KIT_FIRST_RUN_CHECK_REPORT_H
