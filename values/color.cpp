#include <pelagon/values/color.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <ostream>
#include <type_traits>
#include <utility>

namespace pelagon {

// --- exceptions ---

struct ColorSpaceNotMatchException::Detail {
  std::string receiverName;
  std::string sourceName;
  std::string message;
};

ColorSpaceNotMatchException::ColorSpaceNotMatchException(std::string receiverName, std::string sourceName) {
  std::string message = "Type not match " + receiverName + " and " + sourceName;
  detail_ = std::make_shared<const Detail>(
      Detail{std::move(receiverName), std::move(sourceName), std::move(message)});
}

const char* ColorSpaceNotMatchException::what() const noexcept { return detail_->message.c_str(); }

const std::string& ColorSpaceNotMatchException::receiverName() const noexcept {
  return detail_->receiverName;
}

const std::string& ColorSpaceNotMatchException::sourceName() const noexcept { return detail_->sourceName; }

struct InvalidIndexException::Detail {
  std::string colorName;
  std::int32_t index;
  std::string message;
};

InvalidIndexException::InvalidIndexException(std::string colorName, std::int32_t index) {
  std::string message = "Invalid index " + std::to_string(index) + " on " + colorName;
  detail_ = std::make_shared<const Detail>(Detail{std::move(colorName), index, std::move(message)});
}

const char* InvalidIndexException::what() const noexcept { return detail_->message.c_str(); }

const std::string& InvalidIndexException::colorName() const noexcept { return detail_->colorName; }

std::int32_t InvalidIndexException::index() const noexcept { return detail_->index; }

// --- the operations every class shares ---

namespace {

// The channel at an index, after the bounds check every get and set makes.
template <class Color, class Channels>
auto& channelAt(Channels& channels, std::int32_t index) {
  constexpr const ColorSpaceInfo& space = Color::info();
  static_assert(std::tuple_size_v<std::remove_const_t<Channels>> ==
                static_cast<std::size_t>(space.channelCount()));
  if (index < 0 || index >= space.channelCount()) {
    throw InvalidIndexException(std::string(space.name), index);
  }
  return channels[static_cast<std::size_t>(index)];
}

// A byte channel's value: truncated toward zero, low eight bits kept (300.0 -> 44, -1.0 -> 255).
// The truncation is done in 64 bits after clamping, and NaN gives 0, because converting a NaN,
// an infinity or an out-of-range float straight to an integer is undefined behaviour.
std::uint8_t byteFromFloat(float value) noexcept {
  if (std::isnan(value)) return 0;
  std::int64_t whole = 0;
  if (value >= 0x1p63f) {
    whole = std::numeric_limits<std::int64_t>::max();
  } else if (value < -0x1p63f) {
    whole = std::numeric_limits<std::int64_t>::min();
  } else {
    whole = static_cast<std::int64_t>(value);  // -2^63 itself converts exactly
  }
  return static_cast<std::uint8_t>(static_cast<std::uint64_t>(whole) & 0xFFu);
}

}  // namespace

// --- the four classes ---

namespace color_detail {

template <class Color, class Channel, std::size_t Count>
std::int32_t ChannelColor<Color, Channel, Count>::colorSpace() const noexcept {
  return Color::kColorSpace;
}

template <class Color, class Channel, std::size_t Count>
std::string ChannelColor<Color, Channel, Count>::name() const {
  return std::string(Color::info().name);
}

template <class Color, class Channel, std::size_t Count>
float ChannelColor<Color, Channel, Count>::getChannel(std::int32_t index) const {
  return channelAt<Color>(channels_, index);
}

template <class Color, class Channel, std::size_t Count>
void ChannelColor<Color, Channel, Count>::setChannel(std::int32_t index, float value) {
  static_assert(std::is_same_v<Channel, float> == (Color::info().channelType == ChannelType::Float));
  if constexpr (std::is_same_v<Channel, float>) {
    channelAt<Color>(channels_, index) = value;
  } else {
    channelAt<Color>(channels_, index) = byteFromFloat(value);
  }
}

template <class Color, class Channel, std::size_t Count>
AbstractColor& ChannelColor<Color, Channel, Count>::assign(const AbstractColor& source) {
  const auto* same = dynamic_cast<const Color*>(&source);
  if (same == nullptr) throw ColorSpaceNotMatchException(name(), source.name());
  channels_ = static_cast<const ChannelColor&>(*same).channels_;
  return *this;
}

template <class Color, class Channel, std::size_t Count>
std::unique_ptr<AbstractColor> ChannelColor<Color, Channel, Count>::clone() const {
  return std::make_unique<Color>(static_cast<const Color&>(*this));
}

template <class Color, class Channel, std::size_t Count>
void ChannelColor<Color, Channel, Count>::print(std::ostream& out) const {
  const ColorSpaceInfo& space = Color::info();
  out << space.printHeader << std::endl;
  if constexpr (std::is_same_v<Channel, float>) {
    out.flags(std::ios_base::fixed);
    out.precision(2);
    out.width(0);
  }
  for (std::size_t i = 0; i < Count; ++i) {
    out << space.printLabels[i] << ':';
    if constexpr (std::is_same_v<Channel, float>) {
      out << channels_[i];
    } else {
      out << static_cast<int>(channels_[i]);
    }
    out << std::endl;
  }
}

template class ChannelColor<RGBColor, std::uint8_t, 3>;
template class ChannelColor<CMYKColor, std::uint8_t, 4>;
template class ChannelColor<CMYKOGColor, std::uint8_t, 6>;
template class ChannelColor<LabColor, float, 3>;

}  // namespace color_detail

// The text form has a label for every channel.
static_assert(std::ranges::all_of(kColorSpaces, [](const ColorSpaceInfo& space) {
  return space.printLabels.size() == space.channelElements.size();
}));

}  // namespace pelagon
