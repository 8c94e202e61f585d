#pragma once
// The program's string table: texts found by id, as LoadString finds them in an
// executable's resources. The table itself is data of the payload, linked in at build time.

#include <optional>
#include <span>
#include <string>
#include <string_view>

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

}  // namespace win
