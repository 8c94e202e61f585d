#include <pelagon/xmlio/dom.h>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <pelagon/platform/com.h>
#include <pelagon/platform/hresult.h>
#include "../support/test_support.h"
#include <pelagon/xmlio/dom_creator.h>

namespace pelagon::test {
namespace {

using xml::Document;
using xml::DocumentPtr;
using xml::Node;
using xml::NodeType;

constexpr std::string_view kDeclarationLine = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";

class DomTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(com_.Ok()); }

  // A document loaded from text; fails the test when it does not load.
  DocumentPtr parse(std::string_view text) {
    DocumentPtr document = Document::Create();
    const xml::LoadResult result = document->loadFromMemory(text);
    EXPECT_TRUE(result.ok) << result.message;
    return document;
  }

  // A record-like document built the way the writers build one: children created detached,
  // filled, then appended.
  DocumentPtr sample() {
    return NewDocument([](Document& document) {
      Node root = document.createElement("Root");
      root.setAttribute("strVersion", "3.3.0.0");
      Node number = document.createElement("nValue");
      number.setText("42");
      root.appendChild(number);
      Node empty = document.createElement("strEmpty");
      empty.setText("");
      root.appendChild(empty);
      root.appendChild(document.createElement("aList"));
      Node text = document.createElement("strName");
      text.setText("Gl\xC3\xA4nzend <&> \"q\"");
      root.appendChild(text);
      return root;
    });
  }

  win::ComScope com_;
};

TEST_F(DomTest, SavedFormIsTheDeclarationAndTheTreeOnOneLine) {
  const std::string expected = std::string(kDeclarationLine) +
                               "<Root strVersion=\"3.3.0.0\"><nValue>42</nValue><strEmpty></strEmpty><aList/>"
                               "<strName>Gl\xC3\xA4nzend &lt;&amp;&gt; \"q\"</strName></Root>";
  EXPECT_EQ(sample()->saveToString(), expected);

  TempDir dir;
  SaveDocument(sample(), dir.file("a.xml"));
  EXPECT_EQ(readFile(dir.file("a.xml")), expected);

  // Loading the saved bytes gives the same tree. An element with empty text comes back
  // without a text node, so it is saved again in the short form, as the platform does.
  MSXMLDOMCreator creator;
  creator.LoadDocument(dir.file("a.xml"));
  ASSERT_TRUE(creator.document) << creator.errorText;
  std::string reloaded = expected;
  reloaded.replace(reloaded.find("<strEmpty></strEmpty>"), 21, "<strEmpty/>");
  EXPECT_EQ(creator.document->saveToString(), reloaded);
  EXPECT_EQ(creator.document->documentElement().firstChild().nextSibling().nextSibling().nextSibling().text(),
            "Gl\xC3\xA4nzend <&> \"q\"");
}

TEST_F(DomTest, IndentedFormUsesTabsAndCrLfAndReadsBackAsTheSameTree) {
  const std::string indented = sample()->saveToString(xml::SaveForm::Indented);
  EXPECT_EQ(indented, std::string(kDeclarationLine) +
                          "<Root strVersion=\"3.3.0.0\">\r\n"
                          "\t<nValue>42</nValue>\r\n"
                          "\t<strEmpty></strEmpty>\r\n"
                          "\t<aList/>\r\n"
                          "\t<strName>Gl\xC3\xA4nzend &lt;&amp;&gt; \"q\"</strName>\r\n"
                          "</Root>\r\n");
  EXPECT_EQ(parse(indented)->saveToString(), parse(sample()->saveToString())->saveToString());

  // Every kind of node, mixed content, and "/>" inside values, which stays as it is.
  const std::string golden = readFile(dataDir() / "xml" / "indented_form.xml");
  EXPECT_EQ(parse(golden)->saveToString(xml::SaveForm::Indented), golden);
}

