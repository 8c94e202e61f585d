#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <string>

#include <pelagon/payload/payload_catalogue.h>
#include <pelagon/payload/payload_resources.h>
#include "payload_blocks.h"
#include <pelagon/platform/linux/program_resources.h>

namespace pelagon::test {
namespace {

using payload::kInstallManifest;
using payload::ManifestEntry;
using payload::PayloadBase;
using payload::PayloadKind;
using payload::Series;

std::size_t countKind(PayloadKind kind) {
  return static_cast<std::size_t>(std::count_if(kInstallManifest.begin(), kInstallManifest.end(),
                                                [kind](const ManifestEntry& e) { return e.kind == kind; }));
}

std::string_view folderOf(std::string_view relativePath) {
  return relativePath.substr(0, relativePath.find_last_of('\\'));
}

TEST(PayloadCatalogue, HoldsTheInstallationStepsInTheirOrder) {
  EXPECT_EQ(countKind(PayloadKind::Bitmap), 2U);
  EXPECT_EQ(countKind(PayloadKind::MediaFile), 6U);
  EXPECT_EQ(countKind(PayloadKind::PassmaskList), 6U);
  EXPECT_EQ(countKind(PayloadKind::Folder), 5U);
  EXPECT_EQ(countKind(PayloadKind::IccProfile), 76U);
  EXPECT_EQ(countKind(PayloadKind::DeviceSeries), 6U);
  EXPECT_EQ(kInstallManifest.size() - countKind(PayloadKind::Folder), payload::kPayloadFileCount);

  // Bitmaps, media and passmask files, folders, profiles, device series: never back.
  constexpr PayloadKind kOrder[] = {PayloadKind::Bitmap, PayloadKind::MediaFile,  PayloadKind::PassmaskList,
                                    PayloadKind::Folder, PayloadKind::IccProfile, PayloadKind::DeviceSeries};
  const auto rank = [&](PayloadKind kind) {
    return std::find(std::begin(kOrder), std::end(kOrder), kind) - kOrder;
  };
  for (std::size_t i = 1; i < kInstallManifest.size(); ++i) {
    EXPECT_LE(rank(kInstallManifest[i - 1].kind), rank(kInstallManifest[i].kind)) << i;
  }
  const ManifestEntry& last = kInstallManifest.back();
  EXPECT_EQ(last.relativePath, "Pelagon KD cmk.dsr");
  EXPECT_EQ(last.stringId, 42U);
  EXPECT_EQ(last.resourceId, 129U);
  // The folder steps: "Profiles\Pelagon" before the folders inside it.
  EXPECT_EQ(kInstallManifest[14].relativePath, "Profiles\\Pelagon");
  EXPECT_EQ(kInstallManifest[14].stringId, 83U);
}

TEST(PayloadCatalogue, IdsAreUniqueAndFoldersHaveNoResource) {
  std::set<unsigned> stringIds;
  std::set<unsigned> resourceIds;
  for (const ManifestEntry& entry : kInstallManifest) {
    EXPECT_TRUE(stringIds.insert(entry.stringId).second) << entry.stringId;
    if (entry.kind == PayloadKind::Folder) {
      EXPECT_EQ(entry.resourceId, 0U) << entry.relativePath;
      EXPECT_EQ(entry.base, PayloadBase::InstallPath) << entry.relativePath;
    } else {
      EXPECT_NE(entry.resourceId, 0U) << entry.relativePath;
      EXPECT_TRUE(resourceIds.insert(entry.resourceId).second) << entry.resourceId;
    }
  }
  // The profile ids skip 148 and 151; the string ids 137 to 139 hold "(none)".
  EXPECT_FALSE(payload::FindPayloadFile(148).has_value());
  EXPECT_FALSE(payload::FindPayloadFile(151).has_value());
  EXPECT_FALSE(payload::FindPayloadFile(0).has_value());
  EXPECT_EQ(stringIds.count(137) + stringIds.count(138) + stringIds.count(139), 0U);
  const std::optional<ManifestEntry> profile = payload::FindPayloadFile(197);
  ASSERT_TRUE(profile.has_value());
  EXPECT_EQ(profile->stringId, 82U);
  EXPECT_EQ(payload::FileNameOf(profile->relativePath), "KDTE_GenericBacklit_900x600.icc");
}

TEST(PayloadCatalogue, DeviceFilesSitBesideTheirSeries) {
  std::map<Series, std::set<std::string>> extensions;
  for (const ManifestEntry& entry : kInstallManifest) {
    if (entry.kind == PayloadKind::Folder || entry.kind == PayloadKind::IccProfile) continue;
    EXPECT_EQ(entry.base, PayloadBase::DeviceFolder) << entry.relativePath;
    const std::string name(entry.relativePath);
    const std::string extension = name.substr(name.rfind('.'));
    EXPECT_EQ(name, std::string(payload::SeriesBaseName(entry.series)) + extension);
    EXPECT_TRUE(extensions[entry.series].insert(extension).second) << name;
  }
  for (const Series series : payload::kAllSeries) {
    for (const char* extension : {".dsr", ".rmt", ".pmp"}) {
      EXPECT_EQ(extensions[series].count(extension), 1U) << payload::SeriesBaseName(series) << extension;
    }
  }
}

TEST(PayloadCatalogue, ProfilesFillTheirFourFolders) {
  std::set<std::string_view> folders;
  for (const ManifestEntry& entry : kInstallManifest) {
    if (entry.kind == PayloadKind::Folder) folders.insert(entry.relativePath);
  }
  std::map<std::string_view, int> perFolder;
  for (const ManifestEntry& entry : payloadFiles(PayloadKind::IccProfile)) {
    EXPECT_EQ(entry.base, PayloadBase::InstallPath);
    EXPECT_EQ(folders.count(folderOf(entry.relativePath)), 1U) << entry.relativePath;
    ++perFolder[folderOf(entry.relativePath)];
  }
  EXPECT_EQ(perFolder["Profiles\\Pelagon\\Pelagon CMYKLcLmLk"], 27);
  EXPECT_EQ(perFolder["Profiles\\Pelagon\\Pelagon TM CMYK"], 9);
  EXPECT_EQ(perFolder["Profiles\\Pelagon\\Pelagon CMYK"], 20);
  EXPECT_EQ(perFolder["Profiles\\Pelagon\\Pelagon Element CMYK"], 20);
}

// The string table is the installer's; where it already holds a path, the two agree.
TEST(PayloadCatalogue, AgreesWithTheStringTable) {
  for (const ManifestEntry& entry : kInstallManifest) {
    const std::optional<std::string> text = win::LoadStringResource(entry.stringId);
    if (text) {
      EXPECT_EQ(*text, entry.relativePath) << entry.stringId;
    }
  }
}

TEST(PayloadCatalogue, NamesBlocksByResourceId) {
  EXPECT_EQ(payload::BlockFileName(kInstallManifest.front()), "bin-132.bmp");
  EXPECT_EQ(payload::BlockFileName(kInstallManifest.back()), "bin-129.dsr");
  EXPECT_EQ(payload::BlockFileName(*payload::FindPayloadFile(133)), "bin-133.icc");
}

TEST(PayloadResources, EmbedEveryPayloadFileInManifestOrder) {
  const std::span<const win::BinaryResource> resources = payload::Resources();
  ASSERT_EQ(resources.size(), payload::kPayloadFileCount);
  std::size_t next = 0;
  for (const ManifestEntry& entry : kInstallManifest) {
    if (entry.kind == PayloadKind::Folder) continue;
    const win::BinaryResource& resource = resources[next++];
    EXPECT_EQ(resource.id, entry.resourceId);
    EXPECT_EQ(resource.type, win::RT_BIN);
    EXPECT_NE(resource.data, nullptr);
    EXPECT_GT(resource.size, 0U) << entry.relativePath;
  }
}

TEST(PayloadResources, AreFoundThroughTheProgramResources) {
  win::SetProgramResources(payload::Resources());
  for (const win::BinaryResource& resource : payload::Resources()) {
    const win::HRSRC found = win::FindResourceA(nullptr, resource.id, "BIN");
    ASSERT_NE(found, nullptr) << resource.id;
    EXPECT_EQ(win::SizeofResource(nullptr, found), resource.size);
    EXPECT_EQ(win::LockResource(win::LoadResource(nullptr, found)), resource.data);
  }
  EXPECT_EQ(win::FindResourceA(nullptr, 148, "BIN"), nullptr);
  EXPECT_EQ(win::FindResourceA(nullptr, 129, win::RT_HTML), nullptr);
  win::SetProgramResources({});
}

}  // namespace
}  // namespace pelagon::test
