// A program built against the installed device-data library, as its users build theirs: it
// reads a device-series file, names what it holds, writes it again over a copy of itself
// (keeping the copy's version) and checks that the written bytes are the file's own.
#include <pelagon/model/device_series.h>
#include <pelagon/version.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string bytesOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s DEVICE-SERIES COPY\n", argv[0]);
    return 2;
  }
  pelagon::DeviceSeries series;
  pelagon::DeviceSeriesIO2 reader(argv[1]);
  if (!reader.Load(series)) {
    std::fprintf(stderr, "%s: %s\n", argv[1], reader.LastError().c_str());
    return 1;
  }
  std::printf("pelagon %s: %d models, %d inks, %d media; first model \"%s\"\n", pelagon::kVersion,
              series.aModelInfoList.size(), series.aInkInfoList.size(), series.aMediaInfoList.size(),
              series.aModelInfoList.size() > 0 ? series.aModelInfoList[0].strLongModelName.c_str() : "");

  std::error_code error;
  std::filesystem::copy_file(argv[1], argv[2], std::filesystem::copy_options::overwrite_existing, error);
  pelagon::DeviceSeriesIO2 writer(argv[2]);
  if (error || !writer.SaveKeepingVersion(series)) {
    std::fprintf(stderr, "%s: cannot be written\n", argv[2]);
    return 1;
  }
  if (bytesOf(argv[2]) != bytesOf(argv[1])) {
    std::fprintf(stderr, "%s: the copy differs from %s\n", argv[2], argv[1]);
    return 1;
  }
  return 0;
}
