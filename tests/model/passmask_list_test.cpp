#include <pelagon/model/passmask_list.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include <pelagon/platform/app_title.h>
#include <pelagon/platform/com.h>
#include <pelagon/platform/hresult.h>
#include "../support/record_fixture.h"
#include <pelagon/xmlio/dom_creator.h>

namespace pelagon::test {
namespace {

Passmask passmask(std::int32_t index, std::string name, std::string mode, std::int32_t overlap,
                  std::initializer_list<std::string> commands) {
  Passmask p;
  p.nPassmaskIndex = index;
  p.strPassmaskName = std::move(name);
  p.strPassmaskMode = std::move(mode);
  p.strInkConsumptionRate = "1.0,1.0,1.0,1.0";
  p.nOverlapNozzleCount = overlap;
  p.astrPassmaskCommand = win::GrowableArray<std::string>(commands);
  return p;
}

// Printer data of the carried files' alphabet, not a repetition, so a misplaced cut shows.
std::string commandText(std::size_t length) {
  static constexpr std::string_view kAlphabet =
      "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz/_~";
  std::string text;
  for (std::size_t i = 0; i < length; ++i) text += kAlphabet[(i * 7 + i / 65) % kAlphabet.size()];
  return text;
}

PassmaskList smallList() {
  PassmaskList list;
  list.passmasks.append(passmask(0, "x2", "1", 96, {"96"}));
  list.passmasks.append(passmask(11, "8+4 & <b>", "M1", 4, {"AB/_~", ""}));
  return list;
}

constexpr std::string_view kSmallCompact =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
    "<aPassmaskList strVersion=\"1.0.1.0\"><Passmask><nPassmaskIndex>0</nPassmaskIndex>"
    "<strPassmaskName>x2</strPassmaskName><strPassmaskMode>1</strPassmaskMode>"
    "<strInkConsumptionRate>1.0,1.0,1.0,1.0</strInkConsumptionRate>"
    "<nOverlapNozzleCount>96</nOverlapNozzleCount>"
    "<strPassmaskCommand><strPassmaskPiece>96</strPassmaskPiece></strPassmaskCommand></Passmask>"
    "<Passmask><nPassmaskIndex>11</nPassmaskIndex><strPassmaskName>8+4 &amp; &lt;b&gt;</strPassmaskName>"
    "<strPassmaskMode>M1</strPassmaskMode><strInkConsumptionRate>1.0,1.0,1.0,1.0</strInkConsumptionRate>"
    "<nOverlapNozzleCount>4</nOverlapNozzleCount>"
    "<strPassmaskCommand><strPassmaskPiece>AB/_~</strPassmaskPiece></strPassmaskCommand>"
    "<strPassmaskCommand><strPassmaskPiece></strPassmaskPiece></strPassmaskCommand></Passmask>"
    "</aPassmaskList>";

constexpr std::string_view kSmallIndented =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
    "<aPassmaskList strVersion=\"1.0.1.0\">\r\n"
    "\t<Passmask>\r\n"
    "\t\t<nPassmaskIndex>0</nPassmaskIndex>\r\n"
    "\t\t<strPassmaskName>x2</strPassmaskName>\r\n"
    "\t\t<strPassmaskMode>1</strPassmaskMode>\r\n"
    "\t\t<strInkConsumptionRate>1.0,1.0,1.0,1.0</strInkConsumptionRate>\r\n"
    "\t\t<nOverlapNozzleCount>96</nOverlapNozzleCount>\r\n"
    "\t\t<strPassmaskCommand>\r\n"
    "\t\t\t<strPassmaskPiece>96</strPassmaskPiece>\r\n"
    "\t\t</strPassmaskCommand>\r\n"
    "\t</Passmask>\r\n"
    "\t<Passmask>\r\n"
    "\t\t<nPassmaskIndex>11</nPassmaskIndex>\r\n"
    "\t\t<strPassmaskName>8+4 &amp; &lt;b&gt;</strPassmaskName>\r\n"
    "\t\t<strPassmaskMode>M1</strPassmaskMode>\r\n"
    "\t\t<strInkConsumptionRate>1.0,1.0,1.0,1.0</strInkConsumptionRate>\r\n"
    "\t\t<nOverlapNozzleCount>4</nOverlapNozzleCount>\r\n"
    "\t\t<strPassmaskCommand>\r\n"
    "\t\t\t<strPassmaskPiece>AB/_~</strPassmaskPiece>\r\n"
    "\t\t</strPassmaskCommand>\r\n"
    "\t\t<strPassmaskCommand>\r\n"
    "\t\t\t<strPassmaskPiece></strPassmaskPiece>\r\n"
    "\t\t</strPassmaskCommand>\r\n"
    "\t</Passmask>\r\n"
    "</aPassmaskList>\r\n";

class PassmaskListTest : public WholeFileTest<PassmaskListIO, PassmaskList> {
protected:
  PassmaskListTest() { path_ = dir_.file("Pelagon KD.pmp"); }

