#include <pelagon/xmlio/dom_creator.h>

#include <gtest/gtest.h>

#include <pelagon/platform/code_page.h>
#include <pelagon/platform/com.h>
#include <pelagon/platform/debug_output.h>
#include <pelagon/platform/linux/com_testing.h>
#include <pelagon/xmlio/xml_backend.h>
#include "../support/test_support.h"

namespace pelagon::test {
namespace {

constexpr std::string_view kSchema = R"(<?xml version="1.0"?>
<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema">
  <xs:element name="TimeStamp">
    <xs:complexType><xs:sequence>
      <xs:element name="year" type="xs:unsignedShort"/>
    </xs:sequence></xs:complexType>
  </xs:element>
</xs:schema>)";

class DomCreatorTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_EQ(win::ComInitCount(), 0);
    win::SetDebugOutputToBuffer();
  }
  void TearDown() override {
    xml::testing::SetXmlBackendAvailable(true);
    win::testing::ClearCoInitializeFailure();
    win::SetDebugOutputToDefault();
    win::SetACP(win::CP_UTF8);
    dropComInitialisations();
  }

  TempDir dir_;
};

TEST_F(DomCreatorTest, ComInitialisationFollowsTheDocument) {
  {
    MSXMLDOMCreator creator;
    EXPECT_TRUE(creator.comInitialized);
    EXPECT_FALSE(creator.hasError);
    EXPECT_EQ(win::ComInitCount(), 1);
    writeFile(dir_.path() / "a.xml", "<a/>");
    creator.LoadDocument(dir_.file("a.xml"));
    ASSERT_TRUE(creator.GetDocument());
  }
  EXPECT_EQ(win::ComInitCount(), 0);

  // Without a document at its end, a creator leaves its initialisation in place.
  { MSXMLDOMCreator creator; }
  EXPECT_EQ(win::ComInitCount(), 1);
}

TEST_F(DomCreatorTest, MissingAndMalformedFilesSetHasErrorWithoutThrowing) {
  writeFile(dir_.path() / "bad.xml", "<a><b></a>");
  writeFile(dir_.path() / "good.xml", "<!-- c --><Other strVersion=\"1.0.0.0\"/>");
  MSXMLDOMCreator creator;
  creator.LoadDocument(dir_.file("good.xml"));
  ASSERT_TRUE(creator.document);
  EXPECT_FALSE(creator.hasError);

  creator.LoadDocument(dir_.file("missing.xml"));
  EXPECT_FALSE(creator.document);
  EXPECT_TRUE(creator.hasError);

  MSXMLDOMCreator second;
  second.LoadDocument(dir_.file("bad.xml"));
  EXPECT_FALSE(second.document);
  EXPECT_TRUE(second.hasError);
  EXPECT_NE(second.errorText.find("line 1"), std::string::npos);
  // hasError is final for a creator, even after a good load.
  second.LoadDocument(dir_.file("good.xml"));
  EXPECT_TRUE(second.document);
  EXPECT_TRUE(second.hasError);
}

TEST_F(DomCreatorTest, AnUnavailableBackendLeavesComUndoneAndLoadsFail) {
  xml::testing::SetXmlBackendAvailable(false);
  testing::ResetMsxmlAvailability();
  MSXMLDOMCreator creator;
  EXPECT_FALSE(creator.comInitialized);
  EXPECT_EQ(win::ComInitCount(), 0);
  writeFile(dir_.path() / "a.xml", "<a/>");
  creator.LoadDocument(dir_.file("a.xml"));
  EXPECT_TRUE(creator.hasError);
  EXPECT_FALSE(creator.document);

  // A failed check is not remembered: the next creator passes once the backend is back.
  xml::testing::SetXmlBackendAvailable(true);
  MSXMLDOMCreator next;
  EXPECT_TRUE(next.comInitialized);
}

TEST_F(DomCreatorTest, AFailingComInitialisationLeavesTheCreatorUninitialised) {
  win::testing::FailCoInitialize(win::RPC_E_CHANGED_MODE);
  MSXMLDOMCreator creator;
  EXPECT_FALSE(creator.comInitialized);
  EXPECT_EQ(win::ComInitCount(), 0);
}

