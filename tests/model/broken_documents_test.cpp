// A document that cannot be read says where: the list entries down to the element at fault,
// then what is wrong there. Each case breaks a written document the way a hand edit would.

#include <gtest/gtest.h>

#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>

#include <pelagon/model/device_series.h>
#include <pelagon/model/media_file.h>
#include <pelagon/model/passmask_list.h>
#include <pelagon/platform/com.h>

#include "../support/sample_series.h"
#include "../support/test_support.h"

namespace pelagon::test {
namespace {

enum class Kind { Series, Media, Passmasks };

// The place of the last of `steps`, each found after the one before.
std::size_t placeOf(const std::string& text, std::initializer_list<std::string_view> steps) {
  std::size_t at = 0;
  for (std::string_view step : steps) {
    at = text.find(step, at == 0 ? 0 : at + 1);
    if (at == std::string::npos) throw std::logic_error("not in the document: " + std::string(step));
  }
  return at;
}

// The text without what runs from the last of `steps` through `through`.
std::string cut(std::string text, std::initializer_list<std::string_view> steps, std::string_view through) {
  const std::size_t from = placeOf(text, steps);
  const std::size_t to = text.find(through, from);
  if (to == std::string::npos) throw std::logic_error("not in the document: " + std::string(through));
  return text.erase(from, to + through.size() - from);
}

std::string inserted(std::string text, std::initializer_list<std::string_view> steps, std::string_view what) {
  return text.insert(placeOf(text, steps), what);
}

class BrokenDocumentsTest : public ::testing::Test {
protected:
  void TearDown() override { dropComInitialisations(); }

  std::string written(Kind kind) {
    const std::string path = dir_.file("written");
    const DeviceSeries series = makeSampleSeries();
    if (kind == Kind::Series) {
      DeviceSeries source = series;
      EXPECT_TRUE(DeviceSeriesIO2(path).Save(source));
    } else if (kind == Kind::Media) {
      MediaFile file;
      file.strSeriesName = "Pelagon";
      for (int i = 0; i < 3; ++i) file.media.append(series.aMediaInfoList[i]);
      EXPECT_TRUE(MediaFileIO(path).Save(file, xml::SaveForm::Compact));
    } else {
      PassmaskList list;
      list.passmasks.append({0, "x1", "1", "1.0", 96, {"96"}});
      list.passmasks.append({1, "x2", "1", "1.0", 0, {}});
      EXPECT_TRUE(PassmaskListIO(path).Save(list, xml::SaveForm::Compact));
    }
    return readFile(path);
  }

  // Why the load of `text` fails, after the file's quoted path.
  std::string reasonFor(Kind kind, const std::string& text) {
    const std::string path = dir_.file("broken");
    writeFile(path, text);
    const std::string reason = kind == Kind::Series  ? reasonOf<DeviceSeriesIO2, DeviceSeries>(path)
                               : kind == Kind::Media ? reasonOf<MediaFileIO, MediaFile>(path)
                                                     : reasonOf<PassmaskListIO, PassmaskList>(path);
    const std::string prefix = "\"" + path + "\": ";
    if (reason.rfind(prefix, 0) != 0) return "not placed: " + reason;
    return reason.substr(prefix.size());
  }

  template <typename IO, typename Target>
  static std::string reasonOf(const std::string& path) {
    IO io(path);
    Target read;
    EXPECT_FALSE(io.Load(read));
    return io.LastError();
  }

