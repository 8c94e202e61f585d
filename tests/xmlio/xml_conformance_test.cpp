// The W3C XML Conformance Test Suite, case by case through Document::load: the loader must
// refuse each document that is not well-formed and take each one that is, as a conforming
// XML 1.0 (fifth edition) processor with namespaces does. The catalogues are read as they
// stand, so a case added to the suite is a new test here.
//
// The cases that apply to us (313 in the suite as published):
//  - TYPE is not-wf, valid or invalid: "error" cases leave the verdict to the processor;
//  - XML 1.0 as of the fifth edition: RECOMMENDATION is neither XML1.1 nor NS1.1, VERSION
//    (when given) lists 1.0 and EDITION (when given) lists 5;
//  - namespaces on: NAMESPACE is not "no";
//  - the document has no document type declaration, since we refuse those by design: its
//    bytes hold "<!DOCTYPE" neither in ASCII nor in UTF-16 of either byte order.
// Valid and invalid documents are both well-formed and we do not validate, so both must load.
//
// The suite is looked for at PELAGON_XMLCONF, else beside the repository the build was
// configured from; without it the program lists a single test, which skips.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <pugixml.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <pelagon/platform/com.h>
#include <pelagon/xmlio/dom.h>
#include <pelagon/xmlio/dom_creator.h>

namespace pelagon::test {
namespace {

namespace fs = std::filesystem;

struct ConformanceCase {
  std::string id;
  std::string testName;  // the id with every character outside [A-Za-z0-9_] made '_'
  std::string type;      // not-wf, valid or invalid
  fs::path file;
};

void PrintTo(const ConformanceCase& testCase, std::ostream* out) { *out << testCase.id; }

fs::path SuiteFolder() {
  if (const char* folder = std::getenv("PELAGON_XMLCONF"); folder != nullptr && *folder != '\0')
    return folder;
  return PELAGON_XMLCONF_DEFAULT;
}

std::string ReadBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool HasDocumentTypeDeclaration(const std::string& bytes) {
  constexpr std::string_view kMarker = "<!DOCTYPE";
  std::string littleEndian;
  std::string bigEndian;
  for (const char c : kMarker) {
    littleEndian += {c, '\0'};
    bigEndian += {'\0', c};
  }
  return bytes.find(kMarker) != std::string::npos || bytes.find(littleEndian) != std::string::npos ||
         bytes.find(bigEndian) != std::string::npos;
}

// Whether the whitespace-separated list names `token`; an absent attribute counts as `absent`.
bool Lists(const pugi::xml_attribute& list, std::string_view token, bool absent) {
  if (!list) return absent;
  std::istringstream words(list.value());
  for (std::string word; words >> word;)
    if (word == token) return true;
  return false;
}

// A relative reference resolved against a base, both file paths ("dir/" names a folder).
fs::path Resolve(const fs::path& base, std::string_view reference) {
  return (base.parent_path() / fs::path(reference)).lexically_normal();
}

fs::path ApplyXmlBase(const pugi::xml_node& element, const fs::path& base) {
  const pugi::xml_attribute xmlBase = element.attribute("xml:base");
  return xmlBase ? Resolve(base, xmlBase.value()) : base;
}

// The master catalogue's external entities, then the TEST elements its content reaches, in
// document order. The master has a document type declaration and the collections' catalogues
// are external entities (several top-level elements), so both are read with pugixml here.
class CatalogueReader {
public:
  std::vector<ConformanceCase> cases;
  std::vector<std::string> problems;

