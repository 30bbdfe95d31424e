#include "check_report.h"

#include <windows.h>

#include <cstdio>
#include <utility>

namespace first_run {

namespace {

const char* VerdictWord(Verdict verdict) {
  switch (verdict) {
    case Verdict::Pass:
      return "PASS";
    case Verdict::Fail:
      return "FAIL";
    case Verdict::Skip:
      return "SKIP";
  }
  return "FAIL";
}

void AppendJsonText(std::string& out, const std::string& text) {
  out += '"';
  for (const char unit : text) {
    const auto byte = static_cast<unsigned char>(unit);
    if (unit == '"' || unit == '\\') {
      out += '\\';
      out += unit;
    } else if (byte < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(byte));
      out += escaped;
    } else {
      out += unit;
    }
  }
  out += '"';
}

}  // namespace

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::string();
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size,
                      nullptr, nullptr);
  return out;
}

CheckReport::CheckReport(bool underWine, std::set<std::string> wineDifferences)
    : underWine_(underWine), wineDifferences_(std::move(wineDifferences)) {}

void CheckReport::Pass(const std::string& name, const std::string& detail) {
  Add({name, Verdict::Pass, detail, false});
}

void CheckReport::Fail(const std::string& name, const std::string& detail) {
  Add({name, Verdict::Fail, detail, underWine_ && wineDifferences_.count(name) != 0});
}

void CheckReport::Skip(const std::string& name, const std::string& why) {
  Add({name, Verdict::Skip, why, false});
}

void CheckReport::Add(CheckResult result) {
  std::string line = std::string(VerdictWord(result.verdict)) + " " + result.name;
  if (result.knownWineDifference) line += " (a known Wine difference, not counted)";
  if (!result.detail.empty()) line += ": " + result.detail;
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
  results_.push_back(std::move(result));
}

int CheckReport::CountedFailures() const {
  int failures = 0;
  for (const CheckResult& result : results_) {
    if (result.verdict == Verdict::Fail && !result.knownWineDifference) ++failures;
  }
  return failures;
}

std::string CheckReport::Json() const {
  std::string out = "{\"under_wine\": ";
  out += underWine_ ? "true" : "false";
  out += ", \"failures\": " + std::to_string(CountedFailures()) + ", \"checks\": [";
  for (std::size_t at = 0; at < results_.size(); ++at) {
    const CheckResult& result = results_[at];
    out += at == 0 ? "\n  {\"name\": " : ",\n  {\"name\": ";
    AppendJsonText(out, result.name);
    out += ", \"result\": ";
    AppendJsonText(out, VerdictWord(result.verdict));
    out += ", \"detail\": ";
    AppendJsonText(out, result.detail);
    out += ", \"known_wine_difference\": ";
    out += result.knownWineDifference ? "true}" : "false}";
  }
  out += "\n]}\n";
  return out;
}

}  // namespace first_run
