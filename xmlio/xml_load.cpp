#include <pelagon/xmlio/xml_load.h>

#include <iconv.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include <pelagon/platform/linux/utf8.h>
#include <pelagon/xmlio/xml_chars.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace pelagon::xml::detail {

namespace {

constexpr std::string_view kXmlNamespace = "http://www.w3.org/XML/1998/namespace";
constexpr std::string_view kXmlnsNamespace = "http://www.w3.org/2000/xmlns/";

constexpr bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
constexpr bool isAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
constexpr bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Encoding names compare without regard to case, '-' or '_' ("utf8", "UTF-8", "Utf_8").
std::string encodingKey(std::string_view name) {
  std::string key;
  for (char c : name) {
    if (c == '-' || c == '_') continue;
    key += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  }
  return key;
}

bool isUtf8Name(std::string_view name) { return encodingKey(name) == "UTF8"; }

bool isUtf16Name(std::string_view name) {
  const std::string key = encodingKey(name);
  return key == "UTF16" || key == "UTF16LE" || key == "UTF16BE" || key == "ISO10646UCS2" || key == "UCS2";
}

// Encodings whose characters are not single bytes for ASCII; a document declared in one of
// them but written in ASCII-compatible bytes is not in the encoding it declares.
bool isWideName(std::string_view name) {
  const std::string key = encodingKey(name);
  return isUtf16Name(name) || key.rfind("UTF32", 0) == 0 || key.rfind("UCS4", 0) == 0 ||
         key == "ISO10646UCS4";
}

struct Declaration {
  bool present = false;
  std::string_view encoding;
  std::size_t end = 0;  // just past "?>"
};

// XMLDecl ::= '<?xml' VersionInfo EncodingDecl? SDDecl? S? '?>'. The declaration is ASCII,
// so this reads it from any ASCII-compatible bytes as well as from UTF-8.
LoadProblem readDeclaration(std::string_view text, Declaration& declaration) {
  if (text.substr(0, 5) != "<?xml" || (text.size() > 5 && !isSpace(text[5]) && text[5] != '?')) return {};
  declaration.present = true;
  std::size_t pos = 5;
  const auto fail = [&](const char* what) { return LoadProblem{std::string("XML declaration: ") + what, pos}; };
  const auto skipSpace = [&] {
    const std::size_t start = pos;
    while (pos < text.size() && isSpace(text[pos])) ++pos;
    return pos > start;
  };
  // Name Eq quoted-value; the value's characters are checked by the caller.
  const auto readPseudoAttribute = [&](std::string_view& name, std::string_view& value) -> bool {
    const std::size_t start = pos;
    while (pos < text.size() && isAsciiLetter(text[pos])) ++pos;
    name = text.substr(start, pos - start);
    skipSpace();
    if (pos >= text.size() || text[pos] != '=') return false;
    ++pos;
    skipSpace();
    if (pos >= text.size() || (text[pos] != '"' && text[pos] != '\'')) return false;
    const char quote = text[pos++];
    const std::size_t close = text.find(quote, pos);
    if (close == std::string_view::npos) return false;
    value = text.substr(pos, close - pos);
    pos = close + 1;
    return true;
  };

  int stage = 0;  // 0: version next, 1: encoding or standalone, 2: standalone, 3: nothing more
  for (;;) {
    const bool spaced = skipSpace();
    if (text.substr(pos, 2) == "?>") {
      if (stage == 0) return fail("the version is missing");
      declaration.end = pos + 2;
      return {};
    }
    if (pos >= text.size()) return fail("it does not end with \"?>\"");
    if (!spaced) return fail("white space is missing");
    const std::size_t at = pos;
    std::string_view name, value;
    if (!readPseudoAttribute(name, value)) return fail("expected name=\"value\"");
    const std::size_t next = pos;
    pos = at;
    if (name == "version" && stage == 0) {
      const bool valid = value.size() > 2 && value.substr(0, 2) == "1." &&
                         std::all_of(value.begin() + 2, value.end(), isDigit);
      if (!valid) return fail("the version must be 1.0");
      stage = 1;
    } else if (name == "encoding" && stage == 1) {
      const bool valid = !value.empty() && isAsciiLetter(value.front()) &&
                         std::all_of(value.begin(), value.end(), [](char c) {
                           return isAsciiLetter(c) || isDigit(c) || c == '.' || c == '_' || c == '-';
                         });
      if (!valid) return fail("the encoding name is not valid");
      declaration.encoding = value;
      stage = 2;
    } else if (name == "standalone" && (stage == 1 || stage == 2)) {
      if (value != "yes" && value != "no") return fail("standalone must be \"yes\" or \"no\"");
      stage = 3;
    } else {
      return fail(stage == 0 ? "the version must come first" : "unexpected or misplaced pseudo-attribute");
    }
    pos = next;
  }
}

struct IconvCloser {
  void operator()(void* cd) const { ::iconv_close(static_cast<iconv_t>(cd)); }
};

// Transcodes with iconv; `failedAt` gets the input offset of an invalid or cut-off sequence.
bool transcode(std::string_view from, const std::string& encoding, std::string& out, std::size_t& failedAt,
               bool& unknownEncoding) {
  const iconv_t cd = ::iconv_open("UTF-8", encoding.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    unknownEncoding = true;
    return false;
  }
  const std::unique_ptr<void, IconvCloser> guard(cd);
  out.resize(from.size() + from.size() / 2 + 16);
  char* in = const_cast<char*>(from.data());  // iconv's interface is not const-correct
  std::size_t inLeft = from.size();
  std::size_t written = 0;
  while (inLeft > 0) {
    char* outPtr = out.data() + written;
    std::size_t outLeft = out.size() - written;
    const std::size_t result = ::iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    written = out.size() - outLeft;
    if (result != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) {
      out.resize(out.size() * 2);
      continue;
    }
    failedAt = from.size() - inLeft;
    return false;
  }
  out.resize(written);
  return true;
}

}  // namespace

