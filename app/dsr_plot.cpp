#include <pelagon/app/dsr_plot.h>

#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <numbers>
#include <optional>
#include <string_view>
#include <utility>

#include <pelagon/app/dsr_commands.h>
#include <pelagon/app/dsr_files.h>
#include <pelagon/model/device_series.h>
#include <pelagon/model/media_file.h>
#include <pelagon/platform/code_page.h>
#include <pelagon/xmlio/dom.h>

namespace pelagon::dsr {

namespace {

enum class Format { Svg, Png, Pdf };

struct Rgb {
  double r = 0, g = 0, b = 0;
};

// Inks the file does not have; the chart's own greys are kept apart from it.
constexpr Rgb kUnknownInk{140 / 255.0, 140 / 255.0, 140 / 255.0};
constexpr Rgb kInk{0.15, 0.15, 0.15};
constexpr Rgb kGrid{0.88, 0.88, 0.88};

constexpr double kPageWidth = 1100;
constexpr double kPageHeight = 460;
// cairo's image surfaces end at this many pixels a side.
constexpr double kLargestImageSide = 32767;
// Larger values from a file are left out of a chart (a gap in its line), like NaN: they would
// squash every other line flat, and their coordinates would leave cairo's fixed-point range.
constexpr double kLargestPlotted = 1e6;
constexpr double kLegendLeft = 930;

template <auto Destroy>
struct Releaser {
  void operator()(auto* handle) const { Destroy(handle); }
};
using SurfacePtr = std::unique_ptr<cairo_surface_t, Releaser<cairo_surface_destroy>>;
using ContextPtr = std::unique_ptr<cairo_t, Releaser<cairo_destroy>>;

// fontconfig and cairo keep their caches for the life of the process; they are given back
// when a plot ends, so that a leak checker sees only what the command itself lost.
struct FontCachesReleased {
  FontCachesReleased() = default;
  FontCachesReleased(const FontCachesReleased&) = delete;
  FontCachesReleased& operator=(const FontCachesReleased&) = delete;
  ~FontCachesReleased() {
    cairo_debug_reset_static_data();
    FcFini();
  }
};

bool plottable(double value) { return std::isfinite(value) && std::fabs(value) <= kLargestPlotted; }

// Text from a file, as UTF-8 cairo can show, cut to what fits a line.
std::string shown(std::string_view text) {
  std::string utf8 = win::AnsiToUtf8(text.substr(0, 240));
  std::size_t characters = 0;
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    if ((static_cast<unsigned char>(utf8[i]) & 0xC0) != 0x80 && ++characters > 80) {
      utf8.resize(i);
      utf8 += "\u2026";
      break;
    }
  }
  return utf8;
}

std::string number(double value) {
  char digits[32];
  std::snprintf(digits, sizeof digits, "%g", value);
  return digits;
}

// ---- Inks ----

// A light ink is one whose English name begins with "Light", or whose short name is "L" and
// one lower-case letter ("Lc", "Lm", "Lk"): the convention of the shipped series.
bool isLightInk(const InkInfo& ink) {
  const std::string& shortName = ink.strShortInkName;
  const bool shortLight =
      shortName.size() == 2 && shortName[0] == 'L' && shortName[1] >= 'a' && shortName[1] <= 'z';
  return shortLight || ink.strLongInkName[0].rfind("Light", 0) == 0;
}

struct Pen {
  Rgb colour;
  std::string name;
};

Pen penOf(const DeviceSeries& series, std::int32_t inkIndex) {
  for (const InkInfo& ink : series.aInkInfoList) {
    if (ink.nInkIndex != inkIndex) continue;
    const InkColor& c = isLightInk(ink) ? ink.lightColor : ink.darkColor;
    const std::string name = ink.strShortInkName.empty()
                                 ? std::string("ink ").append(std::to_string(inkIndex))
                                 : ink.strShortInkName;
    return {{c.R / 255.0, c.G / 255.0, c.B / 255.0}, shown(name)};
  }
  return {kUnknownInk, std::string("ink ").append(std::to_string(inkIndex)).append(" (unknown)")};
}

// ---- Charts ----

struct Range {
  double lo = 0, hi = 0;
  bool any = false;
  // Kept as it is rather than rounded outward: the output tables' 0 to 4095.
  bool fixed = false;

