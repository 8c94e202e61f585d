#pragma once
// The program's embedded resources: byte blocks found by type and id, and the string table
// found by id, as FindResource and LoadString find them in an executable. On Windows they
// are the executable's own resources; on Linux the program registers its blocks at start-up
// (platform/linux/program_resources.h) and the string table is linked in.

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include <pelagon/platform/hresult.h>

namespace win {

// ---- The string table ----

struct StringResource {
  unsigned id;
  std::string_view text;
};

// Defined by the payload: every entry of the program's string table, in UTF-8. The Linux
// program looks its texts up here; the Windows program carries them as a STRINGTABLE
// resource made from it.
extern const std::span<const StringResource> kProgramStringTable;

// The text with this id in UTF-8; nothing when the table has none.
std::optional<std::string> LoadStringResource(unsigned id);

// The Windows shape: the text in the ANSI code page, at most bufferMax - 1 characters and a
// terminating zero; returns the number copied, 0 when there is no such string or no room.
int LoadStringA(unsigned id, char* buffer, int bufferMax);

// ---- Byte blocks ----

// The named type of the payload blocks, and the standard type 23 (RT_HTML) in the "#23"
// form Windows accepts for a numbered type.
inline constexpr std::string_view RT_BIN = "BIN";
inline constexpr std::string_view RT_HTML = "#23";

// What a resource handle stands for is the platform's; callers only pass it on.
struct BinaryResource;
using HRSRC = const BinaryResource*;
using HGLOBAL = const void*;

// Null when the program has no block of this type and id.
HRSRC FindResourceA(HMODULE module, unsigned id, std::string_view type);
// The block's bytes, or null when they cannot be loaded.
HGLOBAL LoadResource(HMODULE module, HRSRC resource);
DWORD SizeofResource(HMODULE module, HRSRC resource);
const void* LockResource(HGLOBAL data);

}  // namespace win