std::string LineAndColumn(std::string_view utf8, std::size_t offset) {
  offset = std::min(offset, utf8.size());
  std::size_t start = utf8.substr(0, 3) == "\xEF\xBB\xBF" && offset >= 3 ? 3 : 0;
  std::size_t line = 1;
  for (std::size_t i = start; i < offset; ++i) {
    if (utf8[i] == '\n') {
      ++line;
      start = i + 1;
    }
  }
  std::size_t column = 1;
  for (std::size_t i = start; i < offset; ++i) {
    if ((static_cast<unsigned char>(utf8[i]) & 0xC0) != 0x80) ++column;
  }
  return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

LoadProblem DecodeDocument(std::string_view bytes, Utf8Text& text) {
  const auto startsWith = [&](std::string_view prefix) { return bytes.substr(0, prefix.size()) == prefix; };
  const char* wide = nullptr;  // the UTF-16 byte order, when the bytes are UTF-16
  std::size_t bom = 0;
  if (startsWith("\xEF\xBB\xBF")) {
    bom = 3;
  } else if (startsWith("\xFE\xFF")) {
    wide = "UTF-16BE", bom = 2;
  } else if (startsWith("\xFF\xFE")) {
    wide = "UTF-16LE", bom = 2;
  } else if (startsWith(std::string_view("\0<\0?", 4))) {
    wide = "UTF-16BE";
  } else if (startsWith(std::string_view("<\0?\0", 4))) {
    wide = "UTF-16LE";
  }

  Declaration declaration;
  if (wide != nullptr) {
    std::size_t failedAt = 0;
    bool unknown = false;
    if (!transcode(bytes.substr(bom), wide, text.utf8, failedAt, unknown)) {
      return {"a byte sequence that is not valid UTF-16", 0};
    }
    text.transcoded = true;
    if (LoadProblem problem = readDeclaration(text.utf8, declaration)) return problem;
    if (bom == 0 && !declaration.present) {
      return {"a document in UTF-16 without a byte-order mark needs a declaration", 0};
    }
    if (!declaration.encoding.empty() && !isUtf16Name(declaration.encoding)) {
      return {"the document is in UTF-16 but declares the encoding '" + std::string(declaration.encoding) + "'", 0};
    }
    return {};
  }

  const std::string_view body = bytes.substr(bom);
  if (LoadProblem problem = readDeclaration(body, declaration)) {
    problem.offset += bom;
    return problem;
  }
  const std::string_view encoding = declaration.encoding;
  if (encoding.empty() || isUtf8Name(encoding)) return {};
  if (bom != 0 || isWideName(encoding)) {
    return {"the document is not in the encoding it declares ('" + std::string(encoding) + "')", 0};
  }

  std::size_t failedAt = 0;
  bool unknown = false;
  if (!transcode(body, std::string(encoding), text.utf8, failedAt, unknown)) {
    if (unknown) return {"unknown encoding '" + std::string(encoding) + "'", 0};
    return {"a byte sequence that is not valid " + std::string(encoding) + " at byte " + std::to_string(failedAt),
            std::string_view::npos};
  }
  text.transcoded = true;
  // Only an encoding that keeps ASCII as it is can carry the declaration it is named in.
  if (std::string_view(text.utf8).substr(0, declaration.end) != body.substr(0, declaration.end)) {
    return {"the document is not in the encoding it declares ('" + std::string(encoding) + "')", 0};
  }
  return {};
}

namespace {

// Byte classes for the scanner's inner loops.
enum : std::uint8_t {
  kNameStart = 1,  // ASCII NameStartChar
  kName = 2,       // ASCII NameChar
  kSpace = 4,      // S
  kPlainText = 8,  // a text byte with no meaning of its own: a Char, not '<', '&', ']'
  kPlainValue = 16,  // the same in an attribute value (']' and quotes allowed)
  kAsciiChar = 32,  // an ASCII character XML allows
};

constexpr std::array<std::uint8_t, 256> kClasses = [] {
  std::array<std::uint8_t, 256> table{};
  for (int c = 0; c < 256; ++c) {
    std::uint8_t bits = 0;
    const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (letter || c == '_' || c == ':') bits |= kNameStart | kName;
    if ((c >= '0' && c <= '9') || c == '-' || c == '.') bits |= kName;
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') bits |= kSpace;
    const bool ascii = c == '\t' || c == '\n' || c == '\r' || (c >= 0x20 && c < 0x80);
    if (ascii) bits |= kAsciiChar;
    if (ascii && c != '<' && c != '&' && c != ']') bits |= kPlainText;
    if (ascii && c != '<' && c != '&') bits |= kPlainValue;
    table[static_cast<std::size_t>(c)] = bits;
  }
  return table;
}();

// The two runs the scan spends nearly all its time in: the ASCII characters of a name, and
// text with no meaning of its own. Where SSE2 is there they are found sixteen bytes at a time;
// the byte loops finish the last bytes and serve the other targets.
#if defined(__SSE2__)
inline __m128i load16(const unsigned char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline __m128i splat(int c) { return _mm_set1_epi8(static_cast<char>(c)); }
// Bytes in [low, low + count): a signed comparison once the range is moved to the bottom.
inline __m128i inRange(__m128i v, int low, int count) {
  return _mm_cmplt_epi8(_mm_add_epi8(v, splat(0x80 - low)), splat(0x80 + count));
}
// ASCII characters that may start a name (letters and '_'), and those that may continue one
// ('-', '.' and the digits as well); ':' is in neither, as it matters to namespaces.
inline __m128i asciiNameStart(__m128i v) {
  return _mm_or_si128(inRange(_mm_or_si128(v, splat(0x20)), 'a', 26), _mm_cmpeq_epi8(v, splat('_')));
}
inline __m128i asciiName(__m128i v, __m128i start) {
  return _mm_or_si128(start, _mm_andnot_si128(_mm_cmpeq_epi8(v, splat('/')), inRange(v, '-', '9' - '-' + 1)));
}
#endif

// How many bytes from `p` are ASCII name characters other than ':' (which matters to
// namespaces, so the caller looks at it).
inline std::size_t asciiNameRun(const unsigned char* p, const unsigned char* end) {
  const unsigned char* q = p;
#if defined(__SSE2__)
  while (end - q >= 16) {
    const __m128i v = load16(q);
    const __m128i name = asciiName(v, asciiNameStart(v));
    const int run = std::countr_zero(~static_cast<unsigned>(_mm_movemask_epi8(name)));  // 16 when all are
    q += run;
    if (run < 16) return static_cast<std::size_t>(q - p);
  }
#endif
  while (q < end && (kClasses[*q] & kName) != 0 && *q != ':') ++q;
  return static_cast<std::size_t>(q - p);
}

// How many bytes from `p` are plain text: ASCII characters other than '<', '&' and ']'.
inline std::size_t plainTextRun(const unsigned char* p, const unsigned char* end) {
  const unsigned char* q = p;
#if defined(__SSE2__)
  while (end - q >= 16) {
    const __m128i v = load16(q);
    // Signed, so below 0x20 takes in every byte from 0x80 on as well; tab, line feed and
    // carriage return are stepped over one at a time (they only fill the space between tags).
    const __m128i markup = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, splat('<')), _mm_cmpeq_epi8(v, splat('&'))),
                                        _mm_cmpeq_epi8(v, splat(']')));
    const auto stops = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(_mm_cmplt_epi8(v, splat(0x20)), markup)));
    if (stops == 0) {
      q += 16;
      continue;
    }
    q += std::countr_zero(stops);
    if (*q != '\t' && *q != '\n' && *q != '\r') return static_cast<std::size_t>(q - p);
    ++q;
  }
