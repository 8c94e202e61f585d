// The generator: the same bytes whenever and wherever it runs, and the older media layout.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include <pelagon/model/media_file.h>
#include <pelagon/payload/generator/carried_media_layout.h>
#include <pelagon/payload/payload_resources.h>
#include "payload_blocks.h"
#include <pelagon/platform/code_page.h>
#include <pelagon/platform/com.h>
#include "../support/test_support.h"
#include <pelagon/xmlio/dom_creator.h>

namespace pelagon::test {
namespace {

std::string shellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

// Another time, time zone, locale and code page than the build's: none may show in the bytes.
TEST(PayloadGenerator, MakesTheEmbeddedBytesAgain) {
  TempDir dir;
  const std::string command = "env PELAGON_ACP=1252 TZ=Pacific/Kiritimati LC_ALL=C " +
                              shellQuoted(PELAGON_PAYLOAD_GENERATOR) + " " + shellQuoted(dir.path().string());
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;

  std::ostringstream expectedManifest;
  for (const payload::ManifestEntry& entry : payload::kInstallManifest) {
    if (entry.kind == payload::PayloadKind::Folder) continue;
    const std::string name = payload::BlockFileName(entry);
    expectedManifest << entry.resourceId << " BIN " << name << "\n";
    // The size first, so that a difference does not print megabytes.
    const std::string made = readFile(dir.path() / name);
    const std::string_view embedded = payloadBlock(entry.resourceId);
    ASSERT_EQ(made.size(), embedded.size()) << name;
    EXPECT_TRUE(made == embedded) << name << " differs from the embedded block";
  }
  const std::string manifest = readFile(dir.path() / "payload_manifest.txt");
  EXPECT_EQ(manifest.substr(manifest.find('\n') + 1), expectedManifest.str());
  EXPECT_NE(readFile(dir.path() / "payload_blocks.S").find(".incbin"), std::string::npos);
}

TEST(PayloadGenerator, RefusesAMissingOutputFolderArgument) {
  const int status = std::system((shellQuoted(PELAGON_PAYLOAD_GENERATOR) + " 2>/dev/null").c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_NE(WEXITSTATUS(status), 0);
}

class CarriedMediaLayout : public ::testing::Test {
protected:
  void SetUp() override { win::SetACP(win::CP_UTF8); }
  void TearDown() override { dropComInitialisations(); }
};

// A medium with every newer element present: the custom screen writes "screenOption".
MediaFile newerMediaFile() {
  MediaInfo medium;
  medium.strMediaName.fill("Generic Vinyl Template");
  medium.strBaseMediaName = medium.strMediaName;
  PermissionSet permission;
  permission.nPermissionIndex = 4;
  permission.anInkConfigIndexList = {0};
  permission.eDirection = 131075;
  permission.eScreen = kCustomScreen;
  permission.screenOption.bUseCustomSetting = true;
  permission.screenOption.flDegrees = {15.0F, 45.0F};
  permission.bVisiblePermission = false;
  permission.bRecommended = true;
  permission.strPrinterProfile = "DefaultCMYKPrinter.icc";
  medium.aPermissionSetList = {permission};
  medium.aflFeedCalibration = {0.125F};
  medium.nHalfCutForce = 35;
  medium.nDeepCutForce = 160;
  MediaFile file;
  file.version = VersionRecord::Parse("5.0.0.0");
  file.strSeriesName = "Pelagon";
  file.media = {medium};
  return file;
}

TEST_F(CarriedMediaLayout, LeavesOutExactlyTheNewerElements) {
  const win::ComScope com;
  ASSERT_TRUE(EnsureMsxmlAvailable());
  const MediaFile newer = newerMediaFile();
  const xml::DocumentPtr document = payload::CarriedMediaDocument(newer);
  const std::string text = document->saveToString();
  EXPECT_TRUE(text.starts_with(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Halden_Media_File strVersion=\"5.0.0.0\">"));
  EXPECT_EQ(text.find("nHalfCutForce"), std::string::npos);
  EXPECT_EQ(text.find("screenOption"), std::string::npos);
  EXPECT_EQ(text.find("bRecommended"), std::string::npos);
  // Everything else, empty texts and empty lists in their forms, as the library wrote it.
  const std::string library = MediaFileIO("").CreateDocument(newer)->saveToString();
  std::string reduced = library;
  for (const std::string& element : {std::string("<nHalfCutForce>35.000</nHalfCutForce>"),
                                     std::string("<bRecommended>true</bRecommended>")}) {
    const std::size_t at = reduced.find(element);
    ASSERT_NE(at, std::string::npos) << element;
    reduced.erase(at, element.size());
  }
  const std::size_t screenStart = reduced.find("<screenOption>");
  const std::size_t screenEnd = reduced.find("</screenOption>");
  ASSERT_NE(screenStart, std::string::npos);
  reduced.erase(screenStart, screenEnd + std::string("</screenOption>").size() - screenStart);
  const std::size_t versionAt = reduced.find("5.0.1.0");
  ASSERT_NE(versionAt, std::string::npos);
  reduced.replace(versionAt, 7, "5.0.0.0");
  EXPECT_EQ(text, reduced);

  // Read back, the reader supplies the older layout's defaults.
  MediaFile read;
  MediaFileIO::ReadDocument(document, read);
  MediaFile expected = newer;
  PermissionSet& permission = expected.media[0].aPermissionSetList[0];
  permission.bRecommended = permission.bVisiblePermission;
  permission.screenOption = ScreenOption{};
  expected.media[0].nHalfCutForce = 0;
  EXPECT_TRUE(read == expected);
}

TEST_F(CarriedMediaLayout, KnowsTheNewerElementsByTheirParents) {
  const win::ComScope com;
  ASSERT_TRUE(EnsureMsxmlAvailable());
  const xml::DocumentPtr document = xml::Document::Create();
  xml::Node media = document->node().appendChild(document->createElement("MediaInfo"));
  xml::Node permission = media.appendChild(document->createElement("PermissionSet"));
  EXPECT_TRUE(payload::IsNewerLayoutElement(media.appendChild(document->createElement("nHalfCutForce"))));
  EXPECT_FALSE(payload::IsNewerLayoutElement(media.appendChild(document->createElement("bRecommended"))));
  EXPECT_TRUE(payload::IsNewerLayoutElement(permission.appendChild(document->createElement("bRecommended"))));
  EXPECT_TRUE(payload::IsNewerLayoutElement(permission.appendChild(document->createElement("screenOption"))));
  EXPECT_FALSE(
      payload::IsNewerLayoutElement(permission.appendChild(document->createElement("nHalfCutForce"))));
  EXPECT_FALSE(payload::IsNewerLayoutElement(permission.appendChild(document->createElement("eScreen"))));
}

}  // namespace
}  // namespace pelagon::test
