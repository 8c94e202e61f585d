// The XSD schemas in schemas/ against what the library writes: every written document
// conforms, and the faults a schema is there to catch are refused.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

#include <pelagon/model/device_series.h>
#include <pelagon/model/media_file.h>
#include <pelagon/model/passmask_list.h>
#include <pelagon/platform/hresult.h>
#include "../support/sample_series.h"
#include "../support/test_support.h"
#include <pelagon/xmlio/dom_creator.h>
#include <pelagon/xmlio/schema_validation.h>

namespace pelagon::test {
namespace {

std::string schemaPath(std::string_view name) { return (schemaDir() / name).string(); }

// Empty when the file conforms; otherwise why not.
std::string validationProblem(const std::string& file, std::string_view schema) {
  MSXMLDOMCreator creator;
  creator.LoadValidatedDocument(file, schemaPath(schema));
  if (!creator.hasError && creator.document) return {};
  return creator.errorText.empty() ? "rejected without a reason" : creator.errorText;
}

// The text with the first `from` replaced; a missing `from` would make the test vacuous.
std::string replaced(std::string text, std::string_view from, std::string_view to) {
  const std::size_t at = text.find(from);
  if (at == std::string::npos) throw std::logic_error("not in the document: " + std::string(from));
  return text.replace(at, from.size(), to);
}

// The text without the first `<name>...</name>`, or without every one.
std::string withoutElement(std::string text, const std::string& name, bool everyOne = false) {
  const std::string open = "<" + name + ">";
  const std::string close = "</" + name + ">";
  std::size_t from = text.find(open);
  if (from == std::string::npos) throw std::logic_error("not in the document: " + open);
  do {
    const std::size_t to = text.find(close, from);
    if (to == std::string::npos) throw std::logic_error("not closed: " + open);
    text.erase(from, to + close.size() - from);
    from = text.find(open, from);
  } while (everyOne && from != std::string::npos);
  return text;
}

MediaFile sampleMediaFile() {
  const DeviceSeries series = makeSampleSeries();
  MediaFile file;
  file.strSeriesName = "Pelagon";
  // With and without screen settings, UV lamps and calibration.
  file.media.append(series.aMediaInfoList[0]);
  file.media.append(series.aMediaInfoList[1]);
  // Every list empty and every text empty.
  file.media.append(MediaInfo{});
  return file;
}

PassmaskList samplePassmaskList() {
  PassmaskList list;
  Passmask single;
  single.nPassmaskIndex = 0;
  single.strPassmaskName = "x2";
  single.strPassmaskMode = "1";
  single.strInkConsumptionRate = "1.0,1.0,1.0,1.0";
  single.nOverlapNozzleCount = 96;
  single.astrPassmaskCommand = {"96"};
  list.passmasks.append(single);

  Passmask pieces;
  pieces.nPassmaskIndex = 11;
  pieces.strPassmaskName = "900x900 onWh 12+4";
  pieces.strPassmaskMode = "M1";
  pieces.strInkConsumptionRate = "1.0,1.0";
  pieces.nOverlapNozzleCount = -4;
  // Three pieces; then an empty command (one empty piece); then one cut by characters, not
  // bytes (4097 two-byte characters).
  std::string wide;
  for (int i = 0; i < 4097; ++i) wide += "\xC3\xA9";
  pieces.astrPassmaskCommand = {std::string(9857, 'A'), "", wide};
  list.passmasks.append(pieces);

  // No command at all.
  list.passmasks.append(Passmask{});
  return list;
}

class SchemaTest : public ::testing::Test {
protected:
  // A relative __FILE__ resolves against the working folder, not the source tree.
  void SetUp() override {
    ASSERT_TRUE(std::filesystem::is_directory(schemaDir())) << schemaDir() << ": set PELAGON_SCHEMAS";
  }
  void TearDown() override { dropComInitialisations(); }

  // The compact text the device-series writer gives for the sample series.
  std::string writtenSeries() {
    DeviceSeries series = makeSampleSeries();
    const std::string path = dir.file("written.dsr");
    EXPECT_TRUE(DeviceSeriesIO2(path).Save(series));
    return readFile(path);
  }

  // `text` written to a file of its own, checked against `schema`.
  std::string problemOf(const std::string& text, std::string_view schema) {
    const std::string path = dir.file("edited.xml");
    writeFile(path, text);
    return validationProblem(path, schema);
  }

