// pelagon-payload-gen OUTPUT_FOLDER: writes the installer's 96 payload files into the folder
// and the sources that embed them. The same build gives the same bytes.

#include <cstdio>
#include <exception>
#include <filesystem>

#include <pelagon/payload/generator/payload_generator.h>
#include <pelagon/platform/code_page.h>
#include <pelagon/platform/hresult.h>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: pelagon-payload-gen OUTPUT_FOLDER\n");
    return 2;
  }
  // The narrow texts of the content are UTF-8, whatever code page the build machine asks for.
  win::SetACP(win::CP_UTF8);
  try {
    const std::filesystem::path folder = std::filesystem::absolute(argv[1]);
    pelagon::payload::WriteEmbedding(folder, pelagon::payload::WritePayloadFiles(folder));
    return 0;
  } catch (const win::_com_error& error) {
    std::fprintf(stderr, "pelagon-payload-gen: %s %s\n", error.ErrorMessage().c_str(),
                 error.Description().c_str());
  } catch (const std::exception& error) {
    std::fprintf(stderr, "pelagon-payload-gen: %s\n", error.what());
  }
  return 1;
}
