#include <pelagon/app/dsr_commands.h>

#include <unistd.h>

#include <algorithm>
#include <exception>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <utility>

#include <pelagon/app/dsr_check.h>
#include <pelagon/app/dsr_diff.h>
#include <pelagon/app/dsr_files.h>
#include <pelagon/app/dsr_json.h>
#include <pelagon/app/dsr_plot.h>
#include <pelagon/model/device_series.h>
#include <pelagon/model/media_file.h>
#include <pelagon/model/media_merge.h>
#include <pelagon/model/passmask_list.h>
#include <pelagon/platform/com.h>
#include <pelagon/platform/debug_output.h>
#include <pelagon/platform/files.h>
#include <pelagon/platform/hresult.h>
#include <pelagon/version.h>
#include <pelagon/xmlio/dom_creator.h>

namespace pelagon::dsr {

namespace {

constexpr const char* kUsage =
    "Usage: pelagon-dsr COMMAND [OPTION]... FILE...\n"
    "Inspect, check, validate and convert the device files of Chromalith: device series\n"
    "(.dsr), media settings (.rmt) and passmask lists (.pmp).\n"
    "\n"
    "Commands:\n"
    "  info FILE [--json]               the kind and version of the file and the size of\n"
    "                                   every list, as text or as JSON\n"
    "  dump FILE                        the whole document as JSON\n"
    "  check FILE [--passmasks PMP]     the cross-references of a device series; one line\n"
    "                                   per problem\n"
    "  convert IN OUT [--keep-version]  read IN and write it to OUT in the current format,\n"
    "                                   or keeping the version IN carries\n"
    "  validate FILE --schema XSD       check FILE against an XSD schema\n"
    "  merge INSTALLED NEW [--dry-run]  install the device series NEW over INSTALLED,\n"
    "                                   keeping the media the user added and the\n"
    "                                   visibility the user chose\n"
    "  diff OLD NEW [--json]            what changed from OLD to NEW, record by record;\n"
    "                                   status 0 the same, 1 different, 2 trouble\n"
    "  plot FILE -o OUT --media NAME [--permission N]\n"
    "                                   draw the calibration of a medium's permission\n"
    "                                   sets (one, with --permission)\n"
    "  plot FILE -o OUT --separation N  draw the output curves of a separation; OUT\n"
    "                                   ends in .svg, .png or .pdf, and a media\n"
    "                                   settings FILE needs --series DSR\n"
    "\n"
    "Options:\n"
    "  -h, --help     show this help and exit\n"
    "      --version  show the version and exit\n"
    "\n"
    "Exit status: 0 on success, 1 when the file has problems, 2 on bad usage or when\n"
    "an input cannot be read.\n";

// The lists of a file and their sizes, in document order.
std::vector<std::pair<std::string, int>> listSizes(const LoadedFile& file) {
  const auto mediaSizes = [](const win::GrowableArray<MediaInfo>& media,
                             std::vector<std::pair<std::string, int>>& sizes) {
    int permissions = 0, qualities = 0, calibrations = 0;
    for (const MediaInfo& medium : media) {
      permissions += medium.aPermissionSetList.size();
      qualities += medium.aQualityInfoList.size();
      for (const PermissionSet& permission : medium.aPermissionSetList) {
        calibrations += permission.aCalibrationInfoList.size();
      }
    }
    sizes.emplace_back("media", media.size());
    sizes.emplace_back("permission sets", permissions);
    sizes.emplace_back("quality levels", qualities);
    sizes.emplace_back("calibration records", calibrations);
  };
  std::vector<std::pair<std::string, int>> sizes;
  switch (file.kind) {
    case Kind::DeviceSeries: {
      const DeviceSeries& s = file.series;
      sizes = {{"models", s.aModelInfoList.size()},
               {"inks", s.aInkInfoList.size()},
               {"ink configurations", s.aInkConfigInfoList.size()},
               {"resolutions", s.aResolutionInfoList.size()},
               {"print modes", s.aModeInfoList.size()},
               {"separations", s.aSeparationInfoList.size()},
               {"V-control points", s.aVControlPointList.size()},
               {"FM patterns", s.aPatternInfoList.size()}};
      mediaSizes(s.aMediaInfoList, sizes);
      sizes.emplace_back("print-chart sets", s.aPrintChartFileInfoSetList.size());
      sizes.emplace_back("ink volumes", s.aInkVolumeInfoList.size());
      break;
    }
    case Kind::MediaFile:
      mediaSizes(file.media.media, sizes);
      break;
    case Kind::PassmaskList: {
      int commands = 0;
      for (const Passmask& passmask : file.passmasks.passmasks)
        commands += passmask.astrPassmaskCommand.size();
      sizes = {{"passmasks", file.passmasks.passmasks.size()}, {"passmask commands", commands}};
      break;
    }
  }
  return sizes;
}

// ---- Commands ----

int info(const std::vector<std::string>& args, std::ostream& out) {
  const Arguments parsed = parse("info", args, 1, {"--json"}, {});
  const LoadedFile file = loadFile(parsed.operands[0]);
  const auto sizes = listSizes(file);
  if (parsed.flag("--json")) {
    nlohmann::ordered_json json;
    json["file"] = parsed.operands[0];
    json["kind"] = kindName(file.kind);
    json["version"] = file.version;
    nlohmann::ordered_json lists = nlohmann::ordered_json::object();
    for (const auto& [name, size] : sizes) lists[name] = size;
    json["lists"] = std::move(lists);
    out << json.dump(2) << '\n';
  } else {
    out << "kind: " << kindName(file.kind) << '\n' << "version: " << file.version << '\n';
    for (const auto& [name, size] : sizes) out << name << ": " << size << '\n';
  }
  return kExitSuccess;
}

int dump(const std::vector<std::string>& args, std::ostream& out) {
  const Arguments parsed = parse("dump", args, 1, {}, {});
  LoadedFile file = loadFile(parsed.operands[0]);
  // The document must outlive the handles into it.
  const xml::DocumentPtr document = documentOf(file);
  const xml::Node root = document->documentElement();
  nlohmann::ordered_json json;
  json[std::string(root.name())] = ElementToJson(root);
  out << json.dump(2) << '\n';
  return kExitSuccess;
}

int check(const std::vector<std::string>& args, std::ostream& out) {
  const Arguments parsed = parse("check", args, 1, {}, {"--passmasks"});
  const LoadedFile file = loadFile(parsed.operands[0]);
  if (file.kind != Kind::DeviceSeries) {
    throw Failure{kExitUsage,
                  parsed.operands[0] + ": check reads device series; this is " + aFileOfKind(file.kind)};
  }
  std::optional<LoadedFile> passmasks;
  if (const auto path = parsed.value("--passmasks")) {
    passmasks = loadFile(*path);
    if (passmasks->kind != Kind::PassmaskList) {
      throw Failure{kExitUsage,
                    *path + ": --passmasks needs a passmask list; this is " + aFileOfKind(passmasks->kind)};
    }
  }
  const std::vector<std::string> problems =
      CheckDeviceSeries(file.series, passmasks ? &passmasks->passmasks : nullptr);
  for (const std::string& problem : problems) out << parsed.operands[0] << ": " << problem << '\n';
  return problems.empty() ? kExitSuccess : kExitProblems;
}

int convert(const std::vector<std::string>& args) {
  const Arguments parsed = parse("convert", args, 2, {"--keep-version"}, {});
  LoadedFile file = loadFile(parsed.operands[0]);
  const std::string& target = parsed.operands[1];
  const bool keep = parsed.flag("--keep-version");
  const VersionRecord version = VersionRecord::Parse(file.version);
  switch (file.kind) {
    case Kind::DeviceSeries: {
      DeviceSeriesIO2 io(target);
      saveOrFail(
          target, [&] { return keep ? io.SaveWithVersion(file.series, version) : io.Save(file.series); }, "");
      break;
    }
    case Kind::MediaFile: {
      MediaFileIO io(target);
      saveOrFail(
          target,
          [&] { return keep ? io.SaveWithVersion(file.media, file.media.version) : io.Save(file.media); },
          io.LastError());
      break;
    }
    case Kind::PassmaskList: {
      PassmaskListIO io(target);
      saveOrFail(
          target,
          [&] {
            return keep ? io.SaveWithVersion(file.passmasks, file.passmasks.version)
                        : io.Save(file.passmasks);
          },
          io.LastError());
      break;
    }
  }
  return kExitSuccess;
}

int validate(const std::vector<std::string>& args, std::ostream& err) {
  const Arguments parsed = parse("validate", args, 1, {}, {"--schema"});
  const auto schema = parsed.value("--schema");
  if (!schema) usageError("validate needs --schema XSD");
  const std::string& path = parsed.operands[0];
  requireReadable(path);
  requireReadable(*schema);

  // A schema that cannot be used would let the load go on unvalidated; its messages come
  // through the debug output, so they are caught and turned into a failure here.
  win::SetDebugOutputToBuffer();
  MSXMLDOMCreator creator;
  creator.LoadValidatedDocument(path, *schema);
  const std::string schemaProblems = win::TakeDebugOutput();
  win::SetDebugOutputToDefault();
  if (!schemaProblems.empty()) {
    std::string message = schemaProblems;
    while (!message.empty() && message.back() == '\n') message.pop_back();
    throw Failure{kExitUsage, *schema + ": the schema cannot be used: " + message};
  }
  if (creator.hasError) {
    // One line a problem, each saying which file it is about.
    std::istringstream problems(creator.errorText);
    for (std::string line; std::getline(problems, line);)
      err << "pelagon-dsr: " << path << ": not valid: " << line << '\n';
    return kExitProblems;
  }
  return kExitSuccess;
}

// The platform's text for its last error code.
std::string lastErrorText() {
  return win::_com_error(win::HRESULT_FROM_WIN32(win::GetLastError())).ErrorMessage();
}

std::string mediaName(const MediaInfo& medium) { return "\"" + medium.strMediaName[0] + "\""; }

int merge(const std::vector<std::string>& args, std::ostream& out) {
  const Arguments parsed = parse("merge", args, 2, {"--dry-run"}, {});
  const std::string& installedPath = parsed.operands[0];
  const std::string& newPath = parsed.operands[1];
  const LoadedFile fresh = loadFile(newPath);
  if (fresh.kind != Kind::DeviceSeries) {
    throw Failure{kExitUsage, newPath + ": merge needs a device series; this is " + aFileOfKind(fresh.kind)};
  }
  std::optional<LoadedFile> installed;
  if (::access(installedPath.c_str(), F_OK) == 0) {
    installed = loadFile(installedPath);
    if (installed->kind != Kind::DeviceSeries) {
      throw Failure{kExitUsage,
                    installedPath + ": merge needs a device series; this is " + aFileOfKind(installed->kind)};
    }
  }

  MediaMergeReport report;
  if (installed) {
    DeviceSeries merged = fresh.series;
    report = MergeMedia(installed->series, merged);
  }
  if (!parsed.flag("--dry-run")) {
    // The merge does not look at how the new file's copies went; what failed is kept here,
    // so that a folder that cannot be written is said as such.
    std::string writeFailure;
    const auto copyNewFile = [&](const std::string& path) {
      if (win::CopyFileA(newPath.c_str(), path.c_str(), win::FALSE)) return true;
      writeFailure = path == installedPath
                         ? "cannot be written: " + lastErrorText()
                         : "not changed: '" + path + "' cannot be written: " + lastErrorText();
      return false;
    };
    MediaMergeOutcome outcome;
    try {
      outcome = MergeMediaUpdateFrom(installedPath, copyNewFile);
    } catch (const win::_com_error& error) {
      throw Failure{kExitUsage, installedPath + ": not changed: " +
                                    (error.HasDescription() ? error.Description() : error.ErrorMessage())};
    }
    if (!writeFailure.empty()) throw Failure{kExitUsage, installedPath + ": " + writeFailure};
    using Result = MediaMergeOutcome::Result;
    if (outcome.result == Result::InstalledDirectly) {
      out << "installed " << newPath << " as " << installedPath << " (nothing to merge)\n";
      return kExitSuccess;
    }
    if (outcome.result != Result::Merged) {
      throw Failure{kExitProblems, installedPath + ": not changed: the merge could not be completed"};
    }
    report = outcome.report;
  } else if (!installed) {
    out << "would install " << newPath << " as " << installedPath << " (nothing to merge)\n";
    return kExitSuccess;
  }
  for (int i : report.fromNew)
    out << "kept from the new file: " << mediaName(fresh.series.aMediaInfoList[i]) << '\n';
  for (int i : report.visibilityTakenOver) {
    const MediaInfo& medium = fresh.series.aMediaInfoList[i];
    bool visible = medium.bVisibleMedia;
    for (const MediaInfo& old : installed->series.aMediaInfoList) {
      if (SameMediaName(old, medium)) visible = old.bVisibleMedia;
    }
    out << "kept with the user's visibility (" << (visible ? "shown" : "hidden") << "): " << mediaName(medium)
        << '\n';
  }
  for (int i : report.appended) {
    out << "appended from the installed file: " << mediaName(installed->series.aMediaInfoList[i]) << '\n';
  }
  return kExitSuccess;
}

}  // namespace

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  try {
    if (args.empty()) usageError("no command given");
    const std::string& command = args[0];
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (command == "-h" || command == "--help" || command == "help") {
      out << kUsage;
      return kExitSuccess;
    }
    if (command == "--version") {
      out << "pelagon-dsr " << PELAGON_VERSION << '\n';
      return kExitSuccess;
    }
    for (const std::string& arg : rest) {
      if (arg == "-h" || arg == "--help") {
        out << kUsage;
        return kExitSuccess;
      }
    }
    const win::ComScope com;
    if (!com.Ok() || !EnsureMsxmlAvailable()) throw Failure{kExitUsage, "the XML backend cannot be started"};
    if (command == "info") return info(rest, out);
    if (command == "dump") return dump(rest, out);
    if (command == "check") return check(rest, out);
    if (command == "convert") return convert(rest);
    if (command == "validate") return validate(rest, err);
    if (command == "merge") return merge(rest, out);
    if (command == "diff") return diff(rest, out);
    if (command == "plot") return plot(rest);
    usageError("unknown command '" + command + "'");
  } catch (const Failure& failure) {
    err << "pelagon-dsr: " << failure.message << '\n';
    if (failure.pointToHelp) {
      err << "Try 'pelagon-dsr --help' for more information.\n";
    }
    return failure.status;
  } catch (const win::_com_error& error) {
    err << "pelagon-dsr: " << error.ErrorMessage() << '\n';
  } catch (const std::exception& error) {
    err << "pelagon-dsr: " << error.what() << '\n';
  } catch (...) {
    err << "pelagon-dsr: unexpected failure\n";
  }
  return kExitProblems;
}

}  // namespace pelagon::dsr
