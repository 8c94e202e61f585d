#include <pelagon/app/dsr_files.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include <pelagon/app/dsr_commands.h>
#include <pelagon/platform/code_page.h>
#include <pelagon/platform/hresult.h>
#include <pelagon/xmlio/dom_creator.h>

namespace pelagon::dsr {

void usageError(const std::string& message) { throw Failure{kExitUsage, message, true}; }

std::string kindName(Kind kind) {
  switch (kind) {
    case Kind::DeviceSeries:
      return "device series";
    case Kind::MediaFile:
      return "media settings";
    case Kind::PassmaskList:
      return "passmask list";
  }
  return {};
}

std::string aFileOfKind(Kind kind) {
  return kind == Kind::MediaFile ? "a media settings file" : std::string("a ").append(kindName(kind));
}

namespace {

template <typename IO, typename Target>
void loadInto(const std::string& path, MSXMLDOMCreator&& creator, Target& target) {
  IO io(path);
  io.creator = std::move(creator);
  if (!io.Load(target)) throw Failure{kExitProblems, io.LastError()};
}

}  // namespace

void requireReadable(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw Failure{kExitUsage, path + ": cannot open: " + std::strerror(errno)};
  struct stat info {};
  const bool directory = ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode);
  ::close(fd);
  if (directory) throw Failure{kExitUsage, path + ": cannot open: " + std::strerror(EISDIR)};
}

LoadedFile loadFile(const std::string& path) {
  requireReadable(path);
  MSXMLDOMCreator creator;
  creator.LoadDocument(path);
  if (!creator.document)
    throw Failure{kExitProblems, path + ": not a well-formed XML file: " + creator.errorText};
  const xml::Node root = creator.document->documentElement();
  const std::string rootName(root.name());
  LoadedFile file;
  if (const xml::Attribute version = root.attribute("strVersion")) file.version = ReadNodeText(version);
  if (rootName == "DeviceSeries") {
    file.kind = Kind::DeviceSeries;
    loadInto<DeviceSeriesIO2>(path, std::move(creator), file.series);
  } else if (rootName == "Halden_Media_File") {
    file.kind = Kind::MediaFile;
    loadInto<MediaFileIO>(path, std::move(creator), file.media);
  } else if (rootName == "aPassmaskList") {
    file.kind = Kind::PassmaskList;
    loadInto<PassmaskListIO>(path, std::move(creator), file.passmasks);
  } else {
    throw Failure{
        kExitProblems,
        path + ": not a device series, media settings or passmask list (root element \"" + rootName + "\")"};
  }
  return file;
}

xml::DocumentPtr documentOf(LoadedFile& file) {
  xml::DocumentPtr document;
  switch (file.kind) {
    case Kind::DeviceSeries:
      document = DeviceSeriesIO2("").CreateDocument(file.series);
      break;
    case Kind::MediaFile:
      document = MediaFileIO("").CreateDocument(file.media);
      break;
    case Kind::PassmaskList:
      document = PassmaskListIO("").CreateDocument(file.passmasks);
      break;
  }
  if (!document) throw Failure{kExitProblems, "the document cannot be built again"};
  // The dump shows the version the file carries, not the one a save would write.
  document->documentElement().setAttribute("strVersion", win::AnsiToUtf8(file.version));
  return document;
}

Arguments parse(const std::string& command, const std::vector<std::string>& args,
                std::size_t expectedOperands, const std::vector<std::string>& flags,
                const std::vector<std::string>& valued) {
  Arguments parsed;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
      parsed.operands.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    const auto equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    if (std::find(flags.begin(), flags.end(), name) != flags.end() && equals == std::string::npos) {
      parsed.options[name] = std::nullopt;
    } else if (std::find(valued.begin(), valued.end(), name) != valued.end()) {
      if (equals != std::string::npos) {
        parsed.options[name] = arg.substr(equals + 1);
      } else if (i + 1 < args.size()) {
        parsed.options[name] = args[++i];
      } else {
        usageError(command + ": option " + name + " needs a value");
      }
    } else {
      usageError(command + ": unknown option " + arg);
    }
  }
  if (parsed.operands.size() != expectedOperands) {
    usageError(command + " takes " + std::to_string(expectedOperands) +
               (expectedOperands == 1 ? " file" : " files") + ", not " +
               std::to_string(parsed.operands.size()));
  }
  return parsed;
}

void saveOrFail(const std::string& path, const std::function<bool()>& save, const std::string& reason) {
  bool saved = false;
  try {
    saved = save();
  } catch (const win::_com_error& error) {
    const bool refused = error.Error() == win::HRESULT_FROM_WIN32(win::ERROR_INVALID_DATA);
    const std::string why = error.HasDescription() ? error.Description() : error.ErrorMessage();
    throw Failure{refused ? kExitProblems : kExitUsage, path + ": cannot write: " + why};
  }
  if (!saved)
    throw Failure{kExitProblems, path + ": cannot be written" + (reason.empty() ? "" : ": " + reason)};
}

}  // namespace pelagon::dsr