#endif
  while (q < end && (kClasses[*q] & kPlainText) != 0) ++q;
  return static_cast<std::size_t>(q - p);
}

// Whether the `size` bytes at `a` and at `b` are the same; both must lie in [.., end).
inline bool sameBytes(const unsigned char* a, const unsigned char* b, std::size_t size, const unsigned char* end) {
#if defined(__SSE2__)
  if (size <= 16 && end - a >= 16 && end - b >= 16) {
    const auto equal = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(load16(a), load16(b))));
    return (~equal & ((1u << size) - 1)) == 0;
  }
#else
  static_cast<void>(end);
#endif
  return std::memcmp(a, b, size) == 0;
}

#if defined(__SSE2__)
// std::popcount is a library call where the instruction is not sure to be there.
inline int bitCount(std::uint64_t x) {
#if defined(__POPCNT__)
  return std::popcount(x);
#else
  x -= (x >> 1) & 0x5555555555555555;
  x = (x & 0x3333333333333333) + ((x >> 2) & 0x3333333333333333);
  x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0F;
  return static_cast<int>((x * 0x0101010101010101) >> 56);
#endif
}

// Sixty-four bytes of element content in the simplest form a device file has: bare start
// and end tags with ASCII names and no colon, between text of plain ASCII characters. From
// `p`, which is outside any tag, it returns how many bytes are such content and end outside
// a tag (0 when the first tag or character is anything else), and how many start and end
// tags they hold. Whether each end tag names the element it closes is not looked at.
struct SimpleRun {
  std::size_t bytes = 0;
  int starts = 0;
  int ends = 0;
};

