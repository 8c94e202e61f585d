#include <pelagon/platform/code_page.h>

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <charconv>
#include <cstdlib>
#include <memory>

namespace win {

namespace {

constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";

// One iconv conversion descriptor, closed with its owner.
class Iconv {
public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Iconv() {
    if (valid()) iconv_close(cd_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

private:
  iconv_t cd_;
};

std::string iconvName(std::uint32_t codePage) {
  switch (codePage) {
    case 20127:
      return "ASCII";
    case 28591:
      return "ISO-8859-1";
    case 28592:
      return "ISO-8859-2";
    case 28595:
      return "ISO-8859-5";
    case 28597:
      return "ISO-8859-7";
    case 28599:
      return "ISO-8859-9";
    case 28605:
      return "ISO-8859-15";
    case 20932:
      return "EUC-JP";
    case 51949:
      return "EUC-KR";
    case 54936:
      return "GB18030";
    default:
      return "CP" + std::to_string(codePage);
  }
}

// Narrow ASCII text is passed through unconverted, so only code pages that hold ASCII at
// its own values qualify (as every Windows ANSI code page does; EBCDIC ones do not).
bool keepsAscii(const Iconv& toUtf8) {
  char ascii[95];
  for (int i = 0; i < 95; ++i) ascii[i] = static_cast<char>(0x20 + i);
  char out[4 * sizeof ascii];
  char* in = ascii;
  std::size_t inLeft = sizeof ascii;
  char* outPtr = out;
  std::size_t outLeft = sizeof out;
  iconv(toUtf8.get(), nullptr, nullptr, nullptr, nullptr);
  if (iconv(toUtf8.get(), &in, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) return false;
  return std::string_view(out, static_cast<std::size_t>(outPtr - out)) ==
         std::string_view(ascii, sizeof ascii);
}

struct CodePageState {
  std::uint32_t codePage = CP_UTF8;
  // Both directions for a code page other than UTF-8; UTF-8 needs no converter.
  std::unique_ptr<Iconv> toUtf8;
  std::unique_ptr<Iconv> fromUtf8;

  bool select(std::uint32_t page) {
    if (page == CP_UTF8) {
      toUtf8.reset();
      fromUtf8.reset();
      codePage = page;
      return true;
    }
    const std::string name = iconvName(page);
    auto to = std::make_unique<Iconv>("UTF-8", name.c_str());
    auto from = std::make_unique<Iconv>(name.c_str(), "UTF-8");
    if (!to->valid() || !from->valid() || !keepsAscii(*to)) return false;
    toUtf8 = std::move(to);
    fromUtf8 = std::move(from);
    codePage = page;
    return true;
  }
};

CodePageState& state() {
  static CodePageState instance;
  static const bool fromEnvironment = [] {
    if (const char* env = std::getenv("PELAGON_ACP")) {
      std::uint32_t page = 0;
      const std::string_view text(env);
      auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), page);
      if (ec == std::errc() && end == text.data() + text.size()) instance.select(page);
    }
    return true;
  }();
  (void)fromEnvironment;
  return instance;
}

bool isAscii(std::string_view text) {
  // Eight bytes at a time: every text a device file holds passes through here.
  std::size_t i = 0;
  for (; i + 8 <= text.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + i, sizeof word);
    if ((word & 0x8080808080808080ULL) != 0) return false;
  }
  for (; i < text.size(); ++i) {
    if (static_cast<unsigned char>(text[i]) >= 0x80) return false;
  }
  return true;
}

// Length of the well-formed UTF-8 sequence at the start of text, or 0 when it is malformed.
std::size_t utf8SequenceLength(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // bounds of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  if (byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return length;
}

// Copies well-formed UTF-8 and puts `replacement` for each malformed byte.
std::string sanitizeUtf8(std::string_view text, std::string_view replacement) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    const std::size_t length = utf8SequenceLength(text);
    if (length == 0) {
      out += replacement;
      text.remove_prefix(1);
    } else {
      out.append(text.substr(0, length));
      text.remove_prefix(length);
    }
  }
  return out;
}

// Runs one iconv conversion over the whole input. At an input sequence the target cannot
// hold, `onInvalid` appends a stand-in and returns how many input bytes to skip.
template <typename OnInvalid>
std::string convert(const Iconv& converter, std::string_view input, OnInvalid onInvalid) {
  iconv(converter.get(), nullptr, nullptr, nullptr, nullptr);
  std::string out;
  out.reserve(input.size() * 2 + 8);
  char buffer[1024];
  // iconv's interface takes a non-const input pointer but never writes through it.
  char* in = const_cast<char*>(input.data());
  std::size_t inLeft = input.size();
  while (inLeft > 0) {
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    const std::size_t rc = iconv(converter.get(), &in, &inLeft, &outPtr, &outLeft);
    out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
    if (rc != static_cast<std::size_t>(-1) || errno == E2BIG) continue;
    // EILSEQ or EINVAL (an incomplete sequence at the end): replace and go on.
    const std::size_t skip = std::min(inLeft, onInvalid(std::string_view(in, inLeft), out));
    in += skip;
    inLeft -= skip;
  }
  char* outPtr = buffer;
  std::size_t outLeft = sizeof buffer;
  iconv(converter.get(), nullptr, nullptr, &outPtr, &outLeft);
  out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
  return out;
}

}  // namespace

std::uint32_t GetACP() { return state().codePage; }

bool SetACP(std::uint32_t codePage) { return state().select(codePage); }

std::string AnsiToUtf8(std::string_view ansi) {
  if (isAscii(ansi)) return std::string(ansi);
  auto& s = state();
  if (!s.toUtf8) return sanitizeUtf8(ansi, kReplacementUtf8);
  return convert(*s.toUtf8, ansi, [](std::string_view, std::string& out) -> std::size_t {
    out += kReplacementUtf8;
    return 1;
  });
}

std::string Utf8ToAnsi(std::string_view utf8) {
  if (isAscii(utf8)) return std::string(utf8);
  auto& s = state();
  if (!s.fromUtf8) return sanitizeUtf8(utf8, "?");
  return convert(*s.fromUtf8, utf8, [](std::string_view rest, std::string& out) -> std::size_t {
    out += '?';
    const std::size_t length = utf8SequenceLength(rest);
    return length == 0 ? 1 : length;
  });
}

}  // namespace win
