#pragma once
// Two small records with XML forms of their own: the UV lamp power at one lamp position,
// two of which a print mode holds, and a custom (spot) colour with its CMYK or CMYKOG
// recipe and the colour library it matches.

#include <array>
#include <cstdint>
#include <string>

#include <pelagon/xmlio/dom.h>

namespace pelagon {

inline constexpr std::int32_t kDefaultUVLampPower = 100;

// The host's reference power of a lamp position. It is not part of the record's value: it
// is never read or written, a copy starts at 100 and an assignment keeps the target's own,
// and it never makes two entries compare unequal.
class UVLampReference {
public:
  UVLampReference() noexcept = default;
  UVLampReference(const UVLampReference&) noexcept {}
  UVLampReference& operator=(const UVLampReference&) noexcept { return *this; }

  std::int32_t value() const noexcept { return value_; }
  void set(std::int32_t value) noexcept { value_ = value; }

  friend bool operator==(const UVLampReference&, const UVLampReference&) noexcept { return true; }

private:
  std::int32_t value_ = kDefaultUVLampPower;
};

// One entry of a print mode's UV lamp table; the lamp position is the entry's index there.
struct UVLampPower {
  UVLampReference reference;
  std::int32_t nForwardPower = kDefaultUVLampPower;
  std::int32_t nBackwardPower = kDefaultUVLampPower;

  friend bool operator==(const UVLampPower&, const UVLampPower&) = default;
};

// Appends a "UVLampPower" element with the "position" attribute under `parent`.
xml::Node appendUVLampPower(xml::Node parent, const UVLampPower& entry, std::int32_t position);
// Accepts only an element whose "position" is 0 or 1 and then hands the position out; a
// rejected element (another position, or none) leaves the entry and `position` as they
// were. The powers are taken by name, the later of two winning; a power without a child
// keeps the value the caller put in the entry.
bool readUVLampPower(xml::Node element, UVLampPower& entry, std::int32_t& position);

// Colour-space codes of the recipes (those of the colour classes); any other code means
// no recipe.
inline constexpr std::int32_t kCustomColorCMYK = 2;
inline constexpr std::int32_t kCustomColorCMYKOG = 4;

struct CustomColorInfo {
  std::string strColorName;
  std::int32_t nColorSpace = 0;
  // Cyan, magenta, yellow, black, orange, green; a CMYK recipe uses the first four.
  std::array<std::uint8_t, 6> channels{};
  std::string strMatchLibName;

  friend bool operator==(const CustomColorInfo&, const CustomColorInfo&) = default;
};

// Appends a "CustomColorInfo" element under `parent`: the name, the recipe as a typed colour
// element (none for a code other than 2 or 4), the library name.
xml::Node appendCustomColorInfo(xml::Node parent, const CustomColorInfo& color);
// By position: the name, then the recipe when the second child is a "CMYKColor" or
// "CMYKOGColor", then the library name. Without a recipe the code and channels keep their
// values; the library name is then read only from a second child named
// "strMatchLibName" (the form written for a colour without a recipe), and any other second
// child ends the read. A missing child raises _com_error(E_POINTER).
void readCustomColorInfo(xml::Node element, CustomColorInfo& color);

}  // namespace pelagon