  void include(double value) {
    if (!plottable(value)) return;
    lo = any ? std::min(lo, value) : value;
    hi = any ? std::max(hi, value) : value;
    any = true;
  }
  // Outward to round numbers, never empty.
  Range nice() const {
    if (fixed) return *this;
    Range range = *this;
    if (!any) range = {0, 1, true};
    if (range.hi - range.lo < 1e-9) range = {range.lo - 0.5, range.hi + 0.5, true};
    const double step = tickStep();
    return {std::floor(range.lo / step) * step, std::ceil(range.hi / step) * step, true};
  }
  double tickStep() const {
    const double span = std::max(hi - lo, 1e-9);
    const double unit = std::pow(10.0, std::floor(std::log10(span / 5)));
    for (const double factor : {1.0, 2.0, 5.0}) {
      if (span / (unit * factor) <= 6 + 1e-9) return unit * factor;
    }
    return unit * 10;
  }
};

struct Box {
  double left, top, width, height;
};

struct LegendEntry {
  std::optional<Rgb> swatch;  // nothing for what was not drawn
  std::string text;
};

void setColour(cairo_t* cr, const Rgb& c) { cairo_set_source_rgb(cr, c.r, c.g, c.b); }

void drawText(cairo_t* cr, double x, double y, const std::string& line, double size = 12, double align = 0,
              bool bold = false) {
  cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL,
                         bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, size);
  cairo_text_extents_t extents;
  cairo_text_extents(cr, line.c_str(), &extents);
  cairo_move_to(cr, x - align * extents.x_advance, y);
  cairo_show_text(cr, line.c_str());
}

// Frame, grid, ticks and labels of one chart, and the mapping of values into it.
class Chart {
public:
  Chart(cairo_t* cr, Box box, Range x, Range y) : cr_(cr), box_(box), x_(x.nice()), y_(y.nice()) {}

  double px(double x) const { return box_.left + (x - x_.lo) / (x_.hi - x_.lo) * box_.width; }
  double py(double y) const { return box_.top + box_.height - (y - y_.lo) / (y_.hi - y_.lo) * box_.height; }

  void axes(const std::string& title, const std::string& xLabel, const std::string& yLabel) const {
    cairo_set_line_width(cr_, 1);
    for (const bool vertical : {true, false}) {
      const Range& range = vertical ? x_ : y_;
      const double step = range.tickStep();
      const double first = std::ceil(range.lo / step - 1e-9) * step;
      const int count = static_cast<int>(std::floor((range.hi - first) / step + 1e-9));
      for (int i = 0; i <= count; ++i) {
        const double value = first + i * step;
        const bool zero = std::fabs(value) < step * 1e-6;
        const double at = vertical ? px(value) : py(value);
        setColour(cr_, zero ? Rgb{0.6, 0.6, 0.6} : kGrid);
        if (vertical) {
          cairo_move_to(cr_, at, box_.top);
          cairo_line_to(cr_, at, box_.top + box_.height);
        } else {
          cairo_move_to(cr_, box_.left, at);
          cairo_line_to(cr_, box_.left + box_.width, at);
        }
        cairo_stroke(cr_);
        setColour(cr_, kInk);
        const std::string label = number(zero ? 0 : value);
        if (vertical) {
          drawText(cr_, at, box_.top + box_.height + 15, label, 10, 0.5);
        } else {
          drawText(cr_, box_.left - 5, at + 4, label, 10, 1);
        }
      }
    }
    setColour(cr_, kInk);
    cairo_rectangle(cr_, box_.left, box_.top, box_.width, box_.height);
    cairo_stroke(cr_);
    drawText(cr_, box_.left, box_.top - 8, title, 12, 0, true);
    drawText(cr_, box_.left + box_.width / 2, box_.top + box_.height + 32, xLabel, 11, 0.5);
    cairo_save(cr_);
    cairo_translate(cr_, box_.left - 38, box_.top + box_.height / 2);
    cairo_rotate(cr_, -std::numbers::pi / 2);
    drawText(cr_, 0, 0, yLabel, 11, 0.5);
    cairo_restore(cr_);
  }