  win::ComScope com_;
  TempDir dir_;
};

TEST_F(BrokenDocumentsTest, TheReasonNamesThePlace) {
  const std::string series = written(Kind::Series);
  const std::string media = written(Kind::Media);
  const std::string passmasks = written(Kind::Passmasks);
  struct Case {
    Kind kind;
    std::string text;
    std::string_view reason;
  };
  const Case cases[] = {
      {Kind::Series, "<DeviceSeries strVersion=\"3.3.0.0\"><foo/></DeviceSeries>",
       R"(DeviceSeries: unexpected element "foo" at child 0 (expected aModelInfoList))"},
      {Kind::Series, cut(series, {"<aResolutionInfoList>"}, "</aResolutionInfoList>"),
       "DeviceSeries: child 3 (aResolutionInfoList) is missing"},
      {Kind::Series,
       inserted(series, {"<aInkInfoList>", "<InkInfo>", "<InkInfo>", "<InkInfo>"}, "<!-- x -->"),
       "aInkInfoList: unexpected comment at child 2 (expected InkInfo)"},
      {Kind::Series,
       cut(series, {"<aModelInfoList>", "<ModelInfo>", "<ModelInfo>", "<value23>"}, "</value23>"),
       R"(aModelInfoList[1] "Pelagon KD-641" / nHeadPositionIndex: child 23 is missing)"},
      {Kind::Series, cut(series, {"<strCutTailer>"}, "</strCutTailer>"),
       "commandSet: child 4 (strCutTailer) is missing"},
      {Kind::Series, inserted(series, {"<strInitialize>", "</strInitialize>"}, "\\q"),
       "commandSet / strInitialize: decodeEscapedString(): unrecognized escape sequence"},
      {Kind::Series,
       inserted(series, {"<aMediaInfoList>", "<MediaInfo>", "<MediaInfo>", "<MediaInfo>"}, "<foo/>"),
       R"(aMediaInfoList: unexpected element "foo" at child 2 (expected MediaInfo))"},
      {Kind::Series,
       cut(series, {"<aMediaInfoList>", "<MediaInfo>", "<MediaInfo>", "<MediaInfo>", "<nDryTime>"},
           "</nDryTime>"),
       R"(aMediaInfoList[2] "Generic Vinyl 2 [0]" / MediaInfo: child 5 (nDryTime) is missing)"},
      {Kind::Series,
       inserted(series,
                {"<aMediaInfoList>", "<MediaInfo>", "<MediaInfo>", "<MediaInfo>", "<aQualityInfoList>"},
                "<foo/>"),
       R"(aMediaInfoList[2] "Generic Vinyl 2 [0]" / MediaInfo: unexpected element "foo" at child 3 (expected aQualityInfoList))"},
      {Kind::Series,
       cut(series,
           {"<aMediaInfoList>", "<MediaInfo>", "<MediaInfo>", "<MediaInfo>", "<PermissionSet>",
            "<PermissionSet>", "<nModeIndex>"},
           "</strNextPermissionIndex>"),
       R"(aMediaInfoList[2] "Generic Vinyl 2 [0]" / aPermissionSetList[1] / PermissionSet: child 3 (nModeIndex) is missing)"},
      {Kind::Series, cut(series, {"<aMediaInfoList>", "<lab>", "<b>"}, "</b>"),
       R"(aMediaInfoList[0] "Generic Vinyl 0 [0]" / aPermissionSetList[0] / aCalibrationInfoList[0] / lab[0] / value: child 2 (b) is missing)"},
      {Kind::Media, inserted(media, {"<data>", "<MediaInfo>", "<MediaInfo>", "<PermissionSet>"}, "<foo/>"),
       R"(data[1] "Generic Vinyl 1 [0]" / aPermissionSetList: unexpected element "foo" at child 0 (expected PermissionSet))"},
      {Kind::Media, cut(media, {"<data>"}, "<ProfileList/>"), "Halden_Media_File: child 1 (data) is missing"},
      {Kind::Passmasks,
       cut(passmasks, {"<Passmask>", "<Passmask>", "<nOverlapNozzleCount>"}, "</nOverlapNozzleCount>"),
       R"(aPassmaskList[1] "x2" / Passmask: child 4 (nOverlapNozzleCount) is missing)"},
      {Kind::Passmasks, inserted(passmasks, {"</aPassmaskList>"}, "<Passmask/>"),
       "aPassmaskList[2] / Passmask: child 0 (nPassmaskIndex) is missing"},
  };
  for (const Case& broken : cases) EXPECT_EQ(reasonFor(broken.kind, broken.text), broken.reason);
}

// Whoever reads a record on its own still gets the reader's E_POINTER, now with the place.
TEST_F(BrokenDocumentsTest, ARecordReaderRaisesItsPlaceAsThePointerError) {
  const std::string text = cut(written(Kind::Series), {"<aMediaInfoList>", "<ms>"}, "</ms>");
  const xml::DocumentPtr document = xml::Document::Create();
  ASSERT_TRUE(document->loadFromMemory(text).ok);
  DeviceSeries read;
  try {
    DeviceSeriesIO::ReadDocument(document, read);
    ADD_FAILURE() << "read a broken time stamp";
  } catch (const win::_com_error& error) {
    EXPECT_EQ(error.Error(), win::E_POINTER);
    EXPECT_EQ(
        error.Description(),
        R"(aMediaInfoList[0] "Generic Vinyl 0 [0]" / TimeStamp: an element the format requires is missing)");
  }
}

}  // namespace
}  // namespace pelagon::test
