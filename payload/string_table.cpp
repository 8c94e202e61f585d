// The program's string table: the language names of localized texts, the folder texts, the
// relative path of every payload file (taken from the install manifest, so the two cannot
// disagree) and a few texts kept for the host's older layouts.
#include <array>

#include <pelagon/payload/payload_catalogue.h>
#include <pelagon/platform/resources.h>

namespace win {

namespace {

// Ids 1-10 and 14-16 name the languages of localized texts, in the order the device files
// store them; the element names of those texts are these strings.
constexpr StringResource kFixedEntries[] = {
    {1, "English"},
    {2, "Chinese_Simplified"},
    {3, "Chinese_Traditional"},
    {4, "French"},
    {5, "German"},
    {6, "Italian"},
    {7, "Japanese"},
    {8, "Korean"},
    {9, "Portuguese"},
    {10, "Spanish"},
    {11, "Pelagon KD Device Support 1.0.0"},
    // The profile folder of the older Chromalith layout, and the current device folder.
    {12, "Chromalith 1.0\\Network\\profiles\\"},
    {13, "Chromalith\\Device\\"},
    {14, "Russian"},
    {15, "Turkish"},
    {16, "Arabic"},
    {84, "(Reserved)"},
    {137, "(none)"},
    {138, "(none)"},
    {139, "(none)"},
};

constexpr std::size_t kEntryCount = std::size(kFixedEntries) + pelagon::payload::kInstallManifest.size();

constexpr std::array<StringResource, kEntryCount> makeTable() {
  std::array<StringResource, kEntryCount> table{};
  std::size_t next = 0;
  for (const StringResource& entry : kFixedEntries) table[next++] = entry;
  for (const pelagon::payload::ManifestEntry& entry : pelagon::payload::kInstallManifest) {
    table[next++] = {entry.stringId, entry.relativePath};
  }
  return table;
}

constexpr std::array<StringResource, kEntryCount> kEntries = makeTable();

constexpr bool idsAreUnique() {
  for (std::size_t i = 0; i < kEntries.size(); ++i) {
    for (std::size_t j = i + 1; j < kEntries.size(); ++j) {
      if (kEntries[i].id == kEntries[j].id) return false;
    }
  }
  return true;
}
static_assert(idsAreUnique(), "every string id names one text");

}  // namespace

const std::span<const StringResource> kProgramStringTable(kEntries);

}  // namespace win