  // A line through the points that can be drawn; the others break it.
  void line(const std::vector<std::pair<double, double>>& points, const Rgb& colour) const {
    bool open = false;
    for (const auto& [x, y] : points) {
      if (!plottable(x) || !plottable(y)) {
        open = false;
        continue;
      }
      if (open) {
        cairo_line_to(cr_, px(x), py(y));
      } else {
        cairo_move_to(cr_, px(x), py(y));
      }
      open = true;
    }
    setColour(cr_, colour);
    cairo_set_line_width(cr_, 2.5);
    cairo_set_line_join(cr_, CAIRO_LINE_JOIN_ROUND);
    cairo_stroke(cr_);
  }

private:
  cairo_t* cr_;
  Box box_;
  Range x_, y_;
};

void legend(cairo_t* cr, double top, const std::vector<LegendEntry>& entries) {
  constexpr std::size_t kRows = 20;
  for (std::size_t i = 0; i < entries.size() && i < kRows; ++i) {
    const double y = top + 18.0 * static_cast<double>(i);
    const bool last = i + 1 == kRows && entries.size() > kRows;
    if (entries[i].swatch && !last) {
      setColour(cr, *entries[i].swatch);
      cairo_rectangle(cr, kLegendLeft, y - 9, 16, 10);
      cairo_fill(cr);
    }
    setColour(cr, kInk);
    drawText(cr, kLegendLeft + 22, y,
             last ? std::string("and ").append(std::to_string(entries.size() - i)).append(" more")
                  : entries[i].text,
             11);
  }
}

// ---- What is drawn ----

using PageDrawer = std::function<void(cairo_t*, double top)>;

std::string resolutionName(const DeviceSeries& series, std::int32_t index) {
  for (const ResolutionInfo& resolution : series.aResolutionInfoList) {
    if (resolution.nResolutionIndex == index && !resolution.strResolutionName[0].empty())
      return shown(resolution.strResolutionName[0]);
  }
  return std::to_string(index);
}

std::string modeName(const DeviceSeries& series, std::int32_t index) {
  for (const ModeInfo& mode : series.aModeInfoList) {
    if (mode.nModeIndex == index && !mode.strModeName.empty()) return shown(mode.strModeName);
  }
  return std::to_string(index);
}

std::string separationName(const SeparationInfo* separation, std::int32_t index) {
  if (!separation) return std::to_string(index) + " (missing)";
  return separation->strSeparationName[0].empty() ? std::to_string(index)
                                                  : shown(separation->strSeparationName[0]);
}