inline SimpleRun simpleRun(const unsigned char* p) {
  std::uint64_t lt = 0, gt = 0, slash = 0, name = 0, nameStart = 0, other = 0;
#if defined(__GNUC__)
#pragma GCC unroll 4
#endif
  for (int k = 0; k < 4; ++k) {
    const __m128i v = load16(p + 16 * k);
    const __m128i start = asciiNameStart(v);
    const __m128i markup = _mm_or_si128(_mm_cmpeq_epi8(v, splat('&')), _mm_cmpeq_epi8(v, splat(']')));
    const auto bits = [k](__m128i m) {
      return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(m))) << (16 * k);
    };
    lt |= bits(_mm_cmpeq_epi8(v, splat('<')));
    gt |= bits(_mm_cmpeq_epi8(v, splat('>')));
    slash |= bits(_mm_cmpeq_epi8(v, splat('/')));
    nameStart |= bits(start);
    name |= bits(asciiName(v, start));
    // Signed, so below 0x20 takes in every byte from 0x80 on as well. Tab, line feed and
    // carriage return are told apart only where such bytes are there at all.
    const __m128i low = _mm_cmplt_epi8(v, splat(0x20));
    if (_mm_movemask_epi8(low) != 0) {
      const __m128i space = _mm_or_si128(
          _mm_or_si128(_mm_cmpeq_epi8(v, splat('\t')), _mm_cmpeq_epi8(v, splat('\n'))), _mm_cmpeq_epi8(v, splat('\r')));
      other |= bits(_mm_andnot_si128(space, low));
    }
    other |= bits(markup);
  }
  // Inside a tag: from its '<' up to its '>', found by a running parity of both, which
  // holds only while they alternate; a '>' in text breaks that and is left to the byte steps.
  std::uint64_t inside = lt | gt;
  for (int shift = 1; shift < 64; shift *= 2) inside ^= inside << shift;
  const std::uint64_t before = inside << 1;  // inside at the byte before
  const std::uint64_t afterLt = lt << 1;
  const std::uint64_t endSlash = afterLt & slash;
  const std::uint64_t afterSlash = endSlash << 1;
  std::uint64_t wrong = (lt & before) | (gt & ~before) | other;
  wrong |= afterLt & ~inside;                       // "<>"
  wrong |= afterLt & ~slash & ~nameStart;           // a start tag's name
  wrong |= afterSlash & (~inside | ~nameStart);     // an end tag's name
  wrong |= inside & ~lt & ~endSlash & ~name;        // the rest of a name, up to '>'
  // The carry of `afterLt` and `afterSlash` past the last byte is looked at by stopping
  // before the last tag, which also keeps a tag that runs past the block out.
  std::size_t bytes = wrong != 0 ? static_cast<std::size_t>(std::countr_zero(wrong)) : 64;
  const auto below = [](std::size_t n) { return n >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << n) - 1; };
  if (bytes > 0 && ((inside >> (bytes - 1)) & 1) != 0) {
    // Back to the '<' of the tag it stopped in.
    const std::uint64_t opened = lt & below(bytes);
    bytes = opened != 0 ? static_cast<std::size_t>(63 - std::countl_zero(opened)) : 0;
  }
  const std::uint64_t kept = below(bytes);
  const int tags = bitCount(lt & kept);
  const int ends = bitCount(endSlash & kept);
  return {bytes, tags - ends, ends};
}
#endif

// Appends what a reference (the text between '&' and ';') stands for; false when XML does
// not define it. Without a document type declaration only the five predefined entities
// exist.
bool appendReference(std::string_view reference, std::string& out) {
  if (reference == "lt") return out += '<', true;
  if (reference == "gt") return out += '>', true;
  if (reference == "amp") return out += '&', true;
  if (reference == "apos") return out += '\'', true;
  if (reference == "quot") return out += '"', true;
  if (reference.size() < 2 || reference[0] != '#') return false;
  const bool hex = reference[1] == 'x';
  const std::string_view digits = reference.substr(hex ? 2 : 1);
  if (digits.empty()) return false;
  char32_t code = 0;
  for (char d : digits) {
    int value = -1;
    if (isDigit(d)) {
      value = d - '0';
    } else if (hex && d >= 'a' && d <= 'f') {
      value = d - 'a' + 10;
    } else if (hex && d >= 'A' && d <= 'F') {
      value = d - 'A' + 10;
    }
    if (value < 0) return false;
    code = code * (hex ? 16 : 10) + static_cast<char32_t>(value);
    if (code > 0x10FFFF) return false;
  }
  if (!isXmlChar(code)) return false;
  win::AppendUtf8(code, out);
  return true;
}

bool startsWithXmlns(std::string_view name) {
  return name.substr(0, 5) == "xmlns" && (name.size() == 5 || name[5] == ':');
}

// A QName: no colon, or one colon between two non-empty NCNames.
bool splitQName(std::string_view name, std::string_view& prefix, std::string_view& local) {
  const std::size_t colon = name.find(':');
  if (colon == std::string_view::npos) {
    prefix = {}, local = name;
    return true;
  }
  prefix = name.substr(0, colon), local = name.substr(colon + 1);
  if (prefix.empty() || local.empty() || local.find(':') != std::string_view::npos) return false;
  std::size_t pos = 0;
  return isNameStartChar(decodeUtf8(local, pos));
}

// One pass over the document's UTF-8 text that refuses whatever is not well-formed XML 1.0
// with namespaces: characters, names, references, comments, instructions, CDATA sections,
// the nesting of tags, attributes given twice, namespace prefixes. pugixml then builds the
// tree from text known to be good, so its own leniencies never show. Where the names of end
// tags are left to pugixml, which checks them as it builds, the scan keeps no names at all
// inside the root and can take the simplest content many bytes at a time.
class Scanner {
public:
  Scanner(std::string_view text, bool transcoded, EndTags endTags)
      : begin_(reinterpret_cast<const unsigned char*>(text.data())),
        end_(begin_ + text.size()),
        p_(begin_),
        transcoded_(transcoded),
        endTagsLeft_(endTags == EndTags::LeftToParser) {}

  // Whether the scan met what it cannot do without the names of the open elements (a
  // namespace inside the root), so that only a scan that checks end tags can tell.
  bool needsEndTags() const { return needsEndTags_; }

