#pragma once
// Readers of the two registry file formats the store is loaded from, and the UTF-16 text
// helpers the registry shares with them. Every byte of these files is hostile: a malformed
// line is skipped and reported, a file that is not of the format is refused with a message.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include <pelagon/platform/linux/registry_store.h>

namespace win::regfile {

// Malformed UTF-8 becomes U+FFFD, one per byte that does not start a well-formed sequence.
std::u16string Utf8ToUtf16(std::string_view utf8);
// A lone surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);
std::vector<BYTE> Utf16LeBytes(std::u16string_view text);
// The code units of UTF-16LE bytes; an odd last byte is dropped.
std::u16string Utf16FromLeBytes(std::span<const BYTE> bytes);

// How many skipped lines a load reports by text; the rest are only counted.
constexpr std::size_t kMaxSkippedMessages = 50;

enum class WineArch { Unspecified, Win32, Win64 };

// Reads Wine's system.reg or user.reg into one hive of the store. False, with `result.error`
// set, when the file is refused; `arch` receives the file's `#arch` line, if any.
bool ReadWineRegistryFile(std::string_view bytes, const std::string& fileName, RegistryHive hive,
                          RegistryStore& store, WineArch& arch, RegistryLoadResult& result);

// Reads a regedit export file (REGEDIT4 in the ANSI code page; version 5.00 in UTF-16LE with
// its byte-order mark, or in UTF-8) into the store. False, with `result.error` set, when the
// file is refused.
bool ReadRegExportFile(std::string_view bytes, const std::string& fileName, RegistryStore& store,
                       RegistryLoadResult& result);

}  // namespace win::regfile
