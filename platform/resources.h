#pragma once
// The program's embedded resources: byte blocks found by type and id, and the string table
// found by id, as FindResource and LoadString find them in an executable. The blocks are
// linked into the program that carries them, which registers them at start-up; the string
// table is data of the payload, linked in at build time.

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/hresult.h"

namespace win {

struct StringResource {
  unsigned id;
  std::string_view text;
};

// Defined by the payload: every entry of the program's string table.
extern const std::span<const StringResource> kProgramStringTable;

// The text with this id; nothing when the table has none.
std::optional<std::string> LoadStringResource(unsigned id);

// The Windows shape: copies at most bufferMax - 1 characters and a terminating zero, and
// returns the number copied; 0 when there is no such string or no room.
int LoadStringA(unsigned id, char* buffer, int bufferMax);

// ---- Byte blocks ----

// The named type of the payload blocks, and the standard type 23 (RT_HTML) in the "#23"
// form Windows accepts for a numbered type.
inline constexpr std::string_view RT_BIN = "BIN";
inline constexpr std::string_view RT_HTML = "#23";

struct BinaryResource {
  std::string_view type;
  unsigned id;
  const unsigned char* data;
  std::size_t size;
};

// Makes `resources` the blocks of the running program; they must outlive every lookup.
void SetProgramResources(std::span<const BinaryResource> resources);

using HRSRC = const BinaryResource*;
using HGLOBAL = const void*;

// Null when the program has no block of this type and id.
HRSRC FindResourceA(HMODULE module, unsigned id, std::string_view type);
// The block's bytes, or null when they cannot be loaded.
HGLOBAL LoadResource(HMODULE module, HRSRC resource);
DWORD SizeofResource(HMODULE module, HRSRC resource);
const void* LockResource(HGLOBAL data);

namespace testing {
// While set, LoadResource fails for every block, as for a damaged executable.
void FailLoadResource(bool fail);
}  // namespace testing

}  // namespace win
