#include <pelagon/platform/linux/reg_file_parser.h>

#include <algorithm>
#include <iterator>
#include <optional>
#include <utility>

#include <pelagon/platform/code_page.h>
#include <pelagon/platform/linux/utf8.h>

namespace win::regfile {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool isHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void appendCodePoint(std::u16string& out, char32_t codePoint) {
  if (codePoint < 0x10000) {
    out += static_cast<char16_t>(codePoint);
  } else {
    const char32_t offset = codePoint - 0x10000;
    out += static_cast<char16_t>(0xD800 + (offset >> 10));
    out += static_cast<char16_t>(0xDC00 + (offset & 0x3FF));
  }
}

// The code point of the well-formed UTF-8 sequence at `pos`, and its length; nothing when the
// bytes there are not one (overlong forms, surrogates and values above U+10FFFF included).
std::optional<std::pair<char32_t, std::size_t>> decodeUtf8(std::string_view text, std::size_t pos) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[pos + i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return std::pair<char32_t, std::size_t>{lead, 1};
  std::size_t length = 0;
  char32_t value = 0;
  unsigned char low = 0x80, high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    value = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    value = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    value = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return std::nullopt;
  }
  if (text.size() - pos < length) return std::nullopt;
  if (byte(1) < low || byte(1) > high) return std::nullopt;
  for (std::size_t i = 1; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return std::nullopt;
    value = (value << 6) | (byte(i) & 0x3F);
  }
  return std::pair<char32_t, std::size_t>{value, length};
}

// ---- Shared line handling, over bytes (Wine's files) or UTF-16 (regedit's) ----

template <class Char>
bool isBlank(Char c) {
  return c == Char(' ') || c == Char('\t') || c == Char('\r');
}

template <class Char>
std::basic_string_view<Char> trimLeft(std::basic_string_view<Char> text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  return text;
}

