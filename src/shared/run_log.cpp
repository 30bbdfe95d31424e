#include "shared/run_log.h"

#include "shared/log_events.h"

namespace setup {

namespace {

constexpr WideChar kLogNamePrefix[] = u"QuarrixPatchSetup_";
constexpr std::uint32_t kLastNameSuffix = 9;

template <std::size_t Capacity>
bool AppendDigits(BoundedText<WideChar, Capacity>& text, std::uint32_t value, int digits) {
  WideChar units[10];
  int count = 0;
  do {
    units[count++] = static_cast<WideChar>(u'0' + value % 10);
    value /= 10;
  } while (value != 0 || count < digits);
  while (count > 0) {
    if (!text.append(units[--count])) return false;
  }
  return true;
}

// A unit that is half of no pair becomes U+FFFD, as a text editor would show it.
class Utf8Line {
 public:
  void Append(const WideChar* text, std::size_t length) {
    for (std::size_t at = 0; at < length; ++at) {
      std::uint32_t code = text[at];
      if (code >= 0xD800 && code <= 0xDBFF && at + 1 < length && text[at + 1] >= 0xDC00 &&
          text[at + 1] <= 0xDFFF) {
        code = 0x10000 + ((code - 0xD800) << 10) + (text[++at] - 0xDC00u);
      } else if (code >= 0xD800 && code <= 0xDFFF) {
        code = 0xFFFD;
      }
      Encode(code);
    }
  }
  const std::uint8_t* data() const { return bytes_; }
  std::uint32_t size() const { return static_cast<std::uint32_t>(size_); }

 private:
  void Put(std::uint32_t byte) { bytes_[size_++] = static_cast<std::uint8_t>(byte); }
  void Encode(std::uint32_t code) {
    if (size_ + 4 > sizeof bytes_) return;  // cannot happen for a line and its stamp
    constexpr std::uint32_t kLeads[] = {0x00, 0xC0, 0xE0, 0xF0};
    const int trailing = code < 0x80 ? 0 : code < 0x800 ? 1 : code < 0x10000 ? 2 : 3;
    Put(kLeads[trailing] | (code >> (6 * trailing)));
    for (int shift = 6 * (trailing - 1); shift >= 0; shift -= 6) {
      Put(0x80 | ((code >> shift) & 0x3F));
    }
  }

  // Three bytes a unit at most, for the line, its stamp and its end.
  std::uint8_t bytes_[3 * 2100] = {};
  std::size_t size_ = 0;
};

// `folder` ends in a backslash. ERROR_FILE_EXISTS when every name is taken.
Status CreateLogIn(Platform& platform, RunLog& log, const WidePath& folder) {
  const LocalTime now = platform.GetLocalTime();
  WidePath stem = folder;
  if (!stem.append(kLogNamePrefix) || !AppendDigits(stem, now.year, 4) ||
      !AppendDigits(stem, now.month, 2) || !AppendDigits(stem, now.day, 2) ||
      !AppendDigits(stem, now.hour, 2) || !AppendDigits(stem, now.minute, 2) ||
      !AppendDigits(stem, now.second, 2) || !stem.append(u'_') ||
      !AppendDigits(stem, platform.GetCurrentProcessId(), 1)) {
    return ERROR_INSUFFICIENT_BUFFER;
  }
  for (std::uint32_t suffix = 1; suffix <= kLastNameSuffix; ++suffix) {
    WidePath name = stem;
    if ((suffix > 1 && (!name.append(u'_') || !AppendDigits(name, suffix, 1))) ||
        !name.append(u".log")) {
      return ERROR_INSUFFICIENT_BUFFER;
    }
    Status lastError = ERROR_SUCCESS;
    const KernelHandle file = platform.CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                                   CREATE_NEW, FILE_ATTRIBUTE_NORMAL, &lastError);
    if (file != NO_KERNEL_HANDLE) {
      log.file = file;
      log.path = name;
      return ERROR_SUCCESS;
    }
    // Only a taken name is worth another try; no folder, a full disk or a refusal would refuse the
    // next name too.
    if (lastError != ERROR_FILE_EXISTS && lastError != ERROR_ALREADY_EXISTS) return lastError;
  }
  return ERROR_FILE_EXISTS;
}

}  // namespace

void OpenRunLog(Platform& platform, RunLog& log) {
  log = RunLog{};
  log.writer = &platform;
  // GetTempPath2W gives SYSTEM a folder only it can write; where kernel32 lacks it, GetTempPathW.
  WidePath temp;
  const bool read =
      temp.adopt_reported_text(
          platform.GetTempPath2W(temp.writable_size(), temp.writable_buffer())) ||
      temp.adopt_reported_text(platform.GetTempPathW(temp.writable_size(), temp.writable_buffer()));
  const Status refused = read ? CreateLogIn(platform, log, temp) : ERROR_PATH_NOT_FOUND;
  // Names all taken in a shared folder would be taken in the next one too.
  if (log.file != NO_KERNEL_HANDLE || refused == ERROR_FILE_EXISTS) return;
  // Every user may create files in the Windows folder's Temp: safe for this log only because it is
  // made new under a name of its own, never opened where the name exists.
  WidePath windows;
  if (!windows.adopt_reported_text(platform.GetSystemWindowsDirectoryW(windows.writable_buffer(),
                                                                       windows.writable_size())) ||
      !windows.append(u"\\Temp\\") || CreateLogIn(platform, log, windows) != ERROR_SUCCESS) {
    return;
  }
  LogLine line;
  if (read) {
    Say<LogEvent::LogFolderInstead>(line, windows.c_str(), temp.c_str(), StatusText{refused});
  } else {
    Say<LogEvent::LogFolderTempUnread>(line, windows.c_str());
  }
  WriteLogLine(log, line);
}

