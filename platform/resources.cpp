#include "platform/resources.h"

#include <algorithm>
#include <cstring>

namespace win {

std::optional<std::string> LoadStringResource(unsigned id) {
  for (const StringResource& entry : kProgramStringTable) {
    if (entry.id == id) return std::string(entry.text);
  }
  return std::nullopt;
}

int LoadStringA(unsigned id, char* buffer, int bufferMax) {
  if (buffer == nullptr || bufferMax <= 0) return 0;
  const std::optional<std::string> text = LoadStringResource(id);
  if (!text) {
    buffer[0] = '\0';
    return 0;
  }
  const std::size_t count = std::min(text->size(), static_cast<std::size_t>(bufferMax - 1));
  std::memcpy(buffer, text->data(), count);
  buffer[count] = '\0';
  return static_cast<int>(count);
}

}  // namespace win