template <class Char>
std::basic_string_view<Char> trimRight(std::basic_string_view<Char> text) {
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

template <class Char>
std::basic_string_view<Char> trim(std::basic_string_view<Char> text) {
  return trimRight(trimLeft(text));
}

template <class Char>
char32_t asciiUpper(Char c) {
  const auto unit = static_cast<char32_t>(static_cast<std::make_unsigned_t<Char>>(c));
  return unit >= U'a' && unit <= U'z' ? unit - 32 : unit;
}

// ASCII letters compare regardless of case; `ascii` is plain ASCII.
template <class Char>
bool startsWithNoCase(std::basic_string_view<Char> text, std::string_view ascii) {
  if (text.size() < ascii.size()) return false;
  for (std::size_t i = 0; i < ascii.size(); ++i) {
    if (asciiUpper(text[i]) != asciiUpper(ascii[i])) return false;
  }
  return true;
}

template <class Char>
bool equalsNoCase(std::basic_string_view<Char> text, std::string_view ascii) {
  return text.size() == ascii.size() && startsWithNoCase(text, ascii);
}

template <class Char>
int hexDigit(Char c) {
  const char32_t unit = asciiUpper(c);
  if (unit >= U'0' && unit <= U'9') return static_cast<int>(unit - U'0');
  if (unit >= U'A' && unit <= U'F') return static_cast<int>(unit - U'A' + 10);
  return -1;
}

// 1 to 8 hex digits, all of `text`.
template <class Char>
std::optional<DWORD> parseHexDword(std::basic_string_view<Char> text) {
  if (text.empty() || text.size() > 8) return std::nullopt;
  DWORD value = 0;
  for (Char c : text) {
    const int digit = hexDigit(c);
    if (digit < 0) return std::nullopt;
    value = (value << 4) | static_cast<DWORD>(digit);
  }
  return value;
}

// The lines of a file, numbered from 1, without their line ends; one line can be given back.
template <class Char>
class Lines {
public:
  explicit Lines(std::basic_string_view<Char> text) : text_(text) {}

  bool next(std::basic_string_view<Char>& line) {
    if (pending_) {
      pending_ = false;
      line = last_;
      return true;
    }
    // A line end at the very end of the text starts no further line.
    if (position_ > text_.size() || (position_ == text_.size() && position_ != 0)) return false;
    const std::size_t end = text_.find(Char('\n'), position_);
    const std::size_t stop = end == std::basic_string_view<Char>::npos ? text_.size() : end;
    line = text_.substr(position_, stop - position_);
    if (!line.empty() && line.back() == Char('\r')) line.remove_suffix(1);
    position_ = stop + 1;
    ++number_;
    last_ = line;
    return true;
  }
  // The last line will be returned again by next().
  void giveBack() { pending_ = true; }
  std::size_t number() const { return number_; }

private:
  std::basic_string_view<Char> text_;
  std::size_t position_ = 0;
  std::size_t number_ = 0;
  std::basic_string_view<Char> last_;
  bool pending_ = false;
};

// A line that starts a new entry, which a hex continuation must not swallow.
template <class Char>
bool startsEntry(std::basic_string_view<Char> line) {
  const auto text = trimLeft(line);
  return !text.empty() &&
         (text.front() == Char('[') || text.front() == Char('"') || text.front() == Char('@'));
}

// The comma-separated bytes of a hex value, two digits each, continued over following lines
// while a line ends with '\'. Nothing when the list is malformed or cut off.
template <class Char>
std::optional<std::vector<BYTE>> parseHexList(std::basic_string_view<Char> first, Lines<Char>& lines,
                                              std::string& why) {
  std::basic_string<Char> joined;
  auto part = trimRight(first);
  while (!part.empty() && part.back() == Char('\\')) {
    part.remove_suffix(1);
    joined.append(part);
    std::basic_string_view<Char> next;
    if (!lines.next(next)) {
      why = "the hex data is cut off at the end of the file";
      return std::nullopt;
    }
    if (startsEntry(next)) {
      lines.giveBack();
      why = "the hex data is cut off by the next entry";
      return std::nullopt;
    }
    part = trim(next);
    if (part.empty()) {
      why = "the hex data is cut off by an empty line";
      return std::nullopt;
    }
  }
  joined.append(part);

  std::vector<BYTE> bytes;
  std::basic_string_view<Char> rest = joined;
  rest = trim(rest);
  while (!rest.empty()) {
    const std::size_t comma = rest.find(Char(','));
    const auto field = trim(rest.substr(0, comma));
    if (field.size() != 2 || hexDigit(field[0]) < 0 || hexDigit(field[1]) < 0) {
      why = "malformed hex data (every byte is two hex digits, separated by commas)";
      return std::nullopt;
    }
    bytes.push_back(static_cast<BYTE>(hexDigit(field[0]) * 16 + hexDigit(field[1])));
    if (comma == std::basic_string_view<Char>::npos) break;
    // A single trailing comma is tolerated.
    rest = trimLeft(rest.substr(comma + 1));
  }
  return bytes;
}

// Collects skipped lines for the load result.
class Report {
public:
  Report(const std::string& fileName, RegistryLoadResult& result) : fileName_(fileName), result_(result) {}
  void skip(std::size_t line, const std::string& why) {
    ++result_.skippedCount;
    if (result_.skipped.size() < kMaxSkippedMessages) {
      result_.skipped.push_back(fileName_ + ":" + std::to_string(line) + ": " + why + "; line skipped");
    }
  }
  void note(const std::string& what) {
    ++result_.skippedCount;
    if (result_.skipped.size() < kMaxSkippedMessages) result_.skipped.push_back(fileName_ + ": " + what);
  }
  bool refuse(const std::string& why) {
    result_.error = fileName_ + ": " + why;
    return false;
  }

private:
  const std::string& fileName_;
  RegistryLoadResult& result_;
};

// The parts of a key path; nothing when a part in the middle is empty. A trailing '\' is
// tolerated.
std::optional<std::vector<std::u16string>> splitPath(std::u16string_view path) {
  std::vector<std::u16string> parts;
  if (path.empty()) return parts;
  if (path.back() == u'\\') path.remove_suffix(1);
  std::size_t start = 0;
  while (true) {
    const std::size_t end = path.find(u'\\', start);
    const auto part =
        path.substr(start, end == std::u16string_view::npos ? std::u16string_view::npos : end - start);
    if (part.empty()) return std::nullopt;
    parts.emplace_back(part);
    if (end == std::u16string_view::npos) break;
    start = end + 1;
  }
  return parts;
}

bool isStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// Where the values of the following lines go.
enum class Section {
  BeforeFirstKey,
  // a key whose values are stored
  Key,
  // a key whose values are dropped without a report: a Wine link, a key deleted, a hive not modelled
  Ignored,
  // after a malformed key line; its values are dropped, the key line was reported
  Broken,
};

// What a value line gives after its '='.
struct ValueData {
  bool remove = false;
  DWORD type = REG_SZ;
  std::vector<BYTE> bytes;
};

// The "(type):" after "hex" or "str", from the '(' at `open`: the type and the position after
// the ':'.
template <class Char>
std::optional<std::pair<DWORD, std::size_t>> typePrefix(std::basic_string_view<Char> data, std::size_t open) {
  const std::size_t close = data.find(Char(')'), open);
  if (close == std::basic_string_view<Char>::npos || close + 1 >= data.size() ||
      data[close + 1] != Char(':')) {
    return std::nullopt;
  }
  const auto type = parseHexDword(data.substr(open + 1, close - open - 1));
  if (!type) return std::nullopt;
  return std::pair<DWORD, std::size_t>{*type, close + 2};
}

// What both formats share: the lines, the report, where values go, and the value line with
// its dword and hex forms. ReadQuoted reads the format's quoted text from just after the
// opening quote and returns the position after the closing one.
template <class Char>
class ReaderBase {
protected:
  using View = std::basic_string_view<Char>;
  using ReadQuoted = std::optional<std::size_t> (*)(View line, std::size_t pos, std::u16string& out);

  ReaderBase(View text, const std::string& fileName, RegistryStore& store, RegistryLoadResult& result,
             ReadQuoted readQuoted)
      : lines_(text), report_(fileName, result), store_(store), readQuoted_(readQuoted) {}

  void skipKey(const std::string& why) {
    section_ = Section::Broken;
    report_.skip(lines_.number(), why);
  }

  // Values of the following lines go to this key, which is made when missing.
  void enterKey(RegistryHive hive, std::vector<std::u16string> path) {
    if (!store_.CreateKey(hive, path)) return skipKey("key path beyond the registry's limits");
    hive_ = hive;
    path_ = std::move(path);
    section_ = Section::Key;
  }

  // A line starting with '"' or '@'; `readData` reads what follows the '='.
  template <class ReadData>
  void valueLine(View text, ReadData readData) {
    const std::size_t number = lines_.number();
    std::u16string name;
    std::size_t pos = 1;
    if (text.front() == Char('"')) {
      const auto end = readQuoted_(text, 1, name);
      if (!end) return report_.skip(number, "value name without its closing quote");
      pos = *end;
    }
    pos = text.size() - trimLeft(text.substr(pos)).size();
    if (pos >= text.size() || text[pos] != Char('=')) return report_.skip(number, "value without '='");
    ValueData value;
    std::string why;
    // Read in every section, so that the continuation lines of a dropped value go with it.
    if (!readData(trimLeft(text.substr(pos + 1)), value, why)) return report_.skip(number, why);

    switch (section_) {
      case Section::BeforeFirstKey:
        return report_.skip(number, "value before the first key");
      case Section::Key:
        if (value.remove) {
          store_.DeleteValue(hive_, path_, name);
        } else if (!store_.SetValue(hive_, path_, name, value.type, std::move(value.bytes))) {
          report_.skip(number, "value name beyond the registry's limits");
        }
        return;
      case Section::Ignored:
      case Section::Broken:
        return;
    }
  }

  // A quoted string and nothing after it: the text with its terminating zero.
  bool quotedString(View data, ValueData& value, std::string& why) {
    std::u16string text;
    const auto end = readQuoted_(data, 1, text);
    if (!end) {
      why = "string without its closing quote";
      return false;
    }
    if (!trim(data.substr(*end)).empty()) {
      why = "text after the closing quote";
      return false;
    }
    value.bytes = Utf16LeBytes(text);
    value.bytes.insert(value.bytes.end(), {0, 0});
    return true;
  }

  // The "dword:" and "hex[(type)]:" forms; nothing when `data` is neither, else whether it
  // was well formed.
  std::optional<bool> numericData(View data, ValueData& value, std::string& why) {
    if (startsWithNoCase(data, "dword:")) {
      const auto parsed = parseHexDword(trimRight(data.substr(6)));
      if (!parsed) {
        why = "malformed dword (1 to 8 hex digits)";
        return false;
      }
      value.type = REG_DWORD;
      value.bytes = {static_cast<BYTE>(*parsed), static_cast<BYTE>(*parsed >> 8),
                     static_cast<BYTE>(*parsed >> 16), static_cast<BYTE>(*parsed >> 24)};
      return true;
    }
    std::size_t start = 4;
    value.type = REG_BINARY;
    if (startsWithNoCase(data, "hex(")) {
      const auto prefix = typePrefix(data, 3);
      if (!prefix) {
        why = "malformed hex(type): prefix";
        return false;
      }
      value.type = prefix->first;
      start = prefix->second;
    } else if (!startsWithNoCase(data, "hex:")) {
      return std::nullopt;
    }
    auto bytes = parseHexList(data.substr(start), lines_, why);
    if (!bytes) return false;
    value.bytes = std::move(*bytes);
    return true;
  }

  Lines<Char> lines_;
  Report report_;
  RegistryStore& store_;
  Section section_ = Section::BeforeFirstKey;
  RegistryHive hive_ = RegistryHive::LocalMachine;
  std::vector<std::u16string> path_;

private:
  ReadQuoted readQuoted_;
};

// ---- Wine's system.reg and user.reg ----

// Wine's one-letter escapes.
constexpr std::pair<char, char16_t> kLetterEscapes[] = {{'a', 7},  {'b', 8},  {'e', 27}, {'f', 12},
                                                        {'n', 10}, {'r', 13}, {'t', 9},  {'v', 11}};

// Wine's escaped text from `pos` to the unescaped `end` character; returns the position after
// it, nothing when the line ends first. Unescaped bytes are UTF-8, or Latin-1 where they are
// not well-formed UTF-8.
std::optional<std::size_t> readWineText(std::string_view line, std::size_t pos, char end,
                                        std::u16string& out) {
  const auto takeCharacter = [&] {
    if (static_cast<unsigned char>(line[pos]) < 0x80) {
      out += static_cast<char16_t>(line[pos++]);
    } else if (const auto decoded = decodeUtf8(line, pos)) {
      appendCodePoint(out, decoded->first);
      pos += decoded->second;
    } else {
      out += static_cast<char16_t>(static_cast<unsigned char>(line[pos++]));
    }
  };
  const auto takeNumber = [&](int base, int maxDigits) {
    unsigned value = 0;
    int digits = 0;
    for (; digits < maxDigits && pos < line.size(); ++digits) {
      const int digit = hexDigit(line[pos]);
      if (digit < 0 || digit >= base) break;
      value = value * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
      ++pos;
    }
    return std::pair<unsigned, int>{value, digits};
  };
  while (pos < line.size()) {
    const char c = line[pos];
    if (c == end) return pos + 1;
    if (c != '\\') {
      takeCharacter();
      continue;
    }
    if (++pos >= line.size()) return std::nullopt;
    const char escaped = line[pos];
    const auto letter = std::find_if(std::begin(kLetterEscapes), std::end(kLetterEscapes),
                                     [&](const auto& entry) { return entry.first == escaped; });
    if (letter != std::end(kLetterEscapes)) {
      out += letter->second;
      ++pos;
    } else if (escaped == 'x') {
      // Up to four hex digits make one UTF-16 unit; "\x" without any stands for 'x'.
      ++pos;
      const auto [value, digits] = takeNumber(16, 4);
      out += digits == 0 ? u'x' : static_cast<char16_t>(value);
    } else if (escaped >= '0' && escaped <= '7') {
      out += static_cast<char16_t>(takeNumber(8, 3).first);
    } else {
      // Any other escaped character stands for itself: \\, \", \[, \].
      takeCharacter();
    }
  }
  return std::nullopt;
}

std::optional<std::size_t> readWineString(std::string_view line, std::size_t pos, std::u16string& out) {
  return readWineText(line, pos, '"', out);
}

class WineReader : ReaderBase<char> {
public:
  WineReader(std::string_view bytes, const std::string& fileName, RegistryHive hive, RegistryStore& store,
             WineArch& arch, RegistryLoadResult& result)
      : ReaderBase(bytes, fileName, store, result, readWineString), fileHive_(hive), arch_(arch) {}

  bool read() {
    std::string_view line;
    if (!lines_.next(line) || trim(line) != "WINE REGISTRY Version 2") {
      return report_.refuse("not a Wine registry file (the first line is not \"WINE REGISTRY Version 2\")");
    }
    while (lines_.next(line)) {
      const auto text = trimLeft(line);
      if (text.empty() || text.front() == ';') continue;
      if (text.front() == '#') {
        if (!option(text)) return false;
      } else if (text.front() == '[') {
        key(text);
      } else if (text.front() == '"' || text.front() == '@') {
        valueLine(text, [this](std::string_view data, ValueData& value, std::string& why) {
          return this->data(data, value, why);
        });
      } else {
        report_.skip(lines_.number(), "unrecognised line");
      }
    }
    return true;
  }

private:
  bool option(std::string_view text) {
    if (startsWithNoCase(text, "#arch=")) {
      const auto name = trim(text.substr(6));
      if (name == "win32") {
        arch_ = WineArch::Win32;
      } else if (name == "win64") {
        arch_ = WineArch::Win64;
      } else {
        return report_.refuse("line " + std::to_string(lines_.number()) + ": unknown architecture \"" +
                              std::string(name) + "\" (expected win32 or win64)");
      }
    } else if (trimRight(text) == "#link" && section_ == Section::Key) {
      // A symbolic link (Software\Wow6432Node\Classes, CurrentControlSet): the store answers
      // the one link the system reads through its own path rule and keeps no other.
      if (!keyExisted_) store_.DeleteKey(hive_, path_);
      section_ = Section::Ignored;
    }
    // #time, #class and unknown options carry nothing the store keeps.
    return true;
  }

  // "[path] timestamp"; the path is relative to the file's hive.
  void key(std::string_view text) {
    std::u16string name;
    const auto end = readWineText(text, 1, ']', name);
    if (!end) return skipKey("key line without its closing ']'");
    auto path = splitPath(name);
    if (!path || path->empty()) return skipKey("malformed key path");
    keyExisted_ = store_.Find(fileHive_, *path) != nullptr;
    enterKey(fileHive_, std::move(*path));
  }

  bool data(std::string_view data, ValueData& value, std::string& why) {
    if (startsWithNoCase(data, "str(")) {
      const auto prefix = typePrefix(data, 3);
      if (!prefix || prefix->second >= data.size() || data[prefix->second] != '"') {
        why = "malformed str(type): prefix";
        return false;
      }
      value.type = prefix->first;
      data.remove_prefix(prefix->second);
    }
    if (!data.empty() && data.front() == '"') return quotedString(data, value, why);
    // Wine's hex data of string types is already the registry's own UTF-16LE.
    if (const auto numeric = numericData(data, value, why)) return *numeric;
    why = "unknown value data";
    return false;
  }

  RegistryHive fileHive_;
  WineArch& arch_;
  bool keyExisted_ = false;
};

// ---- regedit's export files ----

enum class RegVersion { Regedit4, Version5 };

constexpr std::u16string_view kVersion5Header = u"Windows Registry Editor Version 5.00";
constexpr std::u16string_view kVersion4Header = u"REGEDIT4";

// regedit's quoted text from just after the opening quote: only \\ and \" are escapes, any
// other backslash stands for itself. Returns the position after the closing quote.
std::optional<std::size_t> readRegString(std::u16string_view line, std::size_t pos, std::u16string& out) {
  while (pos < line.size()) {
    const char16_t c = line[pos];
    if (c == u'"') return pos + 1;
    if (c == u'\\' && pos + 1 < line.size() && (line[pos + 1] == u'\\' || line[pos + 1] == u'"')) {
      out += line[pos + 1];
      pos += 2;
      continue;
    }
    out += c;
    ++pos;
  }
  return std::nullopt;
}

class RegReader : ReaderBase<char16_t> {
public:
  RegReader(std::u16string_view text, RegVersion version, const std::string& fileName, RegistryStore& store,
            RegistryLoadResult& result)
      : ReaderBase(text, fileName, store, result, readRegString), version_(version) {}

  void read() {
    std::u16string_view line;
    lines_.next(line);  // the header, checked by the caller
    while (lines_.next(line)) {
      const auto text = trimLeft(line);
      if (text.empty() || text.front() == u';') continue;
      if (text.front() == u'[') {
        key(trimRight(text));
      } else if (text.front() == u'"' || text.front() == u'@') {
        valueLine(text, [this](std::u16string_view data, ValueData& value, std::string& why) {
          return this->data(data, value, why);
        });
      } else {
        report_.skip(lines_.number(), "unrecognised line");
      }
    }
  }

private:
  // "[ROOT\path]" makes the key, "[-ROOT\path]" deletes it with everything below.
  void key(std::u16string_view text) {
    if (text.size() < 2 || text.back() != u']') return skipKey("key line without its closing ']'");
    auto inner = text.substr(1, text.size() - 2);
    const bool remove = !inner.empty() && inner.front() == u'-';
    if (remove) inner.remove_prefix(1);
    auto path = splitPath(inner);
    if (!path || path->empty()) return skipKey("malformed key path");
    const std::u16string root = std::move(path->front());
    path->erase(path->begin());
    RegistryHive hive = RegistryHive::LocalMachine;
    if (equalsNoCase<char16_t>(root, "HKEY_LOCAL_MACHINE") || equalsNoCase<char16_t>(root, "HKLM")) {
      hive = RegistryHive::LocalMachine;
    } else if (equalsNoCase<char16_t>(root, "HKEY_CURRENT_USER") || equalsNoCase<char16_t>(root, "HKCU")) {
      hive = RegistryHive::CurrentUser;
    } else if (equalsNoCase<char16_t>(root, "HKEY_CLASSES_ROOT") || equalsNoCase<char16_t>(root, "HKCR")) {
      path->insert(path->begin(), {u"Software", u"Classes"});
    } else if (equalsNoCase<char16_t>(root, "HKEY_USERS") ||
               equalsNoCase<char16_t>(root, "HKEY_CURRENT_CONFIG")) {
      // Hives the system never reads; their keys are dropped quietly.
      section_ = Section::Ignored;
      return;
    } else {
      return skipKey("unknown root key \"" + Utf16ToUtf8(root) + "\"");
    }
    if (remove) {
      store_.DeleteKey(hive, *path);
      section_ = Section::Ignored;
      return;
    }
    enterKey(hive, std::move(*path));
  }

  bool data(std::u16string_view data, ValueData& value, std::string& why) {
    if (trimRight(data) == u"-") {
      value.remove = true;
      return true;
    }
    if (!data.empty() && data.front() == u'"') return quotedString(data, value, why);
    const auto numeric = numericData(data, value, why);
    if (!numeric) {
      why = "unknown value data";
      return false;
    }
    // REGEDIT4 writes the bytes of string types in the ANSI code page; the store holds UTF-16.
    if (*numeric && version_ == RegVersion::Regedit4 && isStringType(value.type)) {
      const std::string ansi(value.bytes.begin(), value.bytes.end());
      value.bytes = Utf16LeBytes(Utf8ToUtf16(AnsiToUtf8(ansi)));
    }
    return *numeric;
  }

  RegVersion version_;
};

bool startsWithBytes(std::string_view bytes, std::string_view prefix) {
  return bytes.substr(0, prefix.size()) == prefix;
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    if (const auto decoded = decodeUtf8(utf8, pos)) {
      appendCodePoint(out, decoded->first);
      pos += decoded->second;
    } else {
      out += kReplacement;
      ++pos;
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    char32_t cp = utf16[i];
    if (isHighSurrogate(cp) && i + 1 < utf16.size() && isLowSurrogate(utf16[i + 1])) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
      ++i;
    } else if (isHighSurrogate(cp) || isLowSurrogate(cp)) {
      cp = kReplacement;
    }
    AppendUtf8(cp, out);
  }
  return out;
}

