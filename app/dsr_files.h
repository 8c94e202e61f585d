#pragma once
// What the commands of pelagon-dsr share: their failures, their argument parsing and the
// reading of a device file of any of the three kinds.

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <pelagon/model/device_series.h>
#include <pelagon/model/media_file.h>
#include <pelagon/model/passmask_list.h>
#include <pelagon/xmlio/dom.h>

namespace pelagon::dsr {

// A failure that ends the command with a status and a message for people.
struct Failure {
  int status;
  std::string message;
  bool pointToHelp = false;
};

[[noreturn]] void usageError(const std::string& message);

enum class Kind { DeviceSeries, MediaFile, PassmaskList };

std::string kindName(Kind kind);
// "this is a media settings file": the kind as a sentence names it.
std::string aFileOfKind(Kind kind);

// A device file read by the library, whichever of the three kinds it is.
struct LoadedFile {
  Kind kind = Kind::DeviceSeries;
  std::string version;
  DeviceSeries series;
  MediaFile media;
  PassmaskList passmasks;
};

// Fails with status 2 when `path` cannot be opened for reading or is a folder.
void requireReadable(const std::string& path);
// Reads a device file of any kind; a file that is not one fails with status 1.
LoadedFile loadFile(const std::string& path);
// The file written again as the library writes it, carrying the version it was read with.
xml::DocumentPtr documentOf(LoadedFile& file);

// Runs a save, turning a failed write into a message with status 2 (or 1 when `save` is
// false, with `reason`). A value that XML cannot carry came from the input, so it is a
// problem of the file, status 1, as when the reader refuses it.
void saveOrFail(const std::string& path, const std::function<bool()>& save, const std::string& reason);

struct Arguments {
  std::vector<std::string> operands;
  std::map<std::string, std::optional<std::string>> options;

  bool flag(const std::string& name) const { return options.count(name) != 0; }
  std::optional<std::string> value(const std::string& name) const {
    const auto it = options.find(name);
    return it == options.end() ? std::nullopt : it->second;
  }
};

// Splits the arguments after the command into operands and the options it knows; an
// option in `valued` takes the next argument (or "=value").
Arguments parse(const std::string& command, const std::vector<std::string>& args,
                std::size_t expectedOperands, const std::vector<std::string>& flags,
                const std::vector<std::string>& valued);

}  // namespace pelagon::dsr
