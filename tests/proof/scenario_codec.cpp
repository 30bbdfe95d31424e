#include "proof/scenario_codec.h"

#include <algorithm>
#include <iterator>
#include <stdexcept>
#include <string>

#include "detection/product_identification.h"

namespace setup::proof {

namespace {

constexpr std::uint32_t kCodePages[] = {1252, 932, 65001, 1251, 1250};
constexpr std::size_t kCodePageCount = std::size(kCodePages);
constexpr std::size_t kMaxEntries = 8;  // of each list
constexpr std::size_t kMaxText = 4096;  // bytes of one text
constexpr std::uint8_t kAccessCount = 3;
constexpr std::uint8_t kActionCount = 3;

enum Flags : std::uint8_t {
  kShortNames = 1,
  kOtherLauncher = 2,
  kStationVisible = 4,
  kServiceSession = 8,
};

constexpr int kMaxRepeat = 64;

template <typename Text>
Text Repeated(const Text& text, std::uint8_t repeat) {
  Text repeated;
  for (int time = 0; time <= repeat % kMaxRepeat; ++time) repeated += text;
  return repeated;
}

class Reader {
 public:
  Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  std::uint8_t Byte() { return position_ < size_ ? data_[position_++] : 0; }
  std::uint16_t Word() {
    const auto low = Byte();
    return static_cast<std::uint16_t>(low | (Byte() << 8));
  }
  std::uint32_t Long() {
    const std::uint32_t low = Word();
    return low | (std::uint32_t{Word()} << 16);
  }
  std::size_t Count() { return Byte() % (kMaxEntries + 1); }
  std::string Text() {
    // The length word is read before what is left is counted.
    const std::size_t asked = Word() % (kMaxText + 1);
    const std::size_t length = std::min<std::size_t>(asked, size_ - std::min(position_, size_));
    std::string text(reinterpret_cast<const char*>(data_) + std::min(position_, size_), length);
    position_ += length;
    return text;
  }
  std::u16string WideText() {
    const std::size_t length = Word() % (kMaxText / 2 + 1);
    std::u16string text;
    for (std::size_t unit = 0; unit < length && position_ < size_; ++unit) {
      // Windows hands these texts over zero-terminated: no zero inside.
      const auto read = static_cast<char16_t>(Word());
      if (read != 0) text.push_back(read);
    }
    return text;
  }
  std::vector<std::uint8_t> Blob() {
    const std::string text = LongText();
    return std::vector<std::uint8_t>(text.begin(), text.end());
  }
  // A text, then how many times over it stands (1 to 64): long paths and
  // values are few mutations away.
  std::string LongText() {
    const std::string text = Text();
    return Repeated(text, Byte());
  }
  std::u16string LongWideText() {
    const std::u16string text = WideText();
    return Repeated(text, Byte());
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t position_ = 0;
};

class Writer {
 public:
  void Byte(std::uint8_t value) { bytes_.push_back(value); }
  void Word(std::uint16_t value) {
    Byte(static_cast<std::uint8_t>(value & 0xFF));
    Byte(static_cast<std::uint8_t>(value >> 8));
  }
  void Long(std::uint32_t value) {
    Word(static_cast<std::uint16_t>(value & 0xFFFF));
    Word(static_cast<std::uint16_t>(value >> 16));
  }
  void Count(std::size_t count) {
    if (count > kMaxEntries) throw std::invalid_argument("more entries than the decoder reads");
    Byte(static_cast<std::uint8_t>(count));
  }
  void Text(const std::string& text) {
    if (text.size() > kMaxText) throw std::invalid_argument("text longer than the decoder reads");
    Word(static_cast<std::uint16_t>(text.size()));
    bytes_.insert(bytes_.end(), text.begin(), text.end());
  }
  void WideText(const std::u16string& text) {
    if (text.size() > kMaxText / 2)
      throw std::invalid_argument("text longer than the decoder reads");
    Word(static_cast<std::uint16_t>(text.size()));
    for (const char16_t unit : text) Word(static_cast<std::uint16_t>(unit));
  }
  void Blob(const std::vector<std::uint8_t>& bytes) {
    LongText(std::string(bytes.begin(), bytes.end()));
  }
  void LongText(const std::string& text) {
    Text(text);
    Byte(0);  // once
  }
  void LongWideText(const std::u16string& text) {
    WideText(text);
    Byte(0);
  }
  std::vector<std::uint8_t> Take() { return std::move(bytes_); }