  LoadProblem run(ScanFacts& facts) {
    if (!transcoded_ && end_ - p_ >= 3 && p_[0] == 0xEF && p_[1] == 0xBB && p_[2] == 0xBF) p_ += 3;
    // The declaration's form was checked when the encoding was read from it.
    if (startsWith("<?xml") && (end_ - p_ == 5 || (kClasses[p_[5]] & kSpace) != 0 || p_[5] == '?')) {
      while (p_ < end_ && !startsWith("?>")) ++p_;
      p_ += 2;
    }
    while (ok_ && p_ < end_) {
      if (endTagsLeft_ && open_.size() == 1 && bindings_.empty()) {
        rootContent();
        if (needsEndTags_) return {};
        continue;
      }
      if (!open_.empty() && bindings_.empty()) {
        plainContent();
        if (p_ >= end_) break;
      }
      if (*p_ == '<') {
        markup();
      } else {
        text();
      }
    }
    if (ok_ && !open_.empty()) fail("the element '" + std::string(open_.back().name) + "' is not closed");
    if (ok_ && !rootSeen_) fail("no root element");
    facts = facts_;
    return std::move(problem_);
  }

private:
  struct Open {
    std::string_view name;
    std::size_t bindings = 0;  // how many bindings were in scope before it
  };
  struct Binding {
    std::string_view prefix;  // empty for the default namespace
    std::string uri;
  };
  struct Attribute {
    std::string_view name;
    std::string_view value;  // as written
    const unsigned char* at;
  };
  struct QualifiedName {
    std::string_view uri;
    std::string_view local;
    const unsigned char* at;
    bool operator<(const QualifiedName& other) const {
      return uri != other.uri ? uri < other.uri : local < other.local;
    }
  };

  bool startsWith(std::string_view prefix) const {
    return static_cast<std::size_t>(end_ - p_) >= prefix.size() && std::memcmp(p_, prefix.data(), prefix.size()) == 0;
  }

  void fail(std::string message, const unsigned char* at) {
    if (!ok_) return;
    ok_ = false;
    problem_.message = std::move(message);
    problem_.offset = static_cast<std::size_t>(std::min(at, end_) - begin_);
  }
  void fail(std::string message) { fail(std::move(message), p_); }

  // Steps over one character beyond ASCII, or a control character, refusing what is not
  // a Char.
  bool character() {
    const unsigned char* const at = p_;
    const char32_t c = decode();
    if (c == 0xFFFFFFFF) {
      fail("a byte sequence that is not valid UTF-8", at);
      return false;
    }
    if (!isXmlChar(c)) {
      char code[16];
      std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
      fail(std::string("the character ") + code + " is not allowed in XML", at);
      return false;
    }
    return true;
  }

  // Decodes the UTF-8 character at `p_` and steps over it (one byte when it is not valid).
  char32_t decode() {
    std::size_t pos = static_cast<std::size_t>(p_ - begin_);
    const char32_t c =
        decodeUtf8({reinterpret_cast<const char*>(begin_), static_cast<std::size_t>(end_ - begin_)}, pos);
    p_ = begin_ + pos;
    return c;
  }

  // Steps over characters until `terminator`, which it leaves `p_` on; false at the end of
  // the text or on a character that is not allowed.
  bool until(std::string_view terminator, const char* what) {
    for (;;) {
      const unsigned char* found = static_cast<const unsigned char*>(
          std::memchr(p_, terminator.front(), static_cast<std::size_t>(end_ - p_)));
      const unsigned char* const stop = found != nullptr ? found : end_;
      while (p_ < stop) {
        if ((kClasses[*p_] & kAsciiChar) != 0) {
          ++p_;
        } else if (!character()) {
          return false;
        }
      }
      if (found == nullptr) {
        fail(std::string(what) + " is not closed");
        return false;
      }
      if (startsWith(terminator)) return true;
      ++p_;
    }
  }

  // Steps over a name; `colon_` says whether it holds a colon.
  std::string_view name(const char* what) {
    const unsigned char* const start = p_;
    bool colon = false;
    if (p_ < end_ && (kClasses[*p_] & kNameStart) != 0) {
      colon = *p_ == ':';
      ++p_;
    } else if (p_ < end_ && *p_ >= 0x80) {
      if (!isNameStartChar(decode())) {
        fail(std::string("a character that cannot start ") + what, start);
        return {};
      }
    } else {
      fail(std::string("expected ") + what);
      return {};
    }
    for (;;) {
      p_ += asciiNameRun(p_, end_);
      if (p_ < end_ && *p_ == ':') {
        colon = true;
        ++p_;
        continue;
      }
      if (p_ >= end_ || *p_ < 0x80) break;
      const unsigned char* const at = p_;
      if (!isNameChar(decode())) {
        p_ = at;
        break;
      }
    }
    colon_ = colon;
    return {reinterpret_cast<const char*>(start), static_cast<std::size_t>(p_ - start)};
  }

  bool space() {
    const unsigned char* const start = p_;
    while (p_ < end_ && (kClasses[*p_] & kSpace) != 0) ++p_;
    return p_ > start;
  }