TEST_F(DomTest, LoadDropsWhitespaceTextButKeepsCommentsAndInstructionsInOrder) {
  DocumentPtr document = parse(
      "<?xml version=\"1.0\"?>\n<!-- head -->\n<a>\n  <b>x</b>\n  <!-- note -->\n  <?pi data?>\n  <c> y "
      "</c>\n</a>\n");
  Node top = document->node().firstChild();
  EXPECT_EQ(top.type(), NodeType::ProcessingInstruction);
  EXPECT_EQ(top.name(), "xml");
  EXPECT_EQ(top.nextSibling().type(), NodeType::Comment);
  Node a = document->documentElement();
  std::vector<std::string> seen;
  xml::NodeList children = a.childNodes();
  for (Node child = children.nextNode(); child; child = children.nextNode()) seen.emplace_back(child.name());
  EXPECT_EQ(seen, (std::vector<std::string>{"b", "#comment", "pi", "c"}));
  EXPECT_EQ(children.length(), 4);
  // Text that is not only whitespace is kept byte for byte.
  EXPECT_EQ(a.firstElementByTagName("c").text(), " y ");
  EXPECT_EQ(a.text(), "x y ");
}

TEST_F(DomTest, ChildRangesWalkAllChildrenOrTheElementsOfOneName) {
  DocumentPtr document = parse("<a><b/><!-- b --><?b?><c/><b>2</b><bb/></a>");
  const auto names = [](xml::ChildRange range) {
    std::vector<std::string> seen;
    for (Node child : range) seen.emplace_back(child.name() == "b" ? "b" + child.text() : child.name());
    return seen;
  };
  Node a = document->documentElement();
  EXPECT_EQ(names(a.children()), (std::vector<std::string>{"b", "#comment", "b", "c", "b2", "bb"}));
  EXPECT_EQ(names(a.children("b")), (std::vector<std::string>{"b", "b2"}));
  EXPECT_TRUE(names(a.children("z")).empty());
  EXPECT_TRUE(names(a.firstElementByTagName("c").children()).empty());
}

TEST_F(DomTest, DetachedNodesStayOutOfTheTreeUntilAppended) {
  DocumentPtr document = Document::Create();
  Node orphan = document->createElement("orphan");
  Node other = document->createElement("other");
  EXPECT_FALSE(orphan.parent());
  EXPECT_FALSE(orphan.nextSibling());
  EXPECT_FALSE(document->node().firstChild());
  EXPECT_EQ(document->saveToString(), "");
  document->node().appendChild(other);
  EXPECT_EQ(document->documentElement(), other);
  EXPECT_EQ(document->saveToString(), "<other/>");
  // `orphan` is never attached; the document frees it (the sanitizer build checks for leaks).
}

TEST_F(DomTest, ElementsMadeInPlaceSaveAsAppendedOnesDo) {
  DocumentPtr moved = Document::Create();
  Node a = moved->node().appendChild(moved->createElement("r"));
  Node child = moved->createElement("n");
  child.setText("1");
  a.appendChild(child);
  a.appendChild(moved->createElement("e"));

  DocumentPtr inPlace = Document::Create();
  Node b = inPlace->node().appendChild(inPlace->createElement("r"));
  b.appendElement("n").setText("1");
  b.appendElement("e");
  EXPECT_EQ(inPlace->saveToString(), moved->saveToString());
  EXPECT_EQ(b.firstChild().parent(), b);

  EXPECT_THROW(inPlace->node().appendElement("second"), win::_com_error) << "only below an element";
  EXPECT_THROW(b.appendElement("not a name"), win::_com_error);
}

TEST_F(DomTest, TreeRulesAreEnforced) {
  DocumentPtr document = Document::Create();
  Node root = document->node().appendChild(document->createElement("root"));
  Node child = root.appendChild(document->createElement("child"));
  const auto codeOf = [](auto&& action) {
    try {
      action();
    } catch (const win::_com_error& error) {
      return error.Error();
    }
    return win::S_OK;
  };
  EXPECT_EQ(codeOf([&] { document->node().appendChild(document->createElement("second")); }), win::E_FAIL);
  EXPECT_EQ(codeOf([&] { child.appendChild(root); }), win::E_FAIL);
  EXPECT_EQ(codeOf([&] { document->createElement("not a name"); }), win::E_INVALIDARG);
  EXPECT_EQ(codeOf([&] { document->createElement(""); }), win::E_INVALIDARG);

  // Every use of a null handle is E_POINTER.
  Node null;
  EXPECT_EQ(codeOf([&] { (void)null.name(); }), win::E_POINTER);
  EXPECT_EQ(codeOf([&] { (void)null.text(); }), win::E_POINTER);
  EXPECT_EQ(codeOf([&] { null.childNodes(); }), win::E_POINTER);
  EXPECT_EQ(codeOf([&] { root.appendChild(null); }), win::E_POINTER);
  EXPECT_EQ(codeOf([&] { (void)xml::Attribute().value(); }), win::E_POINTER);
  EXPECT_EQ(codeOf([&] { ReadNodeText(null); }), win::E_POINTER);
  EXPECT_EQ(codeOf([&] { SaveDocument(nullptr, "x.xml"); }), win::E_POINTER);
}