void WriteLogLine(const RunLog& log, const LogLine& line) {
  if (log.file == NO_KERNEL_HANDLE) return;
  const LocalTime now = log.writer->GetLocalTime();
  BoundedText<WideChar, 32> stamp;
  static_cast<void>(AppendDigits(stamp, now.year, 4) && stamp.append(u'-') &&
                    AppendDigits(stamp, now.month, 2) && stamp.append(u'-') &&
                    AppendDigits(stamp, now.day, 2) && stamp.append(u' ') &&
                    AppendDigits(stamp, now.hour, 2) && stamp.append(u':') &&
                    AppendDigits(stamp, now.minute, 2) && stamp.append(u':') &&
                    AppendDigits(stamp, now.second, 2) && stamp.append(u'.') &&
                    AppendDigits(stamp, now.milliseconds, 3) && stamp.append(u' '));
  Utf8Line bytes;
  bytes.Append(stamp.c_str(), stamp.length());
  bytes.Append(line.c_str(), line.length());
  bytes.Append(u"\r\n", 2);
  std::uint32_t written = 0;
  static_cast<void>(log.writer->WriteFile(log.file, bytes.data(), bytes.size(), &written));
}

void FlushRunLog(const RunLog& log) {
  // A failed flush loses nothing the system has not got already.
  if (log.file != NO_KERNEL_HANDLE) static_cast<void>(log.writer->FlushFileBuffers(log.file));
}

void CloseRunLog(RunLog& log) {
  if (log.file != NO_KERNEL_HANDLE) {
    FlushRunLog(log);
    // Every line is the system's already; a failed close loses nothing.
    static_cast<void>(log.writer->CloseHandle(log.file));
  }
  log.file = NO_KERNEL_HANDLE;
}

void LogLine::Append(WideChar unit) {
  if (cut_) return;
  // Room is kept for the mark, so a cut line always shows it.
  if (text_.length() + kCutMarkUnits >= kUnits - 1) {
    static_cast<void>(text_.append(u"..."));
    cut_ = true;
    return;
  }
  static_cast<void>(text_.append(unit));
}

void LogLine::AppendVisible(WideChar unit) {
  // C1 controls (U+0085, next line, among them) and the line and paragraph separators end a line
  // for readers that follow Unicode's rules.
  const bool breaksOrControls =
      unit < 0x20 || (unit >= 0x7F && unit <= 0x9F) || unit == 0x2028 || unit == 0x2029;
  if (!breaksOrControls) {
    Append(unit);
    return;
  }
  const char* const name = unit == u'\n'   ? "<LF>"
                           : unit == u'\r' ? "<CR>"
                           : unit == u'\t' ? "<TAB>"
                           : unit == u'\0' ? "<NUL>"
                                           : nullptr;
  if (name != nullptr) {
    *this << name;
    return;
  }
  *this << "<U+";
  for (int shift = 12; shift >= 0; shift -= 4) Append(u"0123456789ABCDEF"[(unit >> shift) & 0xF]);
  Append(u'>');
}

LogLine& LogLine::operator<<(const WideChar* text) {
  for (const WideChar* at = text; at != nullptr && *at != u'\0'; ++at) AppendVisible(*at);
  return *this;
}

LogLine& LogLine::Text(const WideChar* text, std::size_t length) {
  for (std::size_t at = 0; at < length; ++at) AppendVisible(text[at]);
  return *this;
}

LogLine& LogLine::operator<<(const char* text) {
  // Unit by unit, never measured first: a measuring loop becomes an import of strlen.
  for (const char* at = text; at != nullptr && *at != '\0'; ++at) {
    AppendVisible(static_cast<WideChar>(static_cast<unsigned char>(*at)));
  }
  return *this;
}

LogLine& LogLine::Ascii(const char* text, std::size_t length) {
  for (std::size_t at = 0; at < length; ++at) {
    AppendVisible(static_cast<WideChar>(static_cast<unsigned char>(text[at])));
  }
  return *this;
}

LogLine& LogLine::operator<<(std::uint32_t number) {
  WideChar digits[10];
  std::size_t count = 0;
  do {
    digits[count++] = static_cast<WideChar>(u'0' + number % 10);
    number /= 10;
  } while (number != 0);
  while (count > 0) Append(digits[--count]);
  return *this;
}

LogLine& LogLine::operator<<(int number) {
  if (number >= 0) return *this << static_cast<std::uint32_t>(number);
  Append(u'-');
  return *this << (0u - static_cast<std::uint32_t>(number));
}

}  // namespace setup
