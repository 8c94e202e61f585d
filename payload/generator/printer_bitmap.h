#pragma once
// The printer pictures the host shows beside a model: 106 x 106 pixels, 24 bits per pixel,
// an uncompressed Windows bitmap, drawn here rather than stored.

#include <cstddef>
#include <vector>

#include <pelagon/payload/payload_catalogue.h>

namespace pelagon::payload {

inline constexpr int kBitmapSide = 106;
inline constexpr std::size_t kBitmapHeaderSize = 14 + 40;
// Rows are padded to whole 32-bit words.
inline constexpr std::size_t kBitmapRowSize = (kBitmapSide * 3 + 3) / 4 * 4;
inline constexpr std::size_t kBitmapFileSize = kBitmapHeaderSize + kBitmapRowSize * kBitmapSide;

// The picture of the series' printer; the update-test series has its own colours.
std::vector<unsigned char> MakePrinterBitmap(Series series);

}  // namespace pelagon::payload
