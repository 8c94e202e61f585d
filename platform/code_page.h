#pragma once
// The process's ANSI code page, in which every narrow string of the system is held, and the
// conversions between it and the UTF-8 text of XML documents.

#include <cstdint>
#include <string>
#include <string_view>

namespace win {

constexpr std::uint32_t CP_UTF8 = 65001;

// The code page in force: PELAGON_ACP when it names one this machine can convert, else UTF-8.
std::uint32_t GetACP();
// Chooses the code page; false, changing nothing, when it cannot be converted here.
bool SetACP(std::uint32_t codePage);

// Narrow text to UTF-8. A byte sequence the code page does not define becomes U+FFFD.
std::string AnsiToUtf8(std::string_view ansi);
// UTF-8 to narrow text. A character the code page cannot hold becomes '?', and so does a
// malformed UTF-8 sequence.
std::string Utf8ToAnsi(std::string_view utf8);

}  // namespace win