std::vector<BYTE> Utf16LeBytes(std::u16string_view text) {
  std::vector<BYTE> bytes;
  bytes.reserve(text.size() * 2);
  for (char16_t unit : text) {
    bytes.push_back(static_cast<BYTE>(unit & 0xFF));
    bytes.push_back(static_cast<BYTE>(unit >> 8));
  }
  return bytes;
}

std::u16string Utf16FromLeBytes(std::span<const BYTE> bytes) {
  std::u16string text;
  text.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    text += static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
  }
  return text;
}

bool ReadWineRegistryFile(std::string_view bytes, const std::string& fileName, RegistryHive hive,
                          RegistryStore& store, WineArch& arch, RegistryLoadResult& result) {
  return WineReader(bytes, fileName, hive, store, arch, result).read();
}

bool ReadRegExportFile(std::string_view bytes, const std::string& fileName, RegistryStore& store,
                       RegistryLoadResult& result) {
  Report report(fileName, result);
  std::u16string text;
  if (startsWithBytes(bytes, "\xFF\xFE")) {
    bytes.remove_prefix(2);
    // Lone surrogates are kept: Windows stores such names and data as they are.
    text = Utf16FromLeBytes({reinterpret_cast<const BYTE*>(bytes.data()), bytes.size()});
    if (bytes.size() % 2 != 0) {
      report.note("the file ends in the middle of a UTF-16 character; last byte ignored");
    }
  } else if (startsWithBytes(bytes, "\xFE\xFF")) {
    return report.refuse("UTF-16 big-endian text; registry export files are UTF-16LE, UTF-8 or ANSI");
  } else if (startsWithBytes(bytes, "\xEF\xBB\xBF")) {
    text = Utf8ToUtf16(bytes.substr(3));
  } else if (startsWithBytes(bytes, "REGEDIT4")) {
    text = Utf8ToUtf16(AnsiToUtf8(bytes));
  } else {
    text = Utf8ToUtf16(bytes);
  }

  const std::size_t lineEnd = text.find(u'\n');
  const auto header = trim(std::u16string_view(text).substr(0, lineEnd));
  RegVersion version;
  if (header == kVersion5Header) {
    version = RegVersion::Version5;
  } else if (header == kVersion4Header) {
    version = RegVersion::Regedit4;
  } else {
    return report.refuse(
        "not a registry export file (the first line is neither \"Windows Registry Editor Version 5.00\" nor "
        "\"REGEDIT4\")");
  }
  RegReader(text, version, fileName, store, result).read();
  return true;
}

}  // namespace win::regfile