void drawCalibration(cairo_t* cr, double top, const DeviceSeries& series, const MediaInfo& medium,
                     const PermissionSet& permission) {
  const SeparationInfo* separation = FindSeparation(series, permission);
  setColour(cr, kInk);
  drawText(cr, 20, top + 26,
           std::string("\u201c").append(shown(medium.strMediaName[0])) + "\u201d  permission set " +
               std::to_string(permission.nPermissionIndex) + "  \u2022  resolution " +
               resolutionName(series, permission.nResolutionIndex) + "  \u2022  mode " +
               modeName(series, permission.nModeIndex) + "  \u2022  separation " +
               separationName(separation, permission.nSeparationIndex),
           14, 0, true);

  const int channels = separation ? separation->anInputChannelInkIndexList.size() : 0;
  const auto& calibrations = permission.aCalibrationInfoList;
  std::vector<Pen> pens;
  std::vector<LegendEntry> entries;
  for (int i = 0; i < std::max(channels, calibrations.size()); ++i) {
    pens.push_back(
        i < channels
            ? penOf(series, separation->anInputChannelInkIndexList[i])
            : Pen{kUnknownInk, std::string("record ").append(std::to_string(i + 1)).append(" (no channel)")});
    if (i < calibrations.size()) {
      entries.push_back({pens.back().colour, pens.back().name});
    } else {
      entries.push_back({std::nullopt, pens.back().name + ": no calibration"});
    }
  }

  Range density, tint, a, b;
  density.include(0);
  tint.include(0);
  tint.include(100);
  for (const CalibrationInfo& calibration : calibrations) {
    for (std::size_t step = 0; step < kCalibrationStepCount; ++step) {
      density.include(calibration.density[step]);
      a.include(std::fabs(calibration.lab[step].a));
      a.include(std::fabs(calibration.lab[step].b));
    }
  }
  // One scale for a* and b*, around the neutral point.
  a.include(0);
  a = Range{-a.nice().hi, a.nice().hi, true};
  b = a;

  const Chart densities(cr, {70, top + 70, 460, 320}, tint, density);
  densities.axes("density", "tint (%)", "density");
  const Chart labs(cr, {600, top + 70, 300, 300}, a, b);
  labs.axes("a*b*, dots shaded by L*", "a*", "b*");
  for (int i = 0; i < calibrations.size(); ++i) {
    const CalibrationInfo& calibration = calibrations[i];
    std::vector<std::pair<double, double>> curve, lab;
    for (std::size_t step = 0; step < kCalibrationStepCount; ++step) {
      curve.emplace_back(100.0 * static_cast<double>(step) / (kCalibrationStepCount - 1),
                         calibration.density[step]);
      lab.emplace_back(calibration.lab[step].a, calibration.lab[step].b);
    }
    densities.line(curve, pens[static_cast<std::size_t>(i)].colour);
    labs.line(lab, pens[static_cast<std::size_t>(i)].colour);
    for (std::size_t step = 0; step < kCalibrationStepCount; ++step) {
      const CalibrationLab& value = calibration.lab[step];
      if (!plottable(value.a) || !plottable(value.b)) continue;
      const double lightness = plottable(value.L) ? std::clamp(value.L / 100.0, 0.0, 1.0) : 0.5;
      cairo_arc(cr, labs.px(value.a), labs.py(value.b), 3.5, 0, 2 * std::numbers::pi);
      setColour(cr, {lightness, lightness, lightness});
      cairo_fill_preserve(cr);
      setColour(cr, kInk);
      cairo_set_line_width(cr, 0.75);
      cairo_stroke(cr);
      if (step + 1 == kCalibrationStepCount && plottable(value.L)) {
        drawText(cr, labs.px(value.a) + 6, labs.py(value.b) - 6,
                 std::string("L* ").append(number(std::round(value.L * 10) / 10)), 9);
      }
    }
  }
  legend(cr, top + 80, entries);
}

void drawSeparation(cairo_t* cr, double top, const DeviceSeries& series, const SeparationInfo& separation) {
  setColour(cr, kInk);
  drawText(cr, 20, top + 26,
           std::string("Output curves of separation ")
               .append(separationName(&separation, separation.nSeparationIndex)),
           14, 0, true);
  Range input;
  input.include(0);
  input.include(kOutputTableSize - 1);
  input.fixed = true;
  Range output = input;
  for (const SeparationTable& table : separation.aSeparationTableList) {
    if (table.eType == kOutputTableCurveType && table.usOutputTable) {
      for (const std::uint16_t value : *table.usOutputTable) output.include(value);
    }
  }
  // Entries past 4095 can only come from a damaged file; the axis then grows to show them.
  output.fixed = output.hi <= input.hi;
  const Chart chart(cr, {70, top + 60, 800, 330}, input, output);
  chart.axes("", "input", "output");
  std::vector<LegendEntry> entries;
  for (const SeparationTable& table : separation.aSeparationTableList) {
    const Pen pen = penOf(series, table.nInkIndex);
    if (table.eType != kOutputTableCurveType || !table.usOutputTable) {
      entries.push_back({std::nullopt, pen.name + ": no stored curve"});
      continue;
    }
    std::vector<std::pair<double, double>> curve;
    for (std::size_t i = 0; i < kOutputTableSize; ++i)
      curve.emplace_back(static_cast<double>(i), (*table.usOutputTable)[i]);
    chart.line(curve, pen.colour);
    entries.push_back({pen.colour, pen.name});
  }
  legend(cr, top + 70, entries);
}

