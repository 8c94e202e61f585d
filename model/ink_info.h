#pragma once
// The ink records of a device series: one ink (InkInfo) and one ink configuration, the ink
// of each head slot (InkConfigInfo), with their element writers, readers and
// single-record files.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include <pelagon/model/record_document.h>
#include <pelagon/values/localized_text.h>
#include <pelagon/xmlio/dom.h>

namespace pelagon {

// A colour as the ink records keep it: 8 bits per component.
struct InkColor {
  std::uint8_t R = 0;
  std::uint8_t G = 0;
  std::uint8_t B = 0;

  friend bool operator==(const InkColor&, const InkColor&) = default;
};

struct InkInfo {
  // Referred to by the models' nDefaultInkIndex and the configurations' nInkIndexList.
  std::int32_t nInkIndex = 0;
  LocalizedText strLongInkName;
  // "C", "M", "Y" and "K" are looked up by the device-series document.
  std::string strShortInkName;
  InkColor lightColor;
  InkColor darkColor;
  float flPrice = 0.0f;
  std::int32_t nCapacity = 0;

  friend bool operator==(const InkInfo&, const InkInfo&) = default;
};

// Appends an "InkInfo" element under `parent` and returns it.
xml::Node appendInkInfo(xml::Node parent, const InkInfo& ink);
// The first five children by position (names are not compared), then flPrice and
// nCapacity by name in any order; absent ones keep their values. A missing positional
// child raises _com_error(E_POINTER).
void readInkInfo(xml::Node element, InkInfo& ink);

// A file holding one "InkInfo" element. A failed save raises its _com_error; a file that
// cannot be loaded raises E_POINTER from the reader; a file without the element reads
// nothing and gives true.
using InkInfoIO = RecordIO<InkInfo, appendInkInfo, readInkInfo, "InkInfo", RecordFileRules::Strict>;

inline constexpr std::size_t kInkSlotCount = 24;

struct InkConfigInfo {
  std::int32_t nInkConfigIndex = 0;
  LocalizedText strInkConfigName;
  std::string strFolderName;
  // The nInkIndex of the ink in each head slot, slot 0 first; an empty slot holds -1.
  std::array<std::int32_t, kInkSlotCount> nInkIndexList{};

  friend bool operator==(const InkConfigInfo&, const InkConfigInfo&) = default;
};

// Appends an "InkConfigInfo" element under `parent` and returns it; the slots are 24
// children named "nInkIndex".
xml::Node appendInkConfigInfo(xml::Node parent, const InkConfigInfo& config);
// Four children by position, the slots as the first 24 children of the fourth; anything
// after is ignored. A missing child raises _com_error(E_POINTER).
void readInkConfigInfo(xml::Node element, InkConfigInfo& config);

// The lenient file pair: the writer reports every failure, a failed save included, as
// false. The reader gives false only when loading throws; a file that could not be
// loaded still raises E_POINTER from the record reader, as do the reader's own errors.
using InkConfigInfoIO = RecordIO<InkConfigInfo, appendInkConfigInfo, readInkConfigInfo, "InkConfigInfo",
                                 RecordFileRules::Lenient>;

}  // namespace pelagon