  // A reference at '&'; steps over it.
  bool reference() {
    const unsigned char* const at = p_;
    const unsigned char* const limit = p_ + std::min<std::ptrdiff_t>(end_ - p_, 64);
    const unsigned char* const semicolon =
        static_cast<const unsigned char*>(std::memchr(p_, ';', static_cast<std::size_t>(limit - p_)));
    if (semicolon == nullptr) {
      fail("'&' must start a reference ending in ';'", at);
      return false;
    }
    const std::string_view reference(reinterpret_cast<const char*>(at + 1), static_cast<std::size_t>(semicolon - at - 1));
    scratch_.clear();
    if (!appendReference(reference, scratch_)) {
      fail("'&" + std::string(reference) + ";' is not a reference XML defines here", at);
      return false;
    }
    p_ = semicolon + 1;
    return true;
  }

  // Character data, in the root element or (white space only) around it.
  void text() {
    if (open_.empty()) {
      space();
      if (p_ < end_ && *p_ != '<') fail("text outside the root element");
      return;
    }
    while (p_ < end_) {
      p_ += plainTextRun(p_, end_);
      if (p_ >= end_) return;
      const unsigned char c = *p_;
      if (c == '<') {
        return;
      } else if (c == '&') {
        if (!reference()) return;
      } else if (c == ']') {
        if (startsWith("]]>")) return fail("\"]]>\" is not allowed in text");
        ++p_;
      } else if (!character()) {
        return;
      }
    }
  }

  // Nearly every element of a device file is a bare start tag, plain text or elements, and
  // its end tag, with no namespace in scope. This steps over such content as fast as it can
  // and stops at the first thing it does not handle, where the general steps take over.
  void plainContent() {
    const unsigned char* p = p_;
    const unsigned char* const end = end_;
    while (!open_.empty()) {
      if (p < end && *p != '<') p += plainTextRun(p, end);
      if (end - p < 2 || *p != '<') break;
      if (p[1] == '/') {
        const std::string_view open = open_.back().name;
        const std::size_t size = open.size();
        if (static_cast<std::size_t>(end - p) < size + 3 || p[size + 2] != '>' ||
            !sameBytes(p + 2, reinterpret_cast<const unsigned char*>(open.data()), size, end)) {
          break;
        }
        p += size + 3;
        open_.pop_back();
        continue;
      }
      if ((kClasses[p[1]] & kNameStart) == 0 || p[1] == ':') break;
      const unsigned char* const nameEnd = p + 2 + asciiNameRun(p + 2, end);
      if (nameEnd >= end || *nameEnd != '>') break;
      // Field by field: a whole Open built on the stack and copied in stalls the store.
      Open& opened = open_.emplace_back();
      opened.name = {reinterpret_cast<const char*>(p + 1), static_cast<std::size_t>(nameEnd - p - 1)};
      p = nameEnd + 1;
    }
    p_ = p;
  }

  // The root's content, when end tags are left to the parser: only how many elements are
  // open below the root is kept. Runs of the simplest content go sixty-four bytes at a time,
  // the rest a step at a time. Returns when the root's end tag is passed (or the text ends,
  // or a step fails), or when a namespace needs the names of the open elements.
  void rootContent() {
    while (ok_ && p_ < end_) {
#if defined(__SSE2__)
      while (end_ - p_ >= 64) {
        const SimpleRun run = simpleRun(p_);
        // A run that could close the root is left to the steps, which see where it ends.
        if (run.bytes == 0 || static_cast<std::size_t>(run.ends) > inRoot_) break;
        p_ += run.bytes;
        inRoot_ += static_cast<std::size_t>(run.starts) - static_cast<std::size_t>(run.ends);
      }
      if (p_ >= end_) return;
#endif
      if (*p_ != '<') {
        text();
        continue;
      }
      const unsigned char next = end_ - p_ >= 2 ? p_[1] : 0;
      if (next == '!' || next == '?') {
        markup();
      } else if (next == '/') {
        p_ += 2;
        name("an element name");
        if (!ok_) return;
        if (colon_) {
          needsEndTags_ = true;
          return;
        }
        if (!endOfEndTag()) return;
        if (inRoot_ == 0) return closeElement();
        --inRoot_;
      } else {
        startTag();
        if (!ok_) return;
        if (namespaced_) {
          needsEndTags_ = true;
          return;
        }
        if (open_.size() > 1) {
          open_.pop_back();
          ++inRoot_;
        }
      }
    }
  }

  void markup() {
    const unsigned char next = end_ - p_ >= 2 ? p_[1] : 0;
    if (next == '/') return endTag();
    if (next != '!' && next != '?') return startTag();
    if (startsWith("<!--")) {
      p_ += 4;
      if (!until("--", "a comment")) return;
      if (!startsWith("-->")) return fail("\"--\" is not allowed in a comment");
      p_ += 3;
    } else if (startsWith("<![CDATA[")) {
      if (open_.empty()) return fail("a CDATA section outside the root element");
      p_ += 9;
      if (!until("]]>", "a CDATA section")) return;
      p_ += 3;
    } else if (startsWith("<!DOCTYPE")) {
      fail("a document type definition is not allowed");
    } else if (startsWith("<?")) {
      instruction();
    } else if (startsWith("</")) {
      endTag();
    } else if (startsWith("<!")) {
      fail("unknown markup");
    } else {
      startTag();
    }
  }

