#pragma once
// The payload blocks linked into a program from the library pelagon_payload: the installer
// registers them with win::SetProgramResources(payload::Resources()) at start-up.

#include <span>

#include <pelagon/platform/linux/program_resources.h>

namespace pelagon::payload {

// One "BIN" block per payload file of kInstallManifest, in the manifest's order; the bytes
// live for the whole run of the program.
std::span<const win::BinaryResource> Resources();

}  // namespace pelagon::payload
