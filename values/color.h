#pragma once
// Colour values: the four colour classes over one abstract base, the table that
// describes each class's channels, and the two exceptions the colours raise.

#include <array>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <iosfwd>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace pelagon {

class AbstractColor;

// How a colour class stores its channels.
enum class ChannelType {
  Byte,   // unsigned 8-bit, 0 to 255; set by truncation toward zero, low eight bits kept
  Float,  // 32-bit float, any value, stored unchanged
};

// One colour class described as data, so that code working on every class (the XML colour
// codec, the text form) walks the channels from here instead of switching on the class.
struct ColorSpaceInfo {
  std::int32_t code;      // colorSpace()
  std::string_view name;  // name()
  // The element name appendTypedColor uses for the class. readTypedColor recognises only
  // "RGBColor", "CMYKColor" and "CMYKOGColor": a "LabColor" element reads as no colour.
  std::string_view typedElementName;
  std::string_view printHeader;  // first line of print()
  ChannelType channelType;
  std::span<const std::string_view> channelElements;  // XML channel elements, channel order
  std::span<const std::string_view> printLabels;      // print() labels before ':', channel order
  std::unique_ptr<AbstractColor> (*create)();         // a new colour of the class, channels 0

  constexpr std::int32_t channelCount() const noexcept {
    return static_cast<std::int32_t>(channelElements.size());
  }
};

// Raised by assign when the source is of another class than the receiver.
class ColorSpaceNotMatchException : public std::exception {
public:
  ColorSpaceNotMatchException(std::string receiverName, std::string sourceName);

  // "Type not match " + receiver name + " and " + source name.
  const char* what() const noexcept override;
  const std::string& receiverName() const noexcept;
  const std::string& sourceName() const noexcept;

private:
  struct Detail;
  // Shared and immutable, so that copying the exception cannot throw.
  std::shared_ptr<const Detail> detail_;
};

// Raised by getChannel and setChannel for an index outside 0 .. channel count - 1.
class InvalidIndexException : public std::exception {
public:
  InvalidIndexException(std::string colorName, std::int32_t index);

  // "Invalid index " + index in decimal + " on " + colour name.
  const char* what() const noexcept override;
  const std::string& colorName() const noexcept;
  std::int32_t index() const noexcept;

private:
  struct Detail;
  std::shared_ptr<const Detail> detail_;
};

// A colour value. The virtual operations keep the slot order that stored callers rely on.
class AbstractColor {
public:
  virtual ~AbstractColor() = default;

  // Colour-space code: 0 RGB, 2 CMYK, 4 CMYKOG, 5 Lab (1 and 3 belong to no class).
  virtual std::int32_t colorSpace() const noexcept = 0;
  virtual std::string name() const = 0;
  // Throws InvalidIndexException for a bad index.
  virtual float getChannel(std::int32_t index) const = 0;
  // Throws InvalidIndexException for a bad index; the colour is then unchanged.
  virtual void setChannel(std::int32_t index, float value) = 0;
  // Copies every channel of a colour of the same class and returns *this; throws
  // ColorSpaceNotMatchException (receiver unchanged) for a colour of another class.
  virtual AbstractColor& assign(const AbstractColor& source) = 0;
  virtual std::unique_ptr<AbstractColor> clone() const = 0;
  // The text form for diagnostics: the header, then one "label:value" line per channel,
  // each line ended by a line feed and a flush.
  virtual void print(std::ostream& out) const = 0;

protected:
  // Copies only through a concrete class, never by slicing a base reference.
  AbstractColor() = default;
  AbstractColor(const AbstractColor&) = default;
  AbstractColor& operator=(const AbstractColor&) = default;
};

namespace color_detail {

// The operations every colour class has, written once. `Color` is the class itself (it gives
// kColorSpace and info()), `Channel` how it stores a channel, `Count` how many channels it has.
// The members are defined, and instantiated for the four classes, in color.cpp.
template <class Color, class Channel, std::size_t Count>
class ChannelColor : public AbstractColor {
public:
  std::int32_t colorSpace() const noexcept override;
  std::string name() const override;
  float getChannel(std::int32_t index) const override;
  void setChannel(std::int32_t index, float value) override;
  AbstractColor& assign(const AbstractColor& source) override;
  std::unique_ptr<AbstractColor> clone() const override;
  void print(std::ostream& out) const override;