TEST_F(DomTest, CarriageReturnsInTextSurviveASaveInBothForms) {
  for (const xml::SaveForm form : {xml::SaveForm::Compact, xml::SaveForm::Indented}) {
    DocumentPtr document = Document::Create();
    Node root = document->node().appendChild(document->createElement("r"));
    Node text = root.appendChild(document->createElement("s"));
    text.setText("a\r\nb\rc\nd");
    root.setAttribute("v", "x\ry");
    const std::string saved = document->saveToString(form);
    DocumentPtr reloaded = parse(saved);
    EXPECT_EQ(reloaded->documentElement().firstChild().text(), "a\r\nb\rc\nd") << saved;
    EXPECT_EQ(reloaded->documentElement().attribute("v").value(), "x\ry");
  }
}

TEST_F(DomTest, SetTextReplacesTheContentAndAttributesAreFoundByExactName) {
  DocumentPtr document = parse("<a x=\"1\" X=\"2\"><b/>old</a>");
  Node a = document->documentElement();
  EXPECT_EQ(a.attribute("X").value(), "2");
  EXPECT_FALSE(a.attribute("y"));
  a.setAttribute("x", "3");
  a.setText("new");
  EXPECT_EQ(document->saveToString(), "<a x=\"3\" X=\"2\">new</a>");
}

TEST_F(DomTest, DocumentsThatAreNotWellFormedFailWithAPlaceAndLeaveNothing) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"<a><b></a>", "line 1"},
      {"<a>\n<b>\n</c>", "line 3"},
      {"", "no root element"},
      {"<a/><b/>", "more than one root element"},
      {"junk<a/>", "text outside the root element"},
      {"<a/>junk", "text outside the root element"},
      {"<a/><?xml version=\"1.0\"?>", "declaration"},
  };
  for (const auto& [text, expected] : cases) {
    DocumentPtr document = Document::Create();
    const xml::LoadResult result = document->loadFromMemory(text);
    EXPECT_FALSE(result.ok) << text;
    EXPECT_NE(result.message.find(expected), std::string::npos) << text << " -> " << result.message;
    EXPECT_FALSE(document->node().firstChild()) << text;
  }
}

TEST_F(DomTest, HostileDocumentsAreRefusedOrReadSafely) {
  // Entity declarations never take effect: a document type definition is refused outright,
  // so neither an exponential expansion nor an external (possibly network) entity is read.
  const std::string_view refused[] = {
      "<!DOCTYPE a [<!ENTITY x \"xx\"><!ENTITY y \"&x;&x;&x;&x;&x;&x;&x;&x;\">]><a>&y;</a>",
      "<!DOCTYPE a [<!ENTITY e SYSTEM \"http://127.0.0.1:9/secret\">]><a>&e;</a>",
      "<!DOCTYPE a SYSTEM \"http://127.0.0.1:9/a.dtd\"><a/>",
  };
  for (std::string_view text : refused) {
    DocumentPtr document = Document::Create();
    const xml::LoadResult result = document->loadFromMemory(text);
    EXPECT_FALSE(result.ok) << text;
    EXPECT_NE(result.message.find("document type definition"), std::string::npos);
  }

  // Nesting far deeper than any call stack loads, walks, saves and frees without recursion.
  constexpr int kDepth = 200000;
  std::string deep;
  for (int i = 0; i < kDepth; ++i) deep += "<d>";
  deep += "bottom";
  for (int i = 0; i < kDepth; ++i) deep += "</d>";
  DocumentPtr document = parse(deep);
  EXPECT_EQ(document->documentElement().text(), "bottom");
  EXPECT_FALSE(document->node().firstElementByTagName("nothing"));
  EXPECT_EQ(document->saveToString().size(), deep.size());
}

