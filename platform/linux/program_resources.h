#pragma once
// The Linux program's resource blocks: linked into the program that carries them, which
// registers them at start-up.

#include <cstddef>
#include <span>
#include <string_view>

#include <pelagon/platform/resources.h>

namespace win {

struct BinaryResource {
  std::string_view type;
  unsigned id;
  const unsigned char* data;
  std::size_t size;
};

// Makes `resources` the blocks of the running program; they must outlive every lookup.
void SetProgramResources(std::span<const BinaryResource> resources);

namespace testing {
// While set, LoadResource fails for every block, as for a damaged executable.
void FailLoadResource(bool fail);
}  // namespace testing

}  // namespace win
