#include <pelagon/platform/app_title.h>

#include <utility>

namespace win {

namespace {
std::string& title() {
  static std::string instance;
  return instance;
}
}  // namespace

const std::string& GetAppTitle() { return title(); }
void SetAppTitle(std::string newTitle) { title() = std::move(newTitle); }

}  // namespace win
