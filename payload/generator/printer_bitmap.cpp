#include <pelagon/payload/generator/printer_bitmap.h>

#include <algorithm>
#include <array>
#include <cstdint>

namespace pelagon::payload {

namespace {

struct Rgb {
  std::uint8_t r, g, b;
};

class Canvas {
public:
  Canvas() { pixels_.fill(Rgb{255, 255, 255}); }

  // Top-down coordinates; the rectangle includes both corners and is cut to the canvas.
  void fill(int left, int top, int right, int bottom, Rgb colour) {
    for (int y = std::max(top, 0); y <= std::min(bottom, kBitmapSide - 1); ++y) {
      for (int x = std::max(left, 0); x <= std::min(right, kBitmapSide - 1); ++x) at(x, y) = colour;
    }
  }
  void frame(int left, int top, int right, int bottom, Rgb colour) {
    fill(left, top, right, top, colour);
    fill(left, bottom, right, bottom, colour);
    fill(left, top, left, bottom, colour);
    fill(right, top, right, bottom, colour);
  }
  Rgb& at(int x, int y) {
    return pixels_[static_cast<std::size_t>(y) * kBitmapSide + static_cast<std::size_t>(x)];
  }

  // A bottom-up file of BGR rows, as Windows bitmaps store them.
  std::vector<unsigned char> file() {
    std::vector<unsigned char> bytes;
    bytes.reserve(kBitmapFileSize);
    const auto u16 = [&bytes](std::uint32_t v) {
      bytes.push_back(static_cast<unsigned char>(v & 0xFFU));
      bytes.push_back(static_cast<unsigned char>((v >> 8U) & 0xFFU));
    };
    const auto u32 = [&u16](std::uint32_t v) {
      u16(v & 0xFFFFU);
      u16(v >> 16U);
    };
    bytes.push_back('B');
    bytes.push_back('M');
    u32(static_cast<std::uint32_t>(kBitmapFileSize));
    u32(0);
    u32(static_cast<std::uint32_t>(kBitmapHeaderSize));
    u32(40);
    u32(kBitmapSide);
    u32(kBitmapSide);
    u16(1);
    u16(24);
    u32(0);
    u32(static_cast<std::uint32_t>(kBitmapRowSize * kBitmapSide));
    // 72 dots per inch.
    u32(2835);
    u32(2835);
    u32(0);
    u32(0);
    for (int y = kBitmapSide - 1; y >= 0; --y) {
      std::size_t written = 0;
      for (int x = 0; x < kBitmapSide; ++x) {
        const Rgb p = at(x, y);
        bytes.push_back(p.b);
        bytes.push_back(p.g);
        bytes.push_back(p.r);
        written += 3;
      }
      for (; written < kBitmapRowSize; ++written) bytes.push_back(0);
    }
    return bytes;
  }

private:
  std::array<Rgb, static_cast<std::size_t>(kBitmapSide) * kBitmapSide> pixels_{};
};

std::uint8_t mix(std::uint8_t a, std::uint8_t b, int step, int steps) {
  return static_cast<std::uint8_t>((a * (steps - step) + b * step) / steps);
}

}  // namespace

std::vector<unsigned char> MakePrinterBitmap(Series series) {
  const bool updateTest = series == Series::KdUpdateTest;
  const Rgb accent = updateTest ? Rgb{230, 120, 0} : Rgb{0, 128, 160};
  const Rgb outline{70, 72, 78};
  const Rgb body{214, 216, 220};
  const Rgb dark{40, 44, 52};
  Canvas c;

  // Stand and feet.
  c.fill(12, 58, 16, 95, outline);
  c.fill(89, 58, 93, 95, outline);
  c.fill(6, 96, 22, 99, dark);
  c.fill(83, 96, 99, 99, dark);
  // Media roll under the printer, shaded top to bottom.
  for (int y = 80; y <= 88; ++y)
    c.fill(20, y, 86, y, Rgb{mix(250, 170, y - 80, 8), mix(250, 170, y - 80, 8), mix(245, 165, y - 80, 8)});
  c.fill(18, 79, 19, 89, outline);
  c.fill(87, 79, 88, 89, outline);
  // Body, cover and brand stripe.
  c.fill(6, 30, 99, 58, body);
  c.fill(6, 30, 99, 38, Rgb{190, 193, 200});
  c.fill(7, 50, 98, 51, accent);
  c.frame(6, 30, 99, 58, outline);
  // Carriage window with the carriage.
  c.fill(20, 40, 70, 46, dark);
  c.fill(32, 41, 41, 45, accent);
  // Control panel with the four ink lamps.
  c.fill(78, 34, 94, 47, dark);
  const std::array<Rgb, 4> inks = {Rgb{0, 160, 233}, Rgb{228, 0, 127}, Rgb{255, 241, 0}, Rgb{20, 20, 20}};
  for (std::size_t i = 0; i < inks.size(); ++i) {
    const int x = 80 + static_cast<int>(i) * 4;
    c.fill(x, 43, x + 2, 45, inks[i]);
  }
  c.fill(80, 36, 92, 40, Rgb{120, 200, 140});
  // The print coming out of the feed slot.
  c.fill(14, 56, 92, 57, dark);
  for (int x = 16; x <= 90; ++x) {
    const int step = x - 16;
    const Rgb colour =
        step < 37 ? Rgb{mix(0, 228, step, 37), mix(160, 0, step, 37), mix(233, 127, step, 37)}
                  : Rgb{mix(228, 255, step - 37, 37), mix(0, 241, step - 37, 37), mix(127, 0, step - 37, 37)};
    c.fill(x, 58, x, 72, colour);
  }
  c.frame(15, 58, 91, 72, outline);
  if (updateTest) {
    // A round badge with an upward arrow.
    for (int y = 4; y <= 24; ++y) {
      for (int x = 4; x <= 24; ++x) {
        if ((x - 14) * (x - 14) + (y - 14) * (y - 14) <= 92) c.at(x, y) = accent;
      }
    }
    c.fill(13, 9, 15, 20, Rgb{255, 255, 255});
    for (int i = 0; i <= 4; ++i) c.fill(14 - i, 9 + i, 14 + i, 9 + i, Rgb{255, 255, 255});
  }
  return c.file();
}

}  // namespace pelagon::payload