  // For float channels, a colour holding a NaN is not equal to itself.
  friend bool operator==(const Color& a, const Color& b) noexcept {
    return static_cast<const ChannelColor&>(a).channels_ == static_cast<const ChannelColor&>(b).channels_;
  }

protected:
  ChannelColor() = default;
  ChannelColor(const ChannelColor&) = default;
  ChannelColor& operator=(const ChannelColor&) = default;

private:
  std::array<Channel, Count> channels_{};
};

}  // namespace color_detail

// Channels red, green, blue.
class RGBColor final : public color_detail::ChannelColor<RGBColor, std::uint8_t, 3> {
public:
  static constexpr std::int32_t kColorSpace = 0;
  static constexpr const ColorSpaceInfo& info() noexcept;
};

// Channels cyan, magenta, yellow, black.
class CMYKColor final : public color_detail::ChannelColor<CMYKColor, std::uint8_t, 4> {
public:
  static constexpr std::int32_t kColorSpace = 2;
  static constexpr const ColorSpaceInfo& info() noexcept;
};

// Channels cyan, magenta, yellow, black, orange, green.
class CMYKOGColor final : public color_detail::ChannelColor<CMYKOGColor, std::uint8_t, 6> {
public:
  static constexpr std::int32_t kColorSpace = 4;
  static constexpr const ColorSpaceInfo& info() noexcept;
};

// Channels L, a, b. print() sets the stream's flags to fixed only, precision 2 and width 0
// after the header line, and leaves them so.
class LabColor final : public color_detail::ChannelColor<LabColor, float, 3> {
public:
  static constexpr std::int32_t kColorSpace = 5;
  static constexpr const ColorSpaceInfo& info() noexcept;
};

namespace color_detail {

extern template class ChannelColor<RGBColor, std::uint8_t, 3>;
extern template class ChannelColor<CMYKColor, std::uint8_t, 4>;
extern template class ChannelColor<CMYKOGColor, std::uint8_t, 6>;
extern template class ChannelColor<LabColor, float, 3>;

template <class Color>
std::unique_ptr<AbstractColor> create() {
  return std::make_unique<Color>();
}

inline constexpr std::string_view kRGBChannels[] = {"R", "G", "B"};
inline constexpr std::string_view kCMYKChannels[] = {"C", "M", "Y", "K"};
inline constexpr std::string_view kCMYKOGChannels[] = {"C", "M", "Y", "K", "O", "G"};
inline constexpr std::string_view kCMYKOGLabels[] = {"C", "M", "Y", "K", "Or", "Gr"};
inline constexpr std::string_view kLabChannels[] = {"L", "a", "b"};

}  // namespace color_detail

// Every colour class, in colour-space code order.
inline constexpr std::array<ColorSpaceInfo, 4> kColorSpaces{{
    {RGBColor::kColorSpace, "RGB", "RGBColor", "RGB", ChannelType::Byte, color_detail::kRGBChannels,
     color_detail::kRGBChannels, &color_detail::create<RGBColor>},
    {CMYKColor::kColorSpace, "CMYK", "CMYKColor", "CMYK", ChannelType::Byte, color_detail::kCMYKChannels,
     color_detail::kCMYKChannels, &color_detail::create<CMYKColor>},
    {CMYKOGColor::kColorSpace, "CMYKOG", "CMYKOGColor", "CMYKOrGr", ChannelType::Byte,
     color_detail::kCMYKOGChannels, color_detail::kCMYKOGLabels, &color_detail::create<CMYKOGColor>},
    {LabColor::kColorSpace, "Lab", "LabColor", "Lab", ChannelType::Float, color_detail::kLabChannels,
     color_detail::kLabChannels, &color_detail::create<LabColor>},
}};

// The class with the given colour-space code, or nullptr for a code without one (1, 3, ...).
constexpr const ColorSpaceInfo* findColorSpace(std::int32_t code) noexcept {
  for (const ColorSpaceInfo& space : kColorSpaces) {
    if (space.code == code) return &space;
  }
  return nullptr;
}

constexpr const ColorSpaceInfo& RGBColor::info() noexcept { return kColorSpaces[0]; }
constexpr const ColorSpaceInfo& CMYKColor::info() noexcept { return kColorSpaces[1]; }
constexpr const ColorSpaceInfo& CMYKOGColor::info() noexcept { return kColorSpaces[2]; }
constexpr const ColorSpaceInfo& LabColor::info() noexcept { return kColorSpaces[3]; }

static_assert(RGBColor::info().code == RGBColor::kColorSpace);
static_assert(CMYKColor::info().code == CMYKColor::kColorSpace);
static_assert(CMYKOGColor::info().code == CMYKOGColor::kColorSpace);
static_assert(LabColor::info().code == LabColor::kColorSpace);

}  // namespace pelagon