 private:
  std::vector<std::uint8_t> bytes_;
};

std::uint8_t CodePageIndex(std::uint32_t codePage) {
  const auto* const found = std::find(std::begin(kCodePages), std::end(kCodePages), codePage);
  if (found == std::end(kCodePages)) throw std::invalid_argument("code page the decoder lacks");
  return static_cast<std::uint8_t>(found - std::begin(kCodePages));
}

FileName ReadFile(Reader& in) {
  FileName file;
  file.longName = in.LongWideText();
  file.shortName = in.WideText();
  return file;
}

// A patch file: as written, or (odd mode byte) a product's keyword, the
// text and ".msp", so that inputs reach identified products easily.
FileName ReadPackageFile(Reader& in) {
  const std::uint8_t mode = in.Byte();
  FileName file = ReadFile(in);
  if (mode % 2 != 0) {
    file.longName = ProductTable[(mode / 2) % ProductTableCount].keyword + file.longName + u".msp";
  }
  return file;
}

void WriteFile(Writer& out, const FileName& file) {
  out.LongWideText(file.longName);
  out.WideText(file.shortName);
}

std::optional<StoredValue> ReadValue(Reader& in) {
  if (in.Byte() % 2 == 0) return std::nullopt;
  StoredValue value;
  value.type = in.Long();
  value.bytes = in.Blob();
  return value;
}

void WriteValue(Writer& out, const std::optional<StoredValue>& value) {
  out.Byte(value ? 1 : 0);
  if (!value) return;
  out.Long(value->type);
  out.Blob(value->bytes);
}

}  // namespace

Scenario DecodeScenario(const std::uint8_t* data, std::size_t size) {
  Reader in(data, size);
  Scenario scenario;
  scenario.systemCodePage = kCodePages[in.Byte() % kCodePageCount];
  scenario.threadCodePage = kCodePages[in.Byte() % kCodePageCount];
  scenario.systemLanguage = in.Word();
  if (in.Byte() % 2 == 0) {
    scenario.folder.reset();
    in.LongWideText();
  } else {
    scenario.folder = in.LongWideText();
  }
  scenario.folderShortName = in.WideText();
  const std::uint8_t flags = in.Byte();
  scenario.shortNamesAvailable = (flags & kShortNames) != 0;
  scenario.otherLauncherRunning = (flags & kOtherLauncher) != 0;
  scenario.windowStationVisible = (flags & kStationVisible) != 0;
  scenario.serviceSession = (flags & kServiceSession) != 0;
  for (std::size_t count = in.Count(); count > 0; --count)
    scenario.folderFiles.push_back(ReadFile(in));
  for (std::size_t count = in.Count(); count > 0; --count)
    scenario.packageFiles.push_back(ReadPackageFile(in));
  if (in.Byte() % 2 != 0) {
    scenario.databaseFile = ReadFile(in);
    scenario.databaseEntry = in.Byte();
  }
  for (std::size_t count = in.Count(); count > 0; --count) {
    IniValue ini;
    ini.fileName = in.Text();
    ini.section = in.WideText();
    ini.key = in.WideText();
    ini.value = in.LongWideText();
    scenario.iniValues.push_back(ini);
  }
  for (std::size_t count = in.Count(); count > 0; --count) {
    ProductKey product;
    product.row = in.Byte() % ProductTableCount;
    product.access = static_cast<KeyAccess>(in.Byte() % kAccessCount);
    product.transforms = ReadValue(in);
    product.backup = ReadValue(in);
    scenario.products.push_back(product);
  }
  for (std::size_t count = in.Count(); count > 0; --count) {
    // Odd mode: one of the guarded services, whose text is ignored.
    const std::uint8_t mode = in.Byte();
    std::string name = in.Text();
    if (mode % 2 != 0) name = kGuardedServices[(mode / 2) % std::size(kGuardedServices)];
    scenario.services.emplace_back(std::move(name), in.Long());
  }
  scenario.commandLine = in.LongWideText();
  scenario.systemDirectory = in.LongWideText();
  if (in.Byte() % 2 != 0) {
    const Status error = in.Long();  // a start that fails never reports success
    scenario.child.startError = error != ERROR_SUCCESS ? error : ERROR_FILE_NOT_FOUND;
  }
  scenario.child.exitCode = in.Long();
  scenario.child.action = static_cast<ChildAction>(in.Byte() % kActionCount);
  scenario.child.rewrittenValue = in.LongWideText();
  return scenario;
}

std::vector<std::uint8_t> EncodeScenario(const Scenario& scenario) {
  Writer out;
  out.Byte(CodePageIndex(scenario.systemCodePage));
  out.Byte(CodePageIndex(scenario.threadCodePage));
  out.Word(scenario.systemLanguage);
  out.Byte(scenario.folder ? 1 : 0);
  out.LongWideText(scenario.folder.value_or(u""));
  out.WideText(scenario.folderShortName);
  out.Byte(static_cast<std::uint8_t>((scenario.shortNamesAvailable ? kShortNames : 0) |
                                     (scenario.otherLauncherRunning ? kOtherLauncher : 0) |
                                     (scenario.windowStationVisible ? kStationVisible : 0) |
                                     (scenario.serviceSession ? kServiceSession : 0)));
  out.Count(scenario.folderFiles.size());
  for (const FileName& file : scenario.folderFiles) WriteFile(out, file);
  out.Count(scenario.packageFiles.size());
  for (const FileName& file : scenario.packageFiles) {
    out.Byte(0);  // as written
    WriteFile(out, file);
  }
  out.Byte(scenario.databaseFile ? 1 : 0);
  if (scenario.databaseFile) {
    WriteFile(out, *scenario.databaseFile);
    if (scenario.databaseEntry > 0xFF) throw std::invalid_argument("database entry above 255");
    out.Byte(static_cast<std::uint8_t>(scenario.databaseEntry));
  }
  out.Count(scenario.iniValues.size());
  for (const IniValue& ini : scenario.iniValues) {
    out.Text(ini.fileName);
    out.WideText(ini.section);
    out.WideText(ini.key);
    out.LongWideText(ini.value);
  }
  out.Count(scenario.products.size());
  for (const ProductKey& product : scenario.products) {
    out.Byte(static_cast<std::uint8_t>(product.row));
    out.Byte(static_cast<std::uint8_t>(product.access));
    WriteValue(out, product.transforms);
    WriteValue(out, product.backup);
  }
  out.Count(scenario.services.size());
  for (const auto& [name, state] : scenario.services) {
    out.Byte(0);  // as written
    out.Text(name);
    out.Long(state);
  }
  out.LongWideText(scenario.commandLine);
  out.LongWideText(scenario.systemDirectory);
  out.Byte(scenario.child.startError ? 1 : 0);
  if (scenario.child.startError) out.Long(*scenario.child.startError);
  out.Long(scenario.child.exitCode);
  out.Byte(static_cast<std::uint8_t>(scenario.child.action));
  out.LongWideText(scenario.child.rewrittenValue);
  return out.Take();
}

}  // namespace setup::proof