  // The lengths of the pieces of every command in the saved file, command by command.
  std::vector<std::vector<std::size_t>> pieceLengths() {
    xml::DocumentPtr document = xml::Document::Create();
    EXPECT_TRUE(document->load(path_).ok);
    std::vector<std::vector<std::size_t>> lengths;
    for (xml::Node mask = document->documentElement().firstChild(); mask; mask = mask.nextSibling()) {
      for (xml::Node command = mask.firstChild(); command; command = command.nextSibling()) {
        if (command.name() != "strPassmaskCommand") continue;
        lengths.emplace_back();
        for (xml::Node piece = command.firstChild(); piece; piece = piece.nextSibling()) {
          lengths.back().push_back(piece.text().size());
        }
      }
    }
    return lengths;
  }
};

TEST_F(PassmaskListTest, WritesTheCarriedIndentedFormAndTheOneLineForm) {
  EXPECT_EQ(save(smallList()), kSmallIndented);
  EXPECT_EQ(save(smallList(), xml::SaveForm::Compact), kSmallCompact);
  xml::DocumentPtr document = PassmaskListIO("").CreateDocument(smallList());
  ASSERT_TRUE(document);
  EXPECT_EQ(document->saveToString(), kSmallCompact);
}

TEST_F(PassmaskListTest, BothFormsReadBackAsTheSameRecords) {
  PassmaskList expected = smallList();
  expected.version = {1, 0, 1, 0};
  for (xml::SaveForm form : {xml::SaveForm::Indented, xml::SaveForm::Compact}) {
    save(smallList(), form);
    PassmaskList read;
    ASSERT_TRUE(load(read));
    EXPECT_EQ(read, expected);
  }
}

TEST_F(PassmaskListTest, CommandsAreCutIntoPiecesOf4096AndJoinedOnReading) {
  PassmaskList list;
  list.passmasks.append(
      passmask(4, "900x600 10p", "M1", 0,
               {commandText(9857), commandText(8192), commandText(4096), commandText(4097)}));
  // Mode "1": the single piece is the overlap count, which the writer takes from the command.
  list.passmasks.append(passmask(1, "12+1", "1", 96, {"96"}));
  list.version = {1, 0, 1, 0};
  save(list);
  const std::vector<std::vector<std::size_t>> expected{
      {4096, 4096, 1665}, {4096, 4096}, {4096}, {4096, 1}, {2}};
  EXPECT_EQ(pieceLengths(), expected);
  PassmaskList read;
  ASSERT_TRUE(load(read));
  EXPECT_EQ(read, list);
}

TEST_F(PassmaskListTest, ACharacterIsNeverCutInTwo) {
  // 4095 ASCII characters, then a two-byte and a three-byte character in UTF-8.
  const std::string command = commandText(4095) + "\xC3\xA9\xE2\x82\xAC" + "z";
  PassmaskList list;
  list.passmasks.append(passmask(2, "x", "M1", 0, {command}));
  save(list);
  const std::vector<std::vector<std::size_t>> expected{{4097, 4}};
  EXPECT_EQ(pieceLengths(), expected);
  PassmaskList read;
  ASSERT_TRUE(load(read));
  ASSERT_EQ(read.passmasks.size(), 1);
  EXPECT_EQ(read.passmasks[0].astrPassmaskCommand, list.passmasks[0].astrPassmaskCommand);
}

TEST_F(PassmaskListTest, ReadsFieldsByPositionAndSkipsWhatItDoesNotKnow) {
  writeFile(path_,
            "<?xml version=\"1.0\"?><!-- made by hand --><aPassmaskList strVersion=\"1.0.0.0\">"
            "<!-- first --><Other/>"
            "<Passmask><a>7</a><strPassmaskMode>name</strPassmaskMode><strPassmaskName>M1</strPassmaskName>"
            "<d>2.0</d><e>12</e><note>x</note>"
            "<strPassmaskCommand><strPassmaskPiece>AB</strPassmaskPiece><!-- c --><junk>QQ</junk>"
            "<strPassmaskPiece>CD</strPassmaskPiece></strPassmaskCommand>"
            "<strPassmaskCommand/></Passmask></aPassmaskList>");
  PassmaskList read;
  ASSERT_TRUE(load(read));
  EXPECT_EQ(read.version, (VersionRecord{1, 0, 0, 0}));
  ASSERT_EQ(read.passmasks.size(), 1);
  // The elements are taken by position, so swapped names swap nothing.
  Passmask expected = passmask(7, "name", "M1", 12, {"ABCD", ""});
  expected.strInkConsumptionRate = "2.0";
  EXPECT_EQ(read.passmasks[0], expected);
}

TEST_F(PassmaskListTest, BrokenFilesFailWithAReason) {
  std::string reason;
  PassmaskList read;
  EXPECT_FALSE(load(read, &reason));
  EXPECT_NE(reason.find(path_), std::string::npos) << reason;

  writeFile(path_, "<aPassmaskList strVersion=\"1.0.1.0\"><Passmask>");
  EXPECT_FALSE(load(read, &reason));
  EXPECT_NE(reason.find("cannot be loaded"), std::string::npos) << reason;

  writeFile(path_, "<apassmasklist strVersion=\"1.0.1.0\"/>");
  EXPECT_FALSE(load(read, &reason));
  EXPECT_NE(reason.find("no \"aPassmaskList\" root"), std::string::npos) << reason;

  writeFile(path_, "<aPassmaskList/>");
  EXPECT_FALSE(load(read, &reason));
  EXPECT_NE(reason.find("aPassmaskListIO: Lacking version attribute"), std::string::npos) << reason;
}

TEST_F(PassmaskListTest, APassmaskMissingAFieldFailsTheLoadKeepingWhatCameBefore) {
  PassmaskList list = smallList();
  save(list, xml::SaveForm::Compact);
  std::string text = readFile(path_);
  // The second passmask ends after its ink consumption rate.
  const std::size_t cut = text.find("<nOverlapNozzleCount>4</nOverlapNozzleCount>");
  text.replace(cut, text.find("</Passmask></aPassmaskList>") - cut, "");
  writeFile(path_, text);
  PassmaskList read;
  std::string reason;
  EXPECT_FALSE(load(read, &reason));
  EXPECT_EQ(reason,
            "\"" + path_ +
                "\": aPassmaskList[1] \"8+4 & <b>\" / Passmask: child 4 (nOverlapNozzleCount) is missing");
  ASSERT_EQ(read.passmasks.size(), 1);
  EXPECT_EQ(read.passmasks[0], list.passmasks[0]);
}

TEST_F(PassmaskListTest, OtherVersionsAreRefusedOnlyWhileTheCheckIsActive) {
  const auto loadsVersion = [&](std::string_view version) {
    writeFile(path_, "<aPassmaskList strVersion=\"" + std::string(version) +
                         "\"><Passmask><a>5</a><b/><c/><d/><e/>"
                         "</Passmask></aPassmaskList>");
    PassmaskList read;
    const bool loaded = load(read);
    if (loaded) {
      EXPECT_EQ(read.version, VersionRecord::Parse(version));
    }
    return loaded;
  };
  for (std::string_view version : {"1.0.0.0", "1.0.1.0", "1.1.0.0", "7.0.1.0", "0.9.0.0", "1.0.123.4567"}) {
    EXPECT_TRUE(loadsVersion(version)) << version;
  }
  win::SetAppTitle(std::string(kVersionCheckingTitle));
  for (std::string_view version : {"1.0.0.0", "1.0.1.0", "1.0.9.9"})
    EXPECT_TRUE(loadsVersion(version)) << version;
  for (std::string_view version : {"1.1.0.0", "0.9.0.0", "2.0.0.0"})
    EXPECT_FALSE(loadsVersion(version)) << version;

  std::string reason;
  PassmaskList read;
  EXPECT_FALSE(load(read, &reason));
  EXPECT_NE(reason.find("version 2.0.0.0"), std::string::npos) << reason;
  EXPECT_NE(reason.find("(1.0.x.x)"), std::string::npos) << reason;
}

TEST_F(PassmaskListTest, TheThreeSavesChooseTheVersionWritten) {
  const auto writtenVersion = [&] {
    PassmaskList read;
    EXPECT_TRUE(load(read));
    return read.version.ToString();
  };
  const PassmaskList list = smallList();
  PassmaskListIO io(path_);
  // No file to replace yet: the class's own version.
  ASSERT_TRUE(io.SaveKeepingVersion(list));
  EXPECT_EQ(writtenVersion(), "1.0.1.0");
  ASSERT_TRUE(io.SaveWithVersion(list, {1, 0, 0, 0}));
  EXPECT_EQ(writtenVersion(), "1.0.0.0");
  ASSERT_TRUE(PassmaskListIO(path_).SaveKeepingVersion(list));
  EXPECT_EQ(writtenVersion(), "1.0.0.0");
  // The check refuses 7.0 but the version is still kept.
  ASSERT_TRUE(PassmaskListIO(path_).SaveWithVersion(list, {7, 0, 1, 0}));
  win::SetAppTitle(std::string(kVersionCheckingTitle));
  ASSERT_TRUE(PassmaskListIO(path_).SaveKeepingVersion(list));
  win::SetAppTitle("");
  EXPECT_EQ(writtenVersion(), "7.0.1.0");
  ASSERT_TRUE(PassmaskListIO(path_).Save(list));
  EXPECT_EQ(writtenVersion(), "1.0.1.0");
}

TEST_F(PassmaskListTest, AFailedWriteRaisesWithTheReasonKept) {
  PassmaskListIO io(dir_.file("missing/Pelagon KD.pmp"));
  const int comBefore = win::ComInitCount();
  EXPECT_THROW(io.Save(smallList()), win::_com_error);
  EXPECT_NE(io.LastError().find("cannot be written"), std::string::npos) << io.LastError();
  EXPECT_EQ(win::ComInitCount(), comBefore);
}

TEST_F(PassmaskListTest, ReadDocumentLetsFailuresThrough) {
  xml::DocumentPtr document = PassmaskListIO("").CreateDocument(smallList());
  PassmaskList read;
  PassmaskListIO::ReadDocument(document, read);
  EXPECT_EQ(read.passmasks, smallList().passmasks);
  xml::DocumentPtr wrong = xml::Document::Create();
  ASSERT_TRUE(wrong->loadFromMemory("<DeviceSeries strVersion=\"1.0.1.0\"/>").ok);
  EXPECT_THROW(PassmaskListIO::ReadDocument(wrong, read), ICommonIO::InterpretException);
}

}  // namespace
}  // namespace pelagon::test