  // `value` saved by `IO` in both forms, each checked against `schema`.
  template <typename IO, typename Value>
  void expectConformsInBothForms(const Value& value, const std::string& name, std::string_view schema) {
    for (const xml::SaveForm form : {xml::SaveForm::Compact, xml::SaveForm::Indented}) {
      const std::string path = dir.file(name);
      ASSERT_TRUE(IO(path).Save(value, form));
      EXPECT_EQ(validationProblem(path, schema), "") << static_cast<int>(form);
    }
  }

  TempDir dir;
};

// A schema that does not compile would make LoadValidatedDocument load without validating,
// so every other test would pass for the wrong reason.
TEST_F(SchemaTest, EverySchemaCompiles) {
  for (const char* name : {"records.xsd", "device_series.xsd", "media_file.xsd", "passmask_list.xsd"}) {
    try {
      detail::LoadSchema(schemaPath(name));
    } catch (const win::_com_error& error) {
      ADD_FAILURE() << name << ": " << error.Description();
    }
  }
}

TEST_F(SchemaTest, WrittenDeviceSeriesConforms) {
  DeviceSeries sample = makeSampleSeries();
  // Every byte value through the escaped form of the command strings.
  for (int byte = 0; byte < 256; ++byte) sample.commandSet.strCancel += static_cast<char>(byte);
  sample.aInkInfoList[0].strShortInkName = "Wei\xC3\x9F";
  const std::string samplePath = dir.file("sample.dsr");
  ASSERT_TRUE(DeviceSeriesIO2(samplePath).Save(sample));
  EXPECT_EQ(validationProblem(samplePath, "device_series.xsd"), "");

  DeviceSeries empty;
  const std::string emptyPath = dir.file("empty.dsr");
  ASSERT_TRUE(DeviceSeriesIO2(emptyPath).Save(empty));
  EXPECT_EQ(validationProblem(emptyPath, "device_series.xsd"), "");

  // Each schema takes its own document kind only.
  EXPECT_NE(validationProblem(samplePath, "media_file.xsd"), "");
  EXPECT_NE(validationProblem(samplePath, "passmask_list.xsd"), "");
}

TEST_F(SchemaTest, WrittenMediaFileConformsInBothForms) {
  expectConformsInBothForms<MediaFileIO>(sampleMediaFile(), "media.rmt", "media_file.xsd");
}

TEST_F(SchemaTest, OlderMediaLayoutConformsInMediaFilesOnly) {
  MediaFile file = sampleMediaFile();
  for (MediaInfo& medium : file.media) {
    for (PermissionSet& permission : medium.aPermissionSetList) permission.eScreen = 65569;
  }
  const std::string path = dir.file("media.rmt");
  ASSERT_TRUE(MediaFileIO(path).Save(file, xml::SaveForm::Compact));
  const std::string older =
      withoutElement(withoutElement(readFile(path), "nHalfCutForce", true), "bRecommended", true);
  EXPECT_EQ(problemOf(older, "media_file.xsd"), "");

  // The device-series writer always writes both.
  EXPECT_NE(problemOf(withoutElement(writtenSeries(), "nHalfCutForce"), "device_series.xsd"), "");
  EXPECT_NE(problemOf(withoutElement(writtenSeries(), "bRecommended"), "device_series.xsd"), "");
}

TEST_F(SchemaTest, WrittenPassmaskListConformsInBothForms) {
  expectConformsInBothForms<PassmaskListIO>(samplePassmaskList(), "passmasks.pmp", "passmask_list.xsd");
}

TEST_F(SchemaTest, BrokenDeviceSeriesIsRejected) {
  const std::string written = writtenSeries();
  ASSERT_EQ(problemOf(written, "device_series.xsd"), "");

  struct Case {
    const char* what;
    std::string text;
  };
  const Case cases[] = {
      {"a real without three decimals",
       replaced(written, "<dMaxWidth>1346.200</dMaxWidth>", "<dMaxWidth>1.5</dMaxWidth>")},
      {"a missing positional list", withoutElement(written, "aVControlPointList")},
      {"an unknown element among the positional lists",
       replaced(written, "<aPatternInfoList>", "<aUnknownList/><aPatternInfoList>")},
      {"a truth value as a digit",
       replaced(written, "<bCutFeature>true</bCutFeature>", "<bCutFeature>1</bCutFeature>")},
      {"an integer with a plus sign", replaced(written, "<nHeadNum>8</nHeadNum>", "<nHeadNum>+8</nHeadNum>")},
      {"an integer beyond 32 bits",
       replaced(written, "<nHeadNum>8</nHeadNum>", "<nHeadNum>2147483648</nHeadNum>")},
      {"a fixed array one short",
       replaced(written, "<value23>-1</value23></nHeadPositionIndex>", "</nHeadPositionIndex>")},
      {"a language missing", withoutElement(written, "Arabic")},
      {"an unescaped backslash in a command",
       replaced(written, "<strCancel></strCancel>", "<strCancel>\\n</strCancel>")},
      {"a lower-case escape", replaced(written, "\\x0A", "\\x0a")},
      {"a lamp position twice", replaced(written, "position=\"1\"", "position=\"0\"")},
      {"a truncated output curve", replaced(written, "=</usOutputTable>", "</usOutputTable>")},
      {"a fractional cut force", replaced(written, "<nDeepCutForce>180.000<", "<nDeepCutForce>180.500<")},
      {"no version", replaced(written, " strVersion=\"3.3.0.0\"", "")},
  };
  for (const Case& broken : cases) EXPECT_NE(problemOf(broken.text, "device_series.xsd"), "") << broken.what;

  // Read by position, two swapped lists would each be read as the other's records.
  DeviceSeries empty;
  const std::string emptyPath = dir.file("empty.dsr");
  ASSERT_TRUE(DeviceSeriesIO2(emptyPath).Save(empty));
  EXPECT_NE(problemOf(replaced(readFile(emptyPath), "<aModelInfoList/><aInkInfoList/>",
                               "<aInkInfoList/><aModelInfoList/>"),
                      "device_series.xsd"),
            "");
}

TEST_F(SchemaTest, BrokenMediaFileAndPassmaskListAreRejected) {
  const std::string mediaPath = dir.file("media.rmt");
  ASSERT_TRUE(MediaFileIO(mediaPath).Save(sampleMediaFile(), xml::SaveForm::Compact));
  const std::string media = readFile(mediaPath);
  EXPECT_NE(problemOf(replaced(media, "<ProfileList/>", "<ProfileList><x/></ProfileList>"), "media_file.xsd"),
            "");
  EXPECT_NE(problemOf(withoutElement(media, "strSeriesName"), "media_file.xsd"), "");
  EXPECT_NE(problemOf(withoutElement(media, "TimeStamp"), "media_file.xsd"), "");

  const std::string passmaskPath = dir.file("passmasks.pmp");
  ASSERT_TRUE(PassmaskListIO(passmaskPath).Save(samplePassmaskList(), xml::SaveForm::Compact));
  const std::string passmasks = readFile(passmaskPath);
  EXPECT_NE(problemOf(replaced(passmasks, "<strPassmaskPiece>96<",
                               "<strPassmaskPiece>96" + std::string(4096, '9') + "<"),
                      "passmask_list.xsd"),
            "");
  EXPECT_NE(problemOf(replaced(passmasks, "<strPassmaskCommand><strPassmaskPiece>96</strPassmaskPiece>",
                               "<strPassmaskCommand>"),
                      "passmask_list.xsd"),
            "");
}

// A compact file holds whole lists on one line, so a problem is placed by its element's path;
// libxml2's own hints (its option names) stay out of the message.
TEST_F(SchemaTest, AProblemIsPlacedByItsElementPath) {
  const std::string written = writtenSeries();
  std::string deep = "<DeviceSeries>";
  for (int i = 0; i < 300; ++i) deep += "<a>";
  struct Case {
    std::string text;
    std::string_view placed;
    std::string_view says;
  };
  const Case cases[] = {
      {replaced(written, "<English>Generic Vinyl 2 [0]</English>",
                "<English>Generic Vinyl 2 [0]</English><foo/>"),
       "/DeviceSeries/aMediaInfoList/MediaInfo[3]/strMediaName/foo (line ",
       "This element is not expected."},
      {replaced(written, "<nDryTime>3</nDryTime>", "<nDryTime>abc</nDryTime>"),
       "/DeviceSeries/aMediaInfoList/MediaInfo[1]/nDryTime (line ", "'abc' is not a valid value"},
      {replaced(written, " strVersion=\"3.3.0.0\"", ""),
       "/DeviceSeries (line 2): ", "The attribute 'strVersion' is required but missing."},
      {deep, "line 1, column ", "elements are nested more than 256 deep, more than the validator reads"},
  };
  for (const Case& broken : cases) {
    const std::string problem = problemOf(broken.text, "device_series.xsd");
    EXPECT_EQ(problem.rfind(broken.placed, 0), 0u) << problem;
    EXPECT_NE(problem.find(broken.says), std::string::npos) << problem;
    EXPECT_EQ(problem.find("XML_PARSE"), std::string::npos) << problem;
  }
}

}  // namespace
}  // namespace pelagon::test
