#include <pelagon/platform/linux/program_resources.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include <pelagon/platform/code_page.h>

namespace win {

namespace {
std::span<const BinaryResource> programResources;
bool failLoads = false;
}  // namespace

std::optional<std::string> LoadStringResource(unsigned id) {
  for (const StringResource& entry : kProgramStringTable) {
    if (entry.id == id) return std::string(entry.text);
  }
  return std::nullopt;
}

int LoadStringA(unsigned id, char* buffer, int bufferMax) {
  if (buffer == nullptr || bufferMax <= 0) return 0;
  const std::optional<std::string> utf8 = LoadStringResource(id);
  if (!utf8) {
    buffer[0] = '\0';
    return 0;
  }
  const std::string text = Utf8ToAnsi(*utf8);
  const std::size_t count = std::min(text.size(), static_cast<std::size_t>(bufferMax - 1));
  std::memcpy(buffer, text.data(), count);
  buffer[count] = '\0';
  return static_cast<int>(count);
}

void SetProgramResources(std::span<const BinaryResource> resources) { programResources = resources; }

HRSRC FindResourceA(HMODULE /*module*/, unsigned id, std::string_view type) {
  for (const BinaryResource& resource : programResources) {
    if (resource.id == id && resource.type == type) return &resource;
  }
  return nullptr;
}

HGLOBAL LoadResource(HMODULE /*module*/, HRSRC resource) {
  if (resource == nullptr || failLoads) return nullptr;
  // An empty block still loads; its size tells it apart.
  static const unsigned char empty = 0;
  return resource->data != nullptr ? resource->data : &empty;
}

DWORD SizeofResource(HMODULE /*module*/, HRSRC resource) {
  if (resource == nullptr) return 0;
  return static_cast<DWORD>(std::min<std::size_t>(resource->size, std::numeric_limits<DWORD>::max()));
}

const void* LockResource(HGLOBAL data) { return data; }

namespace testing {
void FailLoadResource(bool fail) { failLoads = fail; }
}  // namespace testing

}  // namespace win
