#pragma once
// The embedded payload blocks as the payload tests read them.

#include <string_view>
#include <vector>

#include <pelagon/payload/payload_catalogue.h>
#include <pelagon/payload/payload_resources.h>

namespace pelagon::test {

// The bytes of the embedded block with this id; empty when there is none.
inline std::string_view payloadBlock(unsigned resourceId) {
  for (const win::BinaryResource& resource : payload::Resources()) {
    if (resource.id == resourceId) return {reinterpret_cast<const char*>(resource.data), resource.size};
  }
  return {};
}

// The manifest's payload files of one kind, in manifest order.
inline std::vector<payload::ManifestEntry> payloadFiles(payload::PayloadKind kind) {
  std::vector<payload::ManifestEntry> files;
  for (const payload::ManifestEntry& entry : payload::kInstallManifest) {
    if (entry.kind == kind) files.push_back(entry);
  }
  return files;
}

}  // namespace pelagon::test