TEST_F(DomCreatorTest, ValidatedLoadChecksTheSchemaAndNeverFetchesAnything) {
  writeFile(dir_.path() / "ts.xsd", std::string(kSchema));
  writeFile(dir_.path() / "good.xml", "<TimeStamp><year>2018</year></TimeStamp>");
  writeFile(dir_.path() / "bad.xml", "<TimeStamp><year>-4</year></TimeStamp>");
  writeFile(dir_.path() / "dtd.xml",
            "<!DOCTYPE TimeStamp SYSTEM \"http://127.0.0.1:9/x.dtd\"><TimeStamp><year>1</year></TimeStamp>");

  MSXMLDOMCreator good;
  good.LoadValidatedDocument(dir_.file("good.xml"), dir_.file("ts.xsd"));
  EXPECT_TRUE(good.document);
  EXPECT_FALSE(good.hasError);

  MSXMLDOMCreator bad;
  bad.LoadValidatedDocument(dir_.file("bad.xml"), dir_.file("ts.xsd"));
  EXPECT_FALSE(bad.document);
  EXPECT_TRUE(bad.hasError);
  EXPECT_NE(bad.errorText.find("year"), std::string::npos) << bad.errorText;

  MSXMLDOMCreator dtd;
  dtd.LoadValidatedDocument(dir_.file("dtd.xml"), dir_.file("ts.xsd"));
  EXPECT_TRUE(dtd.hasError);
  EXPECT_EQ(win::TakeDebugOutput(), "");
}

TEST_F(DomCreatorTest, AnUnusableSchemaIsReportedAndTheLoadGoesOnWithoutIt) {
  // The schema imports one from the network: the import is refused, nothing is fetched.
  writeFile(dir_.path() / "net.xsd", R"(<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema">
    <xs:include schemaLocation="http://127.0.0.1:9/other.xsd"/>
    <xs:element name="a" type="missingType"/></xs:schema>)");
  writeFile(dir_.path() / "a.xml", "<a/>");
  for (const char* schema : {"missing.xsd", "net.xsd"}) {
    MSXMLDOMCreator creator;
    creator.LoadValidatedDocument(dir_.file("a.xml"), dir_.file(schema));
    EXPECT_TRUE(creator.document) << schema;
    EXPECT_FALSE(creator.hasError) << schema;
    const std::string lines = win::TakeDebugOutput();
    EXPECT_EQ(lines.rfind("Unspecified error\n", 0), 0u) << lines;
    EXPECT_NE(lines.find(schema), std::string::npos) << lines;
    EXPECT_EQ(lines.back(), '\n');
  }
}

TEST_F(DomCreatorTest, ValidatedLoadWithoutTheBackendReportsBothFailedCreations) {
  writeFile(dir_.path() / "a.xml", "<a/>");
  xml::testing::SetXmlBackendAvailable(false);
  testing::ResetMsxmlAvailability();
  MSXMLDOMCreator creator;
  creator.LoadValidatedDocument(dir_.file("a.xml"), dir_.file("missing.xsd"));
  EXPECT_TRUE(creator.hasError);
  EXPECT_EQ(win::TakeDebugOutput(),
            "CoInitialize has not been called.\nFailed to Creating XML DOM Document or Parsing XML File");

  // With COM up but the backend gone after the check once passed, creation itself fails.
  xml::testing::SetXmlBackendAvailable(true);
  MSXMLDOMCreator passed;
  xml::testing::SetXmlBackendAvailable(false);
  passed.LoadValidatedDocument(dir_.file("a.xml"), dir_.file("missing.xsd"));
  EXPECT_EQ(win::TakeDebugOutput(), "Class not registered\nFailed to Creating XML DOM Document or Parsing XML File");
}

TEST_F(DomCreatorTest, NodeTextCrossesIntoTheAnsiCodePage) {
  win::ComScope com;
  ASSERT_TRUE(EnsureMsxmlAvailable());
  xml::DocumentPtr document = xml::Document::Create();
  ASSERT_TRUE(document->loadFromMemory("<a b=\"\xE2\x82\xAC\">Gl\xC3\xA4nzend \xE6\x97\xA5</a>").ok);
  const xml::Node a = document->documentElement();
  EXPECT_EQ(ReadNodeText(a), "Gl\xC3\xA4nzend \xE6\x97\xA5");
  ASSERT_TRUE(win::SetACP(1252));
  EXPECT_EQ(ReadNodeText(a), "Gl\xE4nzend ?");
  EXPECT_EQ(ReadNodeText(a.attribute("b")), "\x80");
}

TEST_F(DomCreatorTest, DocumentsNeedComOnTheThread) {
  try {
    xml::Document::Create();
    FAIL() << "created a document without COM";
  } catch (const win::_com_error& error) {
    EXPECT_EQ(error.Error(), win::CO_E_NOTINITIALIZED);
  }
}

}  // namespace
}  // namespace pelagon::test
