#pragma once
// The ICC output profiles the installer carries, made with liblcms2 from a small model of the
// printer on each medium: ICC version 4.2, device class output, CMYK data, Lab connection
// space. What a profile describes is read from its file name,
// "<ink set>_<medium>_<scan>x<feed>.icc" ("KDTRLcmk_onW_GenericClearFilm_900x600.icc").

#include <cstdint>
#include <string_view>
#include <vector>

namespace pelagon::payload {

// The creation date every profile carries, so that the same build gives the same bytes.
struct ProfileDate {
  std::uint16_t year, month, day, hour, minute, second;
};
inline constexpr ProfileDate kProfileCreationDate = {2016, 3, 1, 9, 0, 0};

// The profile for the manifest path `relativePath`; its description is the file name
// without ".icc". Raises std::invalid_argument for a name it cannot read and
// std::runtime_error when liblcms2 fails.
std::vector<unsigned char> MakeIccProfile(std::string_view relativePath);

}  // namespace pelagon::payload