  void instruction() {
    p_ += 2;
    const unsigned char* const at = p_;
    const std::string_view target = name("an instruction target");
    if (!ok_) return;
    if (target.find(':') != std::string_view::npos) return fail("an instruction target must not contain ':'", at);
    // Only the three letters themselves, in any case, are reserved ("xml-stylesheet" is not).
    if (target.size() == 3 && encodingKey(target) == "XML") {
      return fail(target == "xml" ? "an XML declaration is only allowed at the very start"
                                  : "the instruction target '" + std::string(target) + "' is reserved",
                  at);
    }
    if (startsWith("?>")) {
      p_ += 2;
      return;
    }
    if (!space()) return fail("white space must follow the instruction target");
    const unsigned char* const data = p_;
    if (!until("?>", "an instruction")) return;
    if (std::memchr(data, '\r', static_cast<std::size_t>(p_ - data)) != nullptr) facts_.lineEndsInInstructions = true;
    p_ += 2;
  }

  void endTag() {
    p_ += 2;
    const unsigned char* const at = p_;
    // The open element's name was checked at its start tag, so matching it byte for byte
    // and then a byte that cannot continue a name is all an end tag needs.
    const std::string_view expected = open_.empty() ? std::string_view() : open_.back().name;
    const bool matches = !expected.empty() && static_cast<std::size_t>(end_ - p_) > expected.size() &&
                         sameBytes(p_, reinterpret_cast<const unsigned char*>(expected.data()), expected.size(), end_) &&
                         (p_[expected.size()] == '>' || (kClasses[p_[expected.size()]] & kSpace) != 0);
    if (!matches) {
      const std::string_view tag = name("an element name");
      if (!ok_) return;
      return fail("the end tag '" + std::string(tag) + "' does not match " +
                      (open_.empty() ? std::string("any open element") : "'" + std::string(expected) + "'"),
                  at);
    }
    p_ += expected.size();
    if (!endOfEndTag()) return;
    closeElement();
  }

  // What may follow an end tag's name: white space and '>'.
  bool endOfEndTag() {
    space();
    if (p_ >= end_ || *p_ != '>') {
      fail("'>' was expected");
      return false;
    }
    ++p_;
    return true;
  }

  void closeElement() {
    if (bindings_.size() > open_.back().bindings) bindings_.resize(open_.back().bindings);
    open_.pop_back();
  }

  void startTag() {
    ++p_;
    const unsigned char* const at = p_;
    if (open_.empty() && rootSeen_) return fail("more than one root element");
    const std::string_view tag = name("an element name");
    if (!ok_) return;
    // Most elements of a device file are a bare tag.
    if (p_ < end_ && *p_ == '>' && bindings_.empty() && !colon_) {
      ++p_;
      rootSeen_ = true;
      namespaced_ = false;
      open_.push_back({tag, 0});
      return;
    }
    attributes_.clear();
    bool namespaced = !bindings_.empty() || colon_;
    bool empty = false;
    for (;;) {
      const bool spaced = space();
      if (p_ >= end_) return fail("the start tag is not closed");
      if (*p_ == '>') {
        ++p_;
        break;
      }
      if (*p_ == '/') {
        if (end_ - p_ < 2 || p_[1] != '>') return fail("'>' was expected");
        p_ += 2;
        empty = true;
        break;
      }
      if (!spaced) return fail("white space must come before an attribute");
      const unsigned char* const attributeAt = p_;
      const std::string_view attributeName = name("an attribute name");
      if (!ok_) return;
      space();
      if (p_ >= end_ || *p_ != '=') return fail("'=' was expected");
      ++p_;
      space();
      if (p_ >= end_ || (*p_ != '"' && *p_ != '\'')) return fail("a quoted attribute value was expected");
      const unsigned char quote = *p_++;
      const unsigned char* const valueStart = p_;
      while (p_ < end_ && *p_ != quote) {
        if ((kClasses[*p_] & kPlainValue) != 0) {
          ++p_;
        } else if (*p_ == '<') {
          return fail("'<' is not allowed in an attribute value");
        } else if (*p_ == '&') {
          if (!reference()) return;
        } else if (!character()) {
          return;
        }
      }
      if (p_ >= end_) return fail("the attribute value is not closed", valueStart);
      attributes_.push_back({attributeName, {reinterpret_cast<const char*>(valueStart), static_cast<std::size_t>(p_ - valueStart)}, attributeAt});
      ++p_;
      namespaced = namespaced || colon_ || startsWithXmlns(attributeName);
    }
    rootSeen_ = true;
    namespaced_ = namespaced;
    open_.push_back({tag, bindings_.size()});
    if (!checkAttributes()) return;
    if (namespaced && !checkNamespaces(tag, at)) return;
    if (empty) closeElement();
  }

  bool checkAttributes() {
    const std::size_t count = attributes_.size();
    if (count < 2) return true;
    if (count <= 16) {
      for (std::size_t i = 1; i < count; ++i) {
        for (std::size_t j = 0; j < i; ++j) {
          if (attributes_[i].name == attributes_[j].name) {
            fail("the attribute '" + std::string(attributes_[i].name) + "' is given twice", attributes_[i].at);
            return false;
          }
        }
      }
      return true;
    }
    // Many attributes: sort the names instead of comparing every pair.
    std::vector<Attribute> sorted = attributes_;
    std::sort(sorted.begin(), sorted.end(), [](const Attribute& a, const Attribute& b) { return a.name < b.name; });
    for (std::size_t i = 1; i < count; ++i) {
      if (sorted[i].name == sorted[i - 1].name) {
        fail("the attribute '" + std::string(sorted[i].name) + "' is given twice", sorted[i].at);
        return false;
      }
    }
    return true;
  }

