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

template <class Color>
void copyChannels(const Color& from, Color& to) {
  for (std::int32_t i = 0; i < Color::info().channelCount(); ++i) {
    to.setChannel(i, from.getChannel(i));
  }
}

template <class Color>
AbstractColor& assignChannels(Color& receiver, const AbstractColor& source) {
  const auto* same = dynamic_cast<const Color*>(&source);
  if (same == nullptr) throw ColorSpaceNotMatchException(receiver.name(), source.name());
  copyChannels(*same, receiver);
  return receiver;
}

template <class Color>
std::unique_ptr<AbstractColor> cloneChannels(const Color& color) {
  auto copy = std::make_unique<Color>();
  copyChannels(color, *copy);
  return copy;
}

template <class Color>
void printByteChannels(std::ostream& out, const Color& color) {
  const ColorSpaceInfo& space = Color::info();
  out << space.printHeader << std::endl;
  for (std::int32_t i = 0; i < space.channelCount(); ++i) {
    out << space.printLabels[static_cast<std::size_t>(i)] << ':' << static_cast<int>(color.getChannel(i))
        << std::endl;
  }
}

}  // namespace

// --- RGBColor ---

std::int32_t RGBColor::colorSpace() const noexcept { return kColorSpace; }
std::string RGBColor::name() const { return std::string(info().name); }
float RGBColor::getChannel(std::int32_t index) const { return channelAt<RGBColor>(channels_, index); }
void RGBColor::setChannel(std::int32_t index, float value) {
  channelAt<RGBColor>(channels_, index) = byteFromFloat(value);
}
AbstractColor& RGBColor::assign(const AbstractColor& source) { return assignChannels(*this, source); }
std::unique_ptr<AbstractColor> RGBColor::clone() const { return cloneChannels(*this); }
void RGBColor::print(std::ostream& out) const { printByteChannels(out, *this); }

// --- CMYKColor ---

std::int32_t CMYKColor::colorSpace() const noexcept { return kColorSpace; }
std::string CMYKColor::name() const { return std::string(info().name); }
float CMYKColor::getChannel(std::int32_t index) const { return channelAt<CMYKColor>(channels_, index); }
void CMYKColor::setChannel(std::int32_t index, float value) {
  channelAt<CMYKColor>(channels_, index) = byteFromFloat(value);
}
AbstractColor& CMYKColor::assign(const AbstractColor& source) { return assignChannels(*this, source); }
std::unique_ptr<AbstractColor> CMYKColor::clone() const { return cloneChannels(*this); }
void CMYKColor::print(std::ostream& out) const { printByteChannels(out, *this); }

// --- CMYKOGColor ---

std::int32_t CMYKOGColor::colorSpace() const noexcept { return kColorSpace; }
std::string CMYKOGColor::name() const { return std::string(info().name); }
float CMYKOGColor::getChannel(std::int32_t index) const { return channelAt<CMYKOGColor>(channels_, index); }
void CMYKOGColor::setChannel(std::int32_t index, float value) {
  channelAt<CMYKOGColor>(channels_, index) = byteFromFloat(value);
}
AbstractColor& CMYKOGColor::assign(const AbstractColor& source) { return assignChannels(*this, source); }
std::unique_ptr<AbstractColor> CMYKOGColor::clone() const { return cloneChannels(*this); }
void CMYKOGColor::print(std::ostream& out) const { printByteChannels(out, *this); }

// --- LabColor ---

std::int32_t LabColor::colorSpace() const noexcept { return kColorSpace; }
std::string LabColor::name() const { return std::string(info().name); }
float LabColor::getChannel(std::int32_t index) const { return channelAt<LabColor>(channels_, index); }
void LabColor::setChannel(std::int32_t index, float value) { channelAt<LabColor>(channels_, index) = value; }
AbstractColor& LabColor::assign(const AbstractColor& source) { return assignChannels(*this, source); }
std::unique_ptr<AbstractColor> LabColor::clone() const { return cloneChannels(*this); }

void LabColor::print(std::ostream& out) const {
  const ColorSpaceInfo& space = info();
  out << space.printHeader << std::endl;
  out.flags(std::ios_base::fixed);
  out.precision(2);
  out.width(0);
  for (std::int32_t i = 0; i < space.channelCount(); ++i) {
    out << space.printLabels[static_cast<std::size_t>(i)] << ':' << getChannel(i) << std::endl;
  }
}

// The text form has a label for every channel.
static_assert(std::ranges::all_of(kColorSpaces, [](const ColorSpaceInfo& space) {
  return space.printLabels.size() == space.channelElements.size();
}));

}  // namespace pelagon
