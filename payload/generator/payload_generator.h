#pragma once
// Makes the 96 payload files and the sources that embed them in a program.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <pelagon/payload/payload_catalogue.h>

namespace pelagon::payload {

// Writes the file of `entry` (not a folder step) to `path`, replacing one that is there.
// Raises std::runtime_error, or the library's _com_error, when it cannot.
void WritePayloadFile(const ManifestEntry& entry, const std::filesystem::path& path);

struct GeneratedBlock {
  unsigned resourceId;
  std::string fileName;
  std::uintmax_t size;
};

// Writes every payload file into `folder` (created when missing), named by BlockFileName,
// and returns them in manifest order.
std::vector<GeneratedBlock> WritePayloadFiles(const std::filesystem::path& folder);

// The files that embed the blocks written in `folder`: "payload_manifest.txt" (resource id,
// type and file, one block a line), "payload_blocks.S" (each block included by the
// assembler, no C array) and "payload_table.cpp" (the table behind payload::Resources()).
void WriteEmbedding(const std::filesystem::path& folder, const std::vector<GeneratedBlock>& blocks);

}  // namespace pelagon::payload