// ---- Output ----

cairo_status_t appendBytes(void* closure, const unsigned char* data, unsigned int length) {
  try {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
  } catch (...) {
    return CAIRO_STATUS_NO_MEMORY;
  }
}

void requireDrawn(cairo_status_t status) {
  if (status != CAIRO_STATUS_SUCCESS)
    throw Failure{kExitProblems,
                  std::string("the picture cannot be drawn: ") + cairo_status_to_string(status)};
}

// The whole file in memory: PDF a page each, SVG and PNG the pages stacked.
std::string render(Format format, const std::vector<PageDrawer>& pages) {
  const double pageCount = static_cast<double>(pages.size());
  const double height = format == Format::Pdf ? kPageHeight : kPageHeight * pageCount;
  std::string bytes;
  SurfacePtr surface;
  switch (format) {
    case Format::Svg:
      surface.reset(cairo_svg_surface_create_for_stream(appendBytes, &bytes, kPageWidth, height));
      break;
    case Format::Pdf:
      surface.reset(cairo_pdf_surface_create_for_stream(appendBytes, &bytes, kPageWidth, height));
      // Without the time of the run, the same file gives the same bytes.
      cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_CREATE_DATE, "");
      break;
    case Format::Png:
      surface.reset(cairo_image_surface_create(CAIRO_FORMAT_RGB24, static_cast<int>(kPageWidth),
                                               static_cast<int>(height)));
      break;
  }
  requireDrawn(cairo_surface_status(surface.get()));
  {
    const ContextPtr cr(cairo_create(surface.get()));
    for (std::size_t i = 0; i < pages.size(); ++i) {
      const double top = format == Format::Pdf ? 0 : kPageHeight * static_cast<double>(i);
      cairo_set_source_rgb(cr.get(), 1, 1, 1);
      cairo_rectangle(cr.get(), 0, top, kPageWidth, kPageHeight);
      cairo_fill(cr.get());
      pages[i](cr.get(), top);
      if (format == Format::Pdf) cairo_show_page(cr.get());
    }
    requireDrawn(cairo_status(cr.get()));
  }
  if (format == Format::Png) {
    requireDrawn(cairo_surface_write_to_png_stream(surface.get(), appendBytes, &bytes));
  } else {
    cairo_surface_finish(surface.get());
    requireDrawn(cairo_surface_status(surface.get()));
  }
  return bytes;
}

// ---- The command ----

Format formatOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  const auto dot = path.find_last_of('.');
  std::string extension =
      dot == std::string::npos || (slash != std::string::npos && dot < slash) ? "" : path.substr(dot);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (extension == ".svg") return Format::Svg;
  if (extension == ".png") return Format::Png;
  if (extension == ".pdf") return Format::Pdf;
  usageError("plot: " + path + ": the picture's name must end in .svg, .png or .pdf");
}

std::int32_t integerOption(const Arguments& parsed, const std::string& name) {
  const std::string given = *parsed.value(name);
  std::int32_t value = 0;
  const auto [end, error] = std::from_chars(given.data(), given.data() + given.size(), value);
  if (error != std::errc{} || end != given.data() + given.size() || given.empty())
    usageError("plot: " + name + " needs a whole number, not '" + given + "'");
  return value;
}

// Every trouble with an input is the caller's to fix, so the status is always 2.
LoadedFile loadInput(const std::string& path) {
  try {
    return loadFile(path);
  } catch (Failure& failure) {
    failure.status = kExitUsage;
    throw;
  }
}

}  // namespace