  // A namespace name as the attribute value gives it: references decoded, white space
  // made spaces.
  std::string namespaceName(std::string_view written) {
    std::string uri;
    for (std::size_t i = 0; i < written.size(); ++i) {
      const char c = written[i];
      if (c == '&') {
        const std::size_t semicolon = written.find(';', i);
        appendReference(written.substr(i + 1, semicolon - i - 1), uri);
        i = semicolon;
      } else {
        uri += (c == '\t' || c == '\n' || c == '\r') ? ' ' : c;
      }
    }
    return uri;
  }

  // The namespace a prefix is bound to in scope; null when it is not bound.
  const std::string* lookup(std::string_view prefix) const {
    static const std::string xmlNamespace(kXmlNamespace);
    if (prefix == "xml") return &xmlNamespace;
    for (auto it = bindings_.rbegin(); it != bindings_.rend(); ++it) {
      if (it->prefix == prefix) return &it->uri;
    }
    return nullptr;
  }

  bool declare(const Attribute& attribute, std::string_view prefix, bool isDefault) {
    std::string uri = namespaceName(attribute.value);
    if (isDefault) {
      if (uri == kXmlNamespace || uri == kXmlnsNamespace) {
        fail("the namespace '" + uri + "' cannot be the default namespace", attribute.at);
        return false;
      }
    } else {
      if (prefix == "xmlns") {
        fail("the prefix 'xmlns' cannot be declared", attribute.at);
        return false;
      }
      if (prefix == "xml" ? uri != kXmlNamespace : (uri == kXmlNamespace || uri == kXmlnsNamespace)) {
        fail(prefix == "xml" ? "the prefix 'xml' cannot be bound to another namespace"
                             : "the namespace '" + uri + "' is reserved",
             attribute.at);
        return false;
      }
      if (uri.empty()) {
        fail("the prefix '" + std::string(prefix) + "' cannot be undeclared", attribute.at);
        return false;
      }
    }
    bindings_.push_back({prefix, std::move(uri)});
    return true;
  }

  bool checkNamespaces(std::string_view tag, const unsigned char* at) {
    // Declarations first: they apply to the element's own name and attributes.
    std::string_view prefix, local;
    for (const Attribute& attribute : attributes_) {
      if (!startsWithXmlns(attribute.name)) continue;
      if (!splitQName(attribute.name, prefix, local)) {
        fail("'" + std::string(attribute.name) + "' is not a valid namespace declaration", attribute.at);
        return false;
      }
      if (!declare(attribute, prefix.empty() ? std::string_view() : local, prefix.empty())) return false;
    }
    if (!splitQName(tag, prefix, local)) {
      fail("'" + std::string(tag) + "' is not a valid qualified name", at);
      return false;
    }
    if (prefix == "xmlns") {
      fail("an element cannot have the prefix 'xmlns'", at);
      return false;
    }
    if (!prefix.empty() && lookup(prefix) == nullptr) {
      fail("the prefix '" + std::string(prefix) + "' is not declared", at);
      return false;
    }
    qualified_.clear();
    for (const Attribute& attribute : attributes_) {
      if (startsWithXmlns(attribute.name)) continue;
      if (!splitQName(attribute.name, prefix, local)) {
        fail("'" + std::string(attribute.name) + "' is not a valid qualified name", attribute.at);
        return false;
      }
      if (prefix.empty()) continue;
      const std::string* uri = lookup(prefix);
      if (uri == nullptr) {
        fail("the prefix '" + std::string(prefix) + "' is not declared", attribute.at);
        return false;
      }
      qualified_.push_back({*uri, local, attribute.at});
    }
    // Two attributes with one expanded name: one local name, prefixes bound to one namespace.
    std::sort(qualified_.begin(), qualified_.end());
    for (std::size_t i = 1; i < qualified_.size(); ++i) {
      if (qualified_[i].uri == qualified_[i - 1].uri && qualified_[i].local == qualified_[i - 1].local) {
        fail("an attribute is given twice under one namespace", qualified_[i].at);
        return false;
      }
    }
    return true;
  }

  const unsigned char* const begin_;
  const unsigned char* const end_;
  const unsigned char* p_;
  bool ok_ = true;
  bool rootSeen_ = false;
  bool colon_ = false;
  bool namespaced_ = false;  // of the last start tag
  const bool transcoded_;  // then a byte-order mark is gone already, and U+FEFF is a character
  const bool endTagsLeft_;
  bool needsEndTags_ = false;
  std::size_t inRoot_ = 0;  // elements open below the root, when end tags are left
  ScanFacts facts_;
  LoadProblem problem_;
  std::string scratch_;
  std::vector<Open> open_;
  std::vector<Binding> bindings_;
  std::vector<Attribute> attributes_;
  std::vector<QualifiedName> qualified_;
};

}  // namespace

LoadProblem CheckWellFormed(std::string_view utf8, bool transcoded, ScanFacts& facts, EndTags endTags) {
  if (endTags == EndTags::LeftToParser) {
    Scanner scanner(utf8, transcoded, endTags);
    LoadProblem problem = scanner.run(facts);
    if (!problem && !scanner.needsEndTags()) return problem;
    // The first problem in the text may be an end tag this scan did not match.
    facts = {};
  }
  return Scanner(utf8, transcoded, EndTags::Checked).run(facts);
}

}  // namespace pelagon::xml::detail
