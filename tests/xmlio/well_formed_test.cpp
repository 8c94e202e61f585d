// What the loader refuses and takes: one small document per well-formedness rule of XML 1.0
// and of namespaces, the refused form and, where the line is fine, an accepted one beside it.

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <string_view>
#include <utility>

#include "../support/test_support.h"

namespace pelagon::test {
namespace {

struct WellFormedCase {
  std::string name;
  std::string bytes;
  bool loads;
  // The document element's text, as UTF-8, when the case is about decoding.
  std::string text = {};
  // What the message of a refused load names.
  std::array<std::string_view, 2> mentions = {};
};

void PrintTo(const WellFormedCase& row, std::ostream* out) { *out << row.name; }

// Latin-1 text as UTF-16 in either byte order, with or without a byte order mark.
std::string Utf16(std::string_view latin1, bool bigEndian, bool mark = true) {
  std::string bytes = mark ? (bigEndian ? "\xFE\xFF" : "\xFF\xFE") : "";
  for (const char c : latin1) bytes += bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
  return bytes;
}

const std::string kDecl = "<?xml version=\"1.0\"?>";
const std::string kNs = " xmlns:p=\"http://example.com/p\"";
const std::string kXmlNs = "http://www.w3.org/XML/1998/namespace";

const WellFormedCase kCases[] = {
    // References
    {"UndefinedEntity", "<a>&nbsp;</a>", false},
    {"CharRefZero", "<a>&#0;</a>", false},
    {"CharRefControl", "<a>&#1;</a>", false},
    {"CharRefNonCharacter", "<a>&#xFFFE;</a>", false},
    {"CharRefSurrogate", "<a>&#xD800;</a>", false},
    {"CharRefBeyondUnicode", "<a>&#x110000;</a>", false},
    {"CharRefsTaken", "<a>&#x10000;&#65;</a>", true, "\xF0\x90\x80\x80\x41"},
    {"PredefinedEntitiesTaken", "<a>&lt;&gt;&amp;&apos;&quot;</a>", true, "<>&'\""},
    {"BareAmpersand", "<a>a & b</a>", false},
    {"AmpersandWithoutSemicolon", "<a>&amp</a>", false},
    // Characters and their UTF-8
    {"RawControl", "<a>\x01</a>", false},
    {"RawNonCharacter", "<a>\xEF\xBF\xBE</a>", false},
    {"BadUtf8Continuation", "<a>\xC3\x28</a>", false},
    {"OverlongUtf8", "<a>\xC0\xAF</a>", false},
    {"Utf8Surrogate", "<a>\xED\xA0\x80</a>", false},
    // Text, CDATA, comments
    {"CdataEndInText", "<a>]]></a>", false},
    {"CdataEndEscapedTaken", "<a>]]&gt;</a>", true, "]]>"},
    {"CdataTaken", "<a><![CDATA[<&]]></a>", true, "<&"},
    {"DoubleHyphenInComment", "<!-- a -- b --><a/>", false},
    {"CommentEndingInHyphen", "<!-- a ---><a/>", false},
    {"CommentWithSingleHyphensTaken", "<!-- a - b --><a/>", true},
    // Attributes
    {"LessThanInAttribute", "<a b=\"<\"/>", false},
    {"DuplicateAttribute", "<a b=\"1\" b=\"2\"/>", false},
    {"DuplicateExpandedName", "<a" + kNs + " xmlns:q=\"http://example.com/p\" p:b=\"1\" q:b=\"2\"/>", false},
    {"NoSpaceBetweenAttributes", "<a b=\"1\"c=\"2\"/>", false},
    // Namespaces
    {"PrefixedNamesTaken", "<p:a" + kNs + " p:b=\"1\" xml:lang=\"en\"/>", true},
    {"UndeclaredElementPrefix", "<p:a/>", false},
    {"UndeclaredAttributePrefix", "<a p:b=\"1\"/>", false},
    {"EmptyPrefixBinding", "<a xmlns:p=\"\"/>", false},
    {"DefaultNamespaceUndeclaredTaken", "<a xmlns=\"\"/>", true},
    {"XmlPrefixRebound", "<a xmlns:xml=\"http://example.com/x\"/>", false},
    {"XmlPrefixDeclaredAsItselfTaken", "<a xmlns:xml=\"" + kXmlNs + "\"/>", true},
    {"OtherPrefixForXmlNamespace", "<a xmlns:p=\"" + kXmlNs + "\"/>", false},
    {"XmlnsPrefixDeclared", "<a xmlns:xmlns=\"http://www.w3.org/2000/xmlns/\"/>", false},
    {"TwoColonsInName", "<p:a:b" + kNs + "/>", false},
    {"LeadingColonInName", "<:a/>", false},
    // Processing instructions and the XML declaration
    {"DeclarationNotAtStart", "<a/><?xml version=\"1.0\"?>", false},
    {"UppercaseXmlTarget", "<?XML version=\"1.0\"?><a/>", false},
    {"XmlPrefixedTargetTaken", "<?xml-stylesheet href=\"s.xsl\"?><a/>", true},
    {"XmlWithPunctuationTaken", "<a><?xml- d?><?x_ml?></a>", true},
    {"SpaceBeforeDeclaration", " " + kDecl + "<a/>", false},
    {"EncodingBeforeVersion", "<?xml encoding=\"UTF-8\" version=\"1.0\"?><a/>", false},
    {"StandaloneMaybe", "<?xml version=\"1.0\" standalone=\"maybe\"?><a/>", false},
    {"VersionTwo", "<?xml version=\"2.0\"?><a/>", false},
    // Any 1.x is read as 1.0.
    {"VersionOneNineTaken", "<?xml version=\"1.9\"?><a/>", true},
    // Document structure
    {"TextAfterRoot", "<a/>x", false},
    {"TwoRoots", "<a/><b/>", false},
    {"NoRoot", kDecl + "<!-- only this -->", false},
    {"MiscAfterRootTaken", "<a/><!-- c --><?pi x?>\n", true},
    {"DocumentTypeDeclaration", "<!DOCTYPE a><a/>", false},
    {"MismatchedEndTag", kDecl + "\n<a>\n  <b></c>\n</a>", false, "", {"line 3", "column "}},
    // Encodings
    {"UnknownEncoding",
     "<?xml version=\"1.0\" encoding=\"no-such-encoding\"?><a/>",
     false,
     "",
     {"no-such-encoding"}},
    {"Windows1252", "<?xml version=\"1.0\" encoding=\"windows-1252\"?><a>Caf\xE9 \x80</a>", true,
     "Caf\xC3\xA9 \xE2\x82\xAC"},
    {"ShiftJis", "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><a>\x93\xFA\x96\x7B</a>", true,
     "\xE6\x97\xA5\xE6\x9C\xAC"},
    {"ShiftJisBrokenPair", "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><a>\x81\x20</a>", false},
    {"Utf16LittleEndian", Utf16("<a>\xE9</a>", false), true, "\xC3\xA9"},
    {"Utf16BigEndian", Utf16(kDecl + "<a>\xE9</a>", true), true, "\xC3\xA9"},
    {"Utf16LittleEndianNoMark",
     Utf16("<?xml version=\"1.0\" encoding=\"UTF-16LE\"?><a>\xE9</a>", false, false), true, "\xC3\xA9"},
    // After the mark, U+FEFF is a character, and none may come before the root.
    {"Utf16SecondMark", "\xFF\xFE" + Utf16("<a/>", false), false},
    {"Utf8MarkAndUtf8", "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?><a/>", true},
    {"Utf8MarkAndLatin1", "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a/>", false},
};

class WellFormed : public DomFixture, public ::testing::WithParamInterface<WellFormedCase> {};

TEST_P(WellFormed, LoadsExactlyTheWellFormed) {
  const WellFormedCase& row = GetParam();
  const xml::LoadResult result = document_->loadFromMemory(row.bytes);
  ASSERT_EQ(result.ok, row.loads) << result.message;
  if (!row.text.empty()) {
    EXPECT_EQ(document_->documentElement().text(), row.text);
  }
  for (const std::string_view mention : row.mentions) {
    EXPECT_NE(result.message.find(mention), std::string::npos) << result.message;
  }
}

INSTANTIATE_TEST_SUITE_P(Rules, WellFormed, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<WellFormedCase>& param) {
                           return param.param.name;
                         });

// The scan steps over plain text and names many bytes at a time, and over the simplest
// element content sixty-four bytes at a time, leaving end tags there to pugixml. A verdict
// must not depend on where a construct falls in those steps, and no step may read past the
// end of the text.
class WellFormedPlacement : public DomFixture {};

TEST_F(WellFormedPlacement, VerdictsHoldWhereverAConstructFalls) {
  const std::pair<std::string_view, bool> fragments[] = {
      {"<b>1.5</b>", true},         {"caf\xC3\xA9\tx\r\n", true}, {"<b\xC3\xA9></b\xC3\xA9>", true},
      {"<b></b >", true},           {"<b.c-d_9/>", true},           {"x\x01", false},
      {"a & b", false},             {"]]>", false},                 {"\xC3\x28", false},
      {"<b\x01></b>", false},       {"<bc></bd>", false},           {"<bc></b>", false},
      {"<b></bc>", false},          {"<p:b/>", false},              {"<b/c></b/c>", false},
      {"<b>x>y</b>", true},         {"<b><c>2</c></b>", true},      {"<b><c></b></c>", false},
      {"<b>", false},               {"</b>", false},                {"</r><r>", false},
      {"<>", false},                {"</>", false},                 {"<1b></1b>", false},
      {"<!--c--><?p x?>", true},    {"<b a='1' a='2'></b>", false}, {"<b xmlns:p='u'><p:c/></b>", true},
  };
  std::string tail;
  for (int i = 0; i < 9; ++i) tail += "<v>1</v>";
  for (std::size_t pad = 0; pad <= 70; ++pad) {
    const std::string name = std::string("r").append(pad, 'n');
    for (const auto& [fragment, loads] : fragments) {
      for (const std::string& bytes : {"<r>" + std::string(pad, 'x') + std::string(fragment) + tail + "</r>",
                                       "<" + name + ">" + std::string(fragment) + "</" + name + ">"}) {
        EXPECT_EQ(document_->loadFromMemory(bytes).ok, loads) << bytes;
      }
    }
    // Cut short anywhere, a document is refused.
    const std::string whole = "<" + name + "><v>" + std::string(pad, '7') + "</v>" + tail + "</" + name + ">";
    for (std::size_t size = 0; size < whole.size(); ++size) {
      EXPECT_FALSE(document_->loadFromMemory(whole.substr(0, size)).ok) << whole.substr(0, size);
    }
    EXPECT_TRUE(document_->loadFromMemory(whole).ok) << whole;
  }
}

}  // namespace
}  // namespace pelagon::test