TEST_F(DomTest, LoadReportsMissingFilesAndAcceptsUtf16) {
  TempDir dir;
  DocumentPtr document = parse("<a>kept?</a>");
  // Detached nodes are the document's, but not part of its text.
  document->createElement("loose").setText("not in the tree");
  EXPECT_EQ(document->node().text(), "kept?");
  // A failed load leaves the document empty, whatever it held before.
  EXPECT_FALSE(document->load(dir.file("missing.xml")).ok);
  EXPECT_FALSE(document->documentElement());
  EXPECT_FALSE(document->load(dir.path().string()).ok);

  // UTF-16LE with a byte-order mark, as some Windows tools write.
  const std::string utf16("\xFF\xFE<\0a\0>\0\xE4\0<\0/\0a\0>\0", 18);
  writeFile(dir.path() / "u16.xml", utf16);
  const xml::LoadResult result = document->load(dir.file("u16.xml"));
  ASSERT_TRUE(result.ok) << result.message;
  EXPECT_EQ(document->documentElement().text(), "\xC3\xA4");
}

// What a text, an attribute, a comment or an instruction may hold: it is saved in both forms
// and read back as it was, or the save is refused naming the element, and the file on disk
// keeps its bytes.
TEST_F(DomTest, SavesRefuseWhatXmlCannotCarry) {
  struct Case {
    std::string_view where;
    std::string value;
    std::string_view refusal;  // empty when the value is saved
  };
  const Case cases[] = {
      {"text", "tab\t LF\n CR\r CRLF\r\n", ""},
      {"text", " \t\r\n", ""},  // white space alone, which a reader drops unless it is referenced
      {"text", "\x7F \xC2\x85 \xEF\xBF\xBD \xF0\x9F\x98\x80 a /> b", ""},
      {"text", "a\x01z", "Cannot save: the text of <r>/<s> holds a character XML cannot carry (U+0001)"},
      {"text", "\x1F", "(U+001F)"},
      {"text", "\xEF\xBF\xBE", "(U+FFFE)"},
      {"text", "\xEF\xBF\xBF", "(U+FFFF)"},
      {"text", "\xED\xA0\x80", "(byte 0xED, not UTF-8)"},  // a surrogate
      {"text", "\xC0\xAF", "(byte 0xC0, not UTF-8)"},      // "/" in two bytes
      {"text", "cut \xC3", "(byte 0xC3, not UTF-8)"},
      {"attribute", "\"q\" 's' <&> /> \t\r\n", ""},
      {"attribute", "\x0B", "the attribute v of <r>/<s> holds a character XML cannot carry (U+000B)"},
      {"comment", " a - b /> ", ""},
      {"comment", "a--b", "a comment in <r>/<s> holds \"--\""},
      {"comment", "a-", "a comment in <r>/<s> ends in \"-\""},
      {"comment", "\x02", "(U+0002)"},
      {"instruction", "a ? > b", ""},
      {"instruction", "a?>b", "the processing instruction \"pi\" in <r>/<s> holds \"?>\""},
      {"instruction", "\x08", "(U+0008)"},
  };
  TempDir dir;
  const std::string path = dir.file("a.xml");
  const auto valueIn = [](Node s, std::string_view where) {
    if (where == "text") return s.text();
    if (where == "attribute") return std::string(s.attribute("v").value());
    return s.firstChild().text();
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.where) + " \"" + c.value + "\"");
    DocumentPtr document = Document::Create();
    Node r = document->node().appendChild(document->createElement("r"));
    Node s = r.appendChild(document->createElement("s"));
    if (c.where == "text") s.setText(c.value);
    if (c.where == "attribute") s.setAttribute("v", c.value);
    if (c.where == "comment") s.appendChild(document->createComment(c.value));
    if (c.where == "instruction") s.appendChild(document->createProcessingInstruction("pi", c.value));
    for (const xml::SaveForm form : {xml::SaveForm::Compact, xml::SaveForm::Indented}) {
      writeFile(path, "old");
      try {
        document->save(path, form);
        EXPECT_EQ(c.refusal, "");
        DocumentPtr read = parse(readFile(path));
        EXPECT_EQ(valueIn(read->documentElement().firstChild(), c.where), c.value);
      } catch (const win::_com_error& error) {
        EXPECT_EQ(error.Error(), win::HRESULT_FROM_WIN32(win::ERROR_INVALID_DATA));
        EXPECT_NE(c.refusal, "") << error.Description();
        EXPECT_NE(error.Description().find(c.refusal), std::string::npos) << error.Description();
        EXPECT_EQ(readFile(path), "old");
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
      }
    }
  }
  // A NUL is refused where it is set, before pugixml's terminated strings cut the value.
  DocumentPtr document = Document::Create();
  Node e = document->createElement("e");
  EXPECT_THROW(e.setText(std::string("a\0b", 3)), win::_com_error);
  EXPECT_THROW(e.setAttribute("v", std::string("a\0b", 3)), win::_com_error);
}

