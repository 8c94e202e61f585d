#include <pelagon/app/media_merge_update.h>

#include <pelagon/app/resource_extraction.h>
#include <pelagon/model/media_merge.h>

namespace pelagon {

bool MergeMediaUpdate(const std::string& target, unsigned resourceId) {
  MergeMediaUpdateFrom(
      target, [resourceId](const std::string& path) { return ExtractResourceToFile(path, resourceId); });
  return true;
}

}  // namespace pelagon
