#include <pelagon/xmlio/common_io.h>

#include <gtest/gtest.h>

#include <pelagon/platform/app_title.h>
#include <pelagon/platform/com.h>
#include "../support/test_support.h"

namespace pelagon::test {
namespace {

// A document class like the device-series readers: root "DeviceSeries", version 3.3.0.0.
struct SeriesLikeIO : virtual ICommonIO {
  explicit SeriesLikeIO(std::string file) : ICommonIO(std::move(file)) {}
  VersionRecord& GetVersion(VersionRecord& version) const override {
    version = VersionRecord::Parse("3.3.0.0");
    return version;
  }
  std::string GetRootName() const override { return "DeviceSeries"; }
};

class CommonIOTest : public ::testing::Test {
protected:
  void TearDown() override {
    win::SetAppTitle("");
    dropComInitialisations();
  }

  std::string fileWith(const std::string& text) {
    const std::string path = dir_.file(std::string("f").append(std::to_string(++count_)).append(".dsr"));
    writeFile(path, text);
    return path;
  }

  // What FindRootElement makes of a document: "ok", the exception's text, or the order.
  std::string outcome(const std::string& text) {
    SeriesLikeIO io(fileWith(text));
    if (!io.EnsureDocument()) return "not loaded";
    try {
      io.FindRootElement();
      return "ok " + std::to_string(io.GetFileVersionNumber());
    } catch (const ICommonIO::VersionMismatchException& mismatch) {
      return "mismatch " + mismatch.found.ToString() + " expected " + mismatch.expected.ToString();
    } catch (const std::exception& error) {
      return error.what();
    }
  }

  TempDir dir_;
  int count_ = 0;
};

TEST_F(CommonIOTest, RootIsTheFirstElementOfTheRightNameAndCarriesTheVersion) {
  EXPECT_EQ(outcome("<!-- made by hand --><DeviceSeries strVersion=\"3.3.0.0\"/>"), "ok 3030000");
  EXPECT_EQ(outcome("<deviceseries strVersion=\"3.3.0.0\"/>"),
            "XMLIO reader reports lexically conforming but invalid structured xml file");
  EXPECT_EQ(outcome("<DeviceSeries version=\"3.3.0.0\"/>"), "DeviceSeriesIO: Lacking version attribute");
  // Without the checking title any version is taken.
  EXPECT_EQ(outcome("<DeviceSeries strVersion=\"7.0.1.0\"/>"), "ok 7000100");
  EXPECT_EQ(outcome("<DeviceSeries strVersion=\"2\"/>"), "ok 2000000");
  EXPECT_EQ(outcome("<DeviceSeries strVersion=\"\"/>"), "ok 0");
}

TEST_F(CommonIOTest, TheCheckingTitleRejectsOtherMajorAndMinorVersions) {
  win::SetAppTitle(std::string(kVersionCheckingTitle));
  EXPECT_EQ(outcome("<DeviceSeries strVersion=\"3.3.9.9\"/>"), "ok 3030909");
  EXPECT_EQ(outcome("<DeviceSeries strVersion=\"3.2.0.0\"/>"), "mismatch 3.2.0.0 expected 3.3.0.0");

  const std::pair<std::string, int> orders[] = {{"3.3.1.0", 0}, {"3.2.0.0", -1}, {"2.5.0.0", -1},
                                                {"3.4.0.0", 1}, {"4.0.0.0", -1}, {"4.5.0.0", 1}};
  for (const auto& [version, order] : orders) {
    SeriesLikeIO io(fileWith("<DeviceSeries strVersion=\"" + version + "\"/>"));
    EXPECT_EQ(io.CheckVersion(), order) << version;
  }
  // A check that cannot read the file answers 0.
  SeriesLikeIO missing(dir_.file("missing.dsr"));
  EXPECT_EQ(missing.CheckVersion(), 0);

  win::SetAppTitle("Halden Chromalith");
  EXPECT_EQ(outcome("<DeviceSeries strVersion=\"3.2.0.0\"/>"), "ok 3020000");
}

TEST_F(CommonIOTest, EnsureDocumentRetriesWithAFreshCreatorAfterAFailure) {
  const std::string path = dir_.file("late.dsr");
  SeriesLikeIO io(path);
  EXPECT_FALSE(io.EnsureDocument());
  EXPECT_TRUE(io.creator.hasError);
  writeFile(path, "<DeviceSeries strVersion=\"1.0.0.0\"/>");
  EXPECT_TRUE(io.EnsureDocument());
  EXPECT_FALSE(io.creator.hasError);
  EXPECT_EQ(io.GetFileVersionNumber(), 0);  // nothing read until the root is looked for
}

TEST_F(CommonIOTest, RootElementIsWrittenWithTheClassVersion) {
  SeriesLikeIO io(dir_.file("out.dsr"));
  win::ComScope com;
  ASSERT_TRUE(EnsureMsxmlAvailable());
  xml::DocumentPtr document = NewDocument([&io](xml::Document& doc) { return io.CreateRootElement(doc); });
  EXPECT_EQ(document->saveToString(),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<DeviceSeries strVersion=\"3.3.0.0\"/>");
}

TEST(VersionRecordTest, TextPackingAndOrder) {
  EXPECT_EQ(VersionRecord::Parse("3.3.0.0"), (VersionRecord{3, 3, 0, 0}));
  EXPECT_EQ(VersionRecord::Parse(" 5.0.1"), (VersionRecord{5, 0, 1, 0}));
  EXPECT_EQ(VersionRecord::Parse("1.x.3.4"), (VersionRecord{1, 0, 0, 0}));
  EXPECT_EQ(VersionRecord::Parse("-1.2.3.4.5"), (VersionRecord{-1, 2, 3, 4}));
  EXPECT_EQ((VersionRecord{7, 0, 1, 0}).Pack(), 7000100);
  EXPECT_EQ(VersionRecord::Unpack(7000100), (VersionRecord{7, 0, 1, 0}));
  EXPECT_EQ((VersionRecord{3, 3, 0, 0}).ToString(), "3.3.0.0");
  // Parts outside 0-99 do not survive packing; huge ones wrap instead of overflowing.
  EXPECT_EQ(VersionRecord::Unpack((VersionRecord{1, 123, 0, 0}).Pack()), (VersionRecord{2, 23, 0, 0}));
  (void)VersionRecord::Parse("99999999999.99999999999.9.9").Pack();

  EXPECT_EQ(VersionOrder({2, 5, 0, 0}, {3, 3, 0, 0}), -1);
  EXPECT_EQ(VersionOrder({3, 4, 0, 0}, {3, 3, 0, 0}), 1);
  EXPECT_EQ(VersionOrder({4, 0, 0, 0}, {3, 3, 0, 0}), -1);
  EXPECT_EQ(VersionOrder({3, 3, 7, 7}, {3, 3, 0, 0}), 0);
}

TEST(VersionRecordTest, MismatchKeepsBothVersionsAfterTheThrowerIsGone) {
  const auto thrower = [] {
    VersionRecord expected{3, 3, 0, 0};
    VersionRecord found{2, 5, 0, 0};
    throw ICommonIO::VersionMismatchException(expected, found);
  };
  try {
    thrower();
  } catch (const ICommonIO::VersionMismatchException& mismatch) {
    EXPECT_EQ(mismatch.found, (VersionRecord{2, 5, 0, 0}));
    EXPECT_EQ(mismatch.expected, (VersionRecord{3, 3, 0, 0}));
    EXPECT_STREQ(mismatch.what(), "Unknown exception");
  }
}

}  // namespace
}  // namespace pelagon::test
