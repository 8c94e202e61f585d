// The two registry file readers on untrusted bytes: a regedit export and Wine's registry
// files, each into a store of its own.
#include "fuzz_support.h"
#include <pelagon/platform/linux/reg_file_parser.h>
#include <pelagon/platform/linux/registry_store.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace win;
  const std::string_view bytes = pelagon::fuzz::bytesOf(data, size);
  {
    RegistryStore store;
    RegistryLoadResult result;
    const bool taken = regfile::ReadRegExportFile(bytes, "fuzz.reg", store, result);
    if (!taken && result.error.empty()) __builtin_trap();
    if (result.skipped.size() > regfile::kMaxSkippedMessages + 1) __builtin_trap();
  }
  {
    RegistryStore store;
    RegistryLoadResult result;
    regfile::WineArch arch = regfile::WineArch::Unspecified;
    const bool taken =
        regfile::ReadWineRegistryFile(bytes, "system.reg", RegistryHive::LocalMachine, store, arch, result);
    if (!taken && result.error.empty()) __builtin_trap();
  }
  return 0;
}