TEST_F(DomTest, FailedSavesRaiseAndLeaveTheOldFileAsItWas) {
  TempDir dir;
  const auto saveError = [&](const std::string& path) {
    try {
      SaveDocument(sample(), path);
    } catch (const win::_com_error& error) {
      EXPECT_FALSE(error.Description().empty());
      return error.Error();
    }
    return win::S_OK;
  };
  EXPECT_EQ(saveError(dir.file("missing/a.xml")), win::HRESULT_FROM_WIN32(win::ERROR_PATH_NOT_FOUND));

  // A file without write permission is read-only, for root as well.
  const std::string readOnly = dir.file("ro.xml");
  writeFile(readOnly, "old");
  ::chmod(readOnly.c_str(), 0444);
  EXPECT_EQ(saveError(readOnly), win::E_ACCESSDENIED);
  EXPECT_EQ(readFile(readOnly), "old");

  // A successful save over an existing file keeps its permissions and leaves no stray file.
  const std::string existing = dir.file("rw.xml");
  writeFile(existing, "old");
  ::chmod(existing.c_str(), 0640);
  EXPECT_EQ(saveError(existing), win::S_OK);
  struct stat info {};
  ::stat(existing.c_str(), &info);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
}

TEST_F(DomTest, APipeIsWrittenToAndNotReplacedByAFile) {
  TempDir dir;
  const std::string fifo = dir.file("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
  const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  SaveDocument(sample(), fifo);
  std::string received(4096, '\0');
  const ssize_t n = ::read(reader, received.data(), received.size());
  ::close(reader);
  received.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  EXPECT_EQ(received, sample()->saveToString());
  struct stat info {};
  ASSERT_EQ(::stat(fifo.c_str(), &info), 0);
  EXPECT_TRUE(S_ISFIFO(info.st_mode));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST_F(DomTest, AFolderThatRefusesNewFilesGetsItsWritableFileRewrittenInPlace) {
  TempDir dir;
  const std::string longer = dir.file("longer.xml");
  const std::string shorter = dir.file("shorter.xml");
  writeFile(longer, "old");
  writeFile(shorter, std::string(4096, 'x'));
  ::chmod(longer.c_str(), 0666);
  ::chmod(shorter.c_str(), 0666);
  const std::string expected = sample()->saveToString();
  const int status = RunWhereFolderRefusesNewFiles(dir.path(), [&] {
    try {
      SaveDocument(sample(), longer);
      SaveDocument(sample(), shorter);
    } catch (const win::_com_error&) {
      return 1;
    }
    // A missing file still cannot be made there.
    try {
      SaveDocument(sample(), dir.file("new.xml"));
      return 2;
    } catch (const win::_com_error& error) {
      return error.Error() == win::E_ACCESSDENIED ? 0 : 3;
    }
  });
  EXPECT_EQ(status, 0);
  EXPECT_EQ(readFile(longer), expected);
  EXPECT_EQ(readFile(shorter), expected);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
}

}  // namespace
}  // namespace pelagon::test