  explicit CatalogueReader(const fs::path& folder) {
    const fs::path master = folder / "xmlconf.xml";
    pugi::xml_document document;
    // Without escapes, so that the entity references stay in the text for us to follow.
    const unsigned options = (pugi::parse_default & ~pugi::parse_escapes) | pugi::parse_doctype;
    if (const pugi::xml_parse_result parsed = document.load_file(master.c_str(), options); !parsed) {
      problems.push_back(master.string() + ": " + parsed.description());
      return;
    }
    for (const pugi::xml_node node : document.children()) {
      if (node.type() == pugi::node_doctype) readEntityDeclarations(node.value(), master);
    }
    walk(document, master, true);
  }

private:
  // The external entities of the internal subset. Comments go first, so that a declaration
  // commented out is not taken; parameter and internal entities do not match.
  void readEntityDeclarations(std::string subset, const fs::path& master) {
    static const std::regex kComment("<!--[\\s\\S]*?-->");
    static const std::regex kEntity(
        R"re(<!ENTITY\s+([^\s%]+)\s+(?:SYSTEM|PUBLIC\s+(?:"[^"]*"|'[^']*'))\s+(?:"([^"]*)"|'([^']*)')\s*>)re");
    subset = std::regex_replace(subset, kComment, "");
    for (std::sregex_iterator match(subset.begin(), subset.end(), kEntity), end; match != end; ++match)
      entities_[(*match)[1]] = Resolve(master, (*match)[(*match)[2].matched ? 2 : 3].str());
  }

  // Follows the master's "&name;" references into the collections' catalogues.
  void include(std::string_view text) {
    for (std::size_t amp = text.find('&'); amp != std::string_view::npos; amp = text.find('&', amp + 1)) {
      const std::size_t semicolon = text.find(';', amp);
      if (semicolon == std::string_view::npos || text[amp + 1] == '#') continue;
      const std::string name(text.substr(amp + 1, semicolon - amp - 1));
      const auto entity = entities_.find(name);
      if (entity == entities_.end()) {
        problems.push_back("undeclared entity &" + name + ";");
        continue;
      }
      pugi::xml_document catalogue;
      const pugi::xml_parse_result parsed =
          catalogue.load_file(entity->second.c_str(), pugi::parse_default | pugi::parse_fragment);
      if (!parsed) {
        problems.push_back(entity->second.string() + ": " + parsed.description());
        continue;
      }
      // An external entity's content is relative to the entity itself.
      walk(catalogue, entity->second, false);
    }
  }

  void walk(const pugi::xml_node& parent, const fs::path& base, bool followReferences) {
    for (const pugi::xml_node node : parent.children()) {
      if (node.type() == pugi::node_pcdata && followReferences) {
        include(node.value());
      } else if (node.type() == pugi::node_element && std::string_view(node.name()) == "TEST") {
        add(node, ApplyXmlBase(node, base));
      } else if (node.type() == pugi::node_element) {
        walk(node, ApplyXmlBase(node, base), followReferences);
      }
    }
  }

  void add(const pugi::xml_node& test, const fs::path& base) {
    const std::string type = test.attribute("TYPE").value();
    const std::string recommendation = test.attribute("RECOMMENDATION").value();
    if (type != "not-wf" && type != "valid" && type != "invalid") return;
    if (recommendation == "XML1.1" || recommendation == "NS1.1") return;
    if (!Lists(test.attribute("VERSION"), "1.0", true)) return;
    if (!Lists(test.attribute("EDITION"), "5", true)) return;
    if (std::string_view(test.attribute("NAMESPACE").value()) == "no") return;

    ConformanceCase testCase{test.attribute("ID").value(), "", type,
                             Resolve(base, test.attribute("URI").value())};
    if (!fs::is_regular_file(testCase.file)) {
      problems.push_back(testCase.id + ": no file " + testCase.file.string());
      return;
    }
    if (HasDocumentTypeDeclaration(ReadBytes(testCase.file))) return;

    for (const char c : testCase.id) {
      const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
      testCase.testName += plain ? c : '_';
    }
    if (testCase.testName.empty()) testCase.testName = "no_id";
    if (const int seen = namesSeen_[testCase.testName]++; seen > 0)
      testCase.testName += "_" + std::to_string(seen + 1);
    cases.push_back(std::move(testCase));
  }

  std::map<std::string, fs::path> entities_;
  std::map<std::string, int> namesSeen_;
};

// Read once per process, and only when the suite is there.
const CatalogueReader& Suite() {
  static const CatalogueReader reader(SuiteFolder());
  return reader;
}

std::vector<ConformanceCase> SuiteCases() {
  return fs::is_directory(SuiteFolder()) ? Suite().cases : std::vector<ConformanceCase>{};
}

bool ExpectedToLoad(const ConformanceCase& testCase) { return testCase.type != "not-wf"; }

xml::LoadResult Load(const ConformanceCase& testCase) {
  return xml::Document::Create()->load(testCase.file.string());
}

class XmlConformance : public ::testing::TestWithParam<ConformanceCase> {
protected:
  void SetUp() override {
    ASSERT_TRUE(com_.Ok());
    ASSERT_TRUE(EnsureMsxmlAvailable());
  }
  win::ComScope com_;
};

TEST_P(XmlConformance, LoadsExactlyTheWellFormed) {
  const ConformanceCase& testCase = GetParam();
  const xml::LoadResult result = Load(testCase);
  EXPECT_EQ(result.ok, ExpectedToLoad(testCase))
      << testCase.id << " (" << testCase.file.string() << ") is " << testCase.type << ", so the load should "
      << (ExpectedToLoad(testCase) ? "pass" : "fail")
      << "; it said: " << (result.message.empty() ? "(no message)" : result.message);
}

INSTANTIATE_TEST_SUITE_P(W3C, XmlConformance, ::testing::ValuesIn(SuiteCases()),
                         [](const ::testing::TestParamInfo<ConformanceCase>& param) {
                           return param.param.testName;
                         });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(XmlConformance);

// Reads the catalogues, reports what could not be followed, and counts the right verdicts
// for the whole suite at once.
TEST(XmlConformanceSuite, Summary) {
  if (!fs::is_directory(SuiteFolder()))
    GTEST_SKIP() << "no XML conformance suite at " << SuiteFolder().string()
                 << "; set PELAGON_XMLCONF to its folder to run it";
  win::ComScope com;
  ASSERT_TRUE(com.Ok());
  ASSERT_TRUE(EnsureMsxmlAvailable());
  const CatalogueReader& suite = Suite();
  for (const std::string& problem : suite.problems) ADD_FAILURE() << problem;
  ASSERT_FALSE(suite.cases.empty()) << "no case in scope in " << SuiteFolder().string();

  int right = 0;
  for (const ConformanceCase& testCase : suite.cases) right += Load(testCase).ok == ExpectedToLoad(testCase);
  const int inScope = static_cast<int>(suite.cases.size());
  std::cout << "XML conformance: " << right << " of " << inScope << " cases in scope right\n";
  RecordProperty("in_scope", inScope);
  RecordProperty("right", right);
}

}  // namespace
}  // namespace pelagon::test
