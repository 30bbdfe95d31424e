// One UTF-8 line per event, in the temporary folder where deployment tools and support staff look,
// so that a run on a machine nobody reaches explains itself.
#ifndef SETUP_SHARED_RUN_LOG_H
#define SETUP_SHARED_RUN_LOG_H

#include <cstddef>
#include <cstdint>

#include "platform/bounded_text.h"
#include "platform/platform.h"

namespace setup {

// A line that would outgrow its buffer is cut and ends in "...", so a value of any length still
// leaves its line in the log. Control characters and line separators are written by name ("<LF>",
// "<TAB>", "<NUL>", "<U+2028>"...), so an event never runs over two lines.
class LogLine {
 public:
  // `text` may be null (written as nothing).
  LogLine& operator<<(const WideChar* text);
  // ASCII text, as the launcher's own words are.
  LogLine& operator<<(const char* text);
  LogLine& Ascii(const char* text, std::size_t length);
  LogLine& operator<<(std::uint32_t number);
  LogLine& operator<<(int number);
  // `length` units, zeros included.
  LogLine& Text(const WideChar* text, std::size_t length);

  const WideChar* c_str() const { return text_.c_str(); }
  std::size_t length() const { return text_.length(); }

 private:
  static constexpr std::size_t kUnits = 2048;
  static constexpr std::size_t kCutMarkUnits = 3;
  void Append(WideChar unit);
  void AppendVisible(WideChar unit);

  BoundedText<WideChar, kUnits> text_;
  bool cut_ = false;
};

// With its platform, so a step that only logs needs no more; OpenRunLog, CloseRunLog own the file.
struct RunLog {
  Platform* writer = nullptr;
  KernelHandle file = NO_KERNEL_HANDLE;  // none: nothing is logged
  WidePath path;                         // where the log is, once open
};

// Makes "QuarrixPatchSetup_<yyyyMMddHHmmss>_<process id>.log" in the temporary folder, or
// "..._2.log" to "..._9.log" when that name exists, created new and shared for reading: an existing
// file or link is never opened, and with the process id in it nobody can take the name in advance
// in a shared folder. A folder unread, or that refuses it for another reason than names taken,
// leaves it to the Windows folder's Temp, its first line saying why. Each line is handed to the
// system at once, so a killed run keeps every line, but not written through: on Windows that would
// wait for the disk at every line. When none can be made the run goes on without a log.
void OpenRunLog(Platform& platform, RunLog& log);

// "<yyyy-MM-dd HH:mm:ss.fff> <line>" and a line end, in UTF-8; a failed write drops the line only.
void WriteLogLine(const RunLog& log, const LogLine& line);

// Called before the installer starts, so that a machine that goes down loses none of the log.
void FlushRunLog(const RunLog& log);

// Flushes and closes the log; later lines are dropped.
void CloseRunLog(RunLog& log);

}  // namespace setup

#endif  // SETUP_SHARED_RUN_LOG_H