int plot(const std::vector<std::string>& args) {
  // "-o OUT" is the short form of --output; parse() knows only long options.
  std::vector<std::string> longArgs;
  bool optionsEnded = false;
  for (const std::string& arg : args) {
    optionsEnded = optionsEnded || arg == "--";
    longArgs.push_back(!optionsEnded && arg == "-o" ? "--output" : arg);
  }
  const Arguments parsed =
      parse("plot", longArgs, 1, {}, {"--output", "--media", "--permission", "--separation", "--series"});
  const std::string& path = parsed.operands[0];
  const auto out = parsed.value("--output");
  if (!out) usageError("plot needs -o OUT, the picture to write");
  const Format format = formatOf(*out);
  const auto mediaName = parsed.value("--media");
  if (mediaName.has_value() == parsed.flag("--separation"))
    usageError("plot needs either --media NAME or --separation N");
  if (!mediaName && parsed.flag("--permission")) usageError("plot: --permission goes with --media");

  const LoadedFile file = loadInput(path);
  if (file.kind == Kind::PassmaskList)
    usageError("plot reads device series and media settings; " + path + " is a passmask list");
  if (file.kind == Kind::MediaFile && !mediaName)
    usageError("plot: --separation reads a device series; " + path + " is " + aFileOfKind(file.kind));
  std::optional<LoadedFile> seriesFile;
  if (const auto seriesPath = parsed.value("--series")) {
    if (file.kind == Kind::DeviceSeries) usageError("plot: --series goes with a media settings file");
    seriesFile = loadInput(*seriesPath);
    if (seriesFile->kind != Kind::DeviceSeries)
      usageError("plot: --series needs a device series; " + *seriesPath + " is " +
                 aFileOfKind(seriesFile->kind));
  } else if (file.kind == Kind::MediaFile) {
    usageError("plot: " + path + " is a media settings file; --series DSR must name its device series");
  }
  const DeviceSeries& series = seriesFile ? seriesFile->series : file.series;

  FontCachesReleased releaseFonts;
  std::vector<PageDrawer> pages;
  if (mediaName) {
    const auto& media = file.kind == Kind::MediaFile ? file.media.media : file.series.aMediaInfoList;
    const auto medium = std::find_if(media.begin(), media.end(), [&](const MediaInfo& m) {
      return m.strMediaName[0] == *mediaName || win::AnsiToUtf8(m.strMediaName[0]) == *mediaName;
    });
    if (medium == media.end()) throw Failure{kExitUsage, path + ": no medium \"" + *mediaName + "\""};
    const std::optional<std::int32_t> wanted =
        parsed.flag("--permission") ? std::optional(integerOption(parsed, "--permission")) : std::nullopt;
    for (const PermissionSet& permission : medium->aPermissionSetList) {
      if (wanted && permission.nPermissionIndex != *wanted) continue;
      pages.push_back(
          [&, medium](cairo_t* cr, double top) { drawCalibration(cr, top, series, *medium, permission); });
    }
    if (pages.empty()) {
      throw Failure{kExitUsage, path + ": medium \"" + *mediaName + "\" has no permission set" +
                                    (wanted ? std::string(" ").append(std::to_string(*wanted)) : "")};
    }
  } else {
    const std::int32_t wanted = integerOption(parsed, "--separation");
    const auto& separations = series.aSeparationInfoList;
    const auto separation =
        std::find_if(separations.begin(), separations.end(),
                     [&](const SeparationInfo& s) { return s.nSeparationIndex == wanted; });
    if (separation == separations.end())
      throw Failure{kExitUsage, path + ": no separation " + std::to_string(wanted)};
    if (separation->aSeparationTableList.size() == 0)
      throw Failure{kExitUsage, path + ": separation " + std::to_string(wanted) + " has no tables"};
    pages.push_back(
        [&, separation](cairo_t* cr, double top) { drawSeparation(cr, top, series, *separation); });
  }
  if (format == Format::Png && kPageHeight * static_cast<double>(pages.size()) > kLargestImageSide) {
    throw Failure{kExitUsage, std::string("plot: ").append(std::to_string(pages.size())) +
                                  " permission sets do not fit one PNG picture; choose one with --permission"
                                  " or write a PDF"};
  }
  const std::string picture = render(format, pages);
  saveOrFail(
      *out,
      [&] {
        xml::WriteFileReplacing(*out, picture);
        return true;
      },
      "");
  return kExitSuccess;
}

}  // namespace pelagon::dsr
