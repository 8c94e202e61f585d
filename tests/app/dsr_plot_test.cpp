// pelagon-dsr plot: the pictures read back, SVG as paths and PNG as pixels.
#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <optional>
#include <pugixml.hpp>
#include <regex>
#include <sstream>

#include <pelagon/app/dsr_commands.h>
#include <pelagon/model/media_file.h>
#include "../support/sample_series.h"
#include "../support/test_support.h"

namespace pelagon::test {
namespace {

using Point = std::pair<double, double>;

constexpr InkColor kCyan{0, 160, 233}, kLightCyan{100, 200, 250}, kLightCyanDark{20, 120, 200},
    kMagenta{228, 0, 127}, kUnknownInk{140, 140, 140};

// The sample series plus inks 900 (C), 901 (Lc, a light ink) and 902 (M); separation 900 with
// the channels C, Lc and the unknown ink 999, stored curves for C and Lc and none for M;
// separation 901 without tables; the medium "Plot Test" with permission set 7 on separation 900.
class DsrPlotTest : public ::testing::Test {
protected:
  void SetUp() override {
    DeviceSeries series = makeSampleSeries();
    const auto addInk = [&](std::int32_t index, const char* name, InkColor light, InkColor dark) {
      InkInfo ink;
      ink.nInkIndex = index;
      ink.strShortInkName = name;
      ink.lightColor = light;
      ink.darkColor = dark;
      series.aInkInfoList.append(ink);
    };
    addInk(900, "C", {}, kCyan);
    addInk(901, "Lc", kLightCyan, kLightCyanDark);
    addInk(902, "M", {}, kMagenta);
    OutputTableSamples linear{}, square{};
    for (std::uint16_t j = 0; j < linear.size(); ++j) {
      linear[j] = static_cast<std::uint16_t>(j * 16);
      square[j] = static_cast<std::uint16_t>(j * j / 16);
    }
    SeparationInfo separation;
    separation.nSeparationIndex = 901;
    series.aSeparationInfoList.append(separation);
    separation.nSeparationIndex = 900;
    const auto addTable = [&](std::int32_t ink, std::optional<OutputTable> curve) {
      SeparationTable table;
      table.eType = curve ? 1 : 0;
      table.usOutputTable = curve;
      table.nInkIndex = ink;
      separation.aSeparationTableList.append(table);
    };
    // Expanded from samples, so that the tables load back as they were.
    addTable(900, expandOutputTable(linear));
    addTable(901, expandOutputTable(square));
    addTable(902, std::nullopt);
    for (const std::int32_t ink : {900, 901, 999}) separation.anInputChannelInkIndexList.append(ink);
    series.aSeparationInfoList.append(separation);

    MediaInfo medium;
    medium.strMediaName[0] = "Plot Test";
    PermissionSet permission;
    permission.nPermissionIndex = 7;
    permission.nSeparationIndex = 900;
    for (int c = 0; c < 3; ++c) {
      CalibrationInfo calibration;
      for (std::size_t s = 0; s < kCalibrationStepCount; ++s) {
        const double step = static_cast<double>(s);
        calibration.density[s] = static_cast<float>((c + 1) * 0.1 * step + 0.005 * step * step);
        calibration.lab[s] = {static_cast<float>(100 - 4 * step), static_cast<float>(c * 10 - step),
                              static_cast<float>(2 * step - c * 5)};
      }
      permission.aCalibrationInfoList.append(calibration);
    }
    medium.aPermissionSetList.append(permission);
    series.aMediaInfoList.append(medium);
    ASSERT_TRUE(DeviceSeriesIO2(file("plot.dsr")).Save(series));
    ASSERT_TRUE(DeviceSeriesIO2(file("plot.dsr")).Load(saved_));
    MediaFile media;
    media.strSeriesName = "Pelagon";
    media.media.append(medium);
    ASSERT_TRUE(MediaFileIO(file("plot.rmt")).Save(media));
    dropComInitialisations();
  }

  int plot(std::vector<std::string> args, std::string* message = nullptr) {
    args.insert(args.begin(), "plot");
    std::ostringstream out, err;
    const int status = dsr::Run(args, out, err);
    if (message) *message = err.str();
    return status;
  }

  std::string file(const std::string& name) const { return dir_.file(name); }

  TempDir dir_;
  DeviceSeries saved_;
};

struct Path {
  bool stroked;
  InkColor colour;
  std::vector<Point> points;  // of straight-line paths only
};

std::vector<Path> paths(const std::string& svgFile) {
  pugi::xml_document svg;
  EXPECT_TRUE(svg.load_file(svgFile.c_str()));
  std::vector<Path> found;
  for (const pugi::xpath_node& node : svg.select_nodes("//path")) {
    const std::string style = node.node().attribute("style").value();
    const bool stroked = style.find("fill:none") != std::string::npos;
    const auto rgb = style.find(stroked ? "stroke:rgb(" : "fill:rgb(");
    if (rgb == std::string::npos) continue;
    double percent[3] = {};
    std::sscanf(style.c_str() + style.find('(', rgb), "(%lf%%,%lf%%,%lf%%)", &percent[0], &percent[1],
                &percent[2]);
    const auto byte = [&](int i) { return static_cast<std::uint8_t>(std::lround(percent[i] * 2.55)); };
    Path path{stroked, {byte(0), byte(1), byte(2)}, {}};
    std::istringstream d(node.node().attribute("d").value());
    for (std::string op; d >> op && (op == "M" || op == "L");)
      d >> path.points.emplace_back().first >> path.points.back().second;
    found.push_back(path);
  }
  return found;
}

std::vector<Path> linesIn(const std::vector<Path>& all, InkColor colour, bool stroked = true) {
  std::vector<Path> matching;
  for (const Path& p : all)
    if (p.colour == colour && p.stroked == stroked) matching.push_back(p);
  return matching;
}

// Each line runs from the first to the last of its values, and every corner is one of them,
// all on one chart's scale, which the first line's ends fix. (cairo merges corners along a
// straight stretch, so each corner is matched to its nearest value.)
void expectLinesThrough(const std::vector<Path>& lines, const std::vector<std::vector<Point>>& values) {
  ASSERT_EQ(lines.size(), values.size());
  const Point p0 = lines[0].points.front(), p1 = lines[0].points.back();
  const Point v0 = values[0].front(), v1 = values[0].back();
  const auto at = [&](const Point& v) {
    return Point{p0.first + (v.first - v0.first) * (p1.first - p0.first) / (v1.first - v0.first),
                 p0.second + (v.second - v0.second) * (p1.second - p0.second) / (v1.second - v0.second)};
  };
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const auto nearest = [&](const Point& p) {
      std::pair<double, std::size_t> best{std::numeric_limits<double>::max(), 0};
      for (std::size_t k = 0; k < values[i].size(); ++k) {
        const Point q = at(values[i][k]);
        best = std::min(best, {std::hypot(q.first - p.first, q.second - p.second), k});
      }
      EXPECT_LT(best.first, 0.05) << "line " << i << " at " << p.first << "," << p.second;
      return best.second;
    };
    for (const Point& p : lines[i].points) nearest(p);
    EXPECT_EQ(nearest(lines[i].points.front()), 0u) << "line " << i;
    EXPECT_EQ(nearest(lines[i].points.back()), values[i].size() - 1) << "line " << i;
  }
}

TEST_F(DsrPlotTest, CalibrationLinesFollowTheRecordsInTheirInksColours) {
  ASSERT_EQ(plot({file("plot.dsr"), "-o", file("dsr.svg"), "--media", "Plot Test"}), 0);
  const std::vector<Path> all = paths(file("dsr.svg"));
  EXPECT_TRUE(linesIn(all, kLightCyanDark).empty()) << "a light ink is drawn in its light colour";
  const auto& calibrations =
      saved_.aMediaInfoList[saved_.aMediaInfoList.size() - 1].aPermissionSetList[0].aCalibrationInfoList;
  // The density chart first, then the a*b* chart, each with a line per channel.
  std::vector<Path> densityLines, labLines;
  std::vector<std::vector<Point>> densities, labs;
  for (const InkColor colour : {kCyan, kLightCyan, kUnknownInk}) {
    const std::vector<Path> lines = linesIn(all, colour);
    ASSERT_EQ(lines.size(), 2u);
    densityLines.push_back(lines[0]);
    labLines.push_back(lines[1]);
    const CalibrationInfo& calibration = calibrations[static_cast<int>(densities.size())];
    densities.emplace_back();
    labs.emplace_back();
    for (std::size_t s = 0; s < kCalibrationStepCount; ++s) {
      densities.back().emplace_back(5.0 * static_cast<double>(s), calibration.density[s]);
      labs.back().emplace_back(calibration.lab[s].a, calibration.lab[s].b);
    }
  }
  expectLinesThrough(densityLines, densities);
  expectLinesThrough(labLines, labs);

  // A media settings file draws the same with the series it names; cairo numbers its
  // surfaces through the process.
  ASSERT_EQ(
      plot({file("plot.rmt"), "--series", file("plot.dsr"), "-o", file("rmt.svg"), "--media", "Plot Test"}),
      0);
  const auto drawing = [&](const std::string& name) {
    return std::regex_replace(readFile(file(name)), std::regex("id=\"surface[0-9]+\""), "");
  };
  EXPECT_TRUE(drawing("rmt.svg") == drawing("dsr.svg"));
}

TEST_F(DsrPlotTest, OutputCurvesAreTheStoredTablesAndATableWithoutOneIsNotDrawn) {
  ASSERT_EQ(plot({file("plot.dsr"), "-o", file("curves.svg"), "--separation", "900"}), 0);
  const std::vector<Path> all = paths(file("curves.svg"));
  const auto& tables = saved_.aSeparationInfoList[saved_.aSeparationInfoList.size() - 1].aSeparationTableList;
  std::vector<std::vector<Point>> curves(2);
  for (std::size_t i = 0; i < kOutputTableSize; ++i) {
    for (int t = 0; t < 2; ++t)
      curves[static_cast<std::size_t>(t)].emplace_back(i, (*tables[t].usOutputTable)[i]);
  }
  const std::vector<Path> cyan = linesIn(all, kCyan), lightCyan = linesIn(all, kLightCyan);
  ASSERT_TRUE(cyan.size() == 1 && lightCyan.size() == 1);
  expectLinesThrough({cyan[0], lightCyan[0]}, curves);
  EXPECT_EQ(linesIn(all, kCyan, false).size(), 1u) << "its legend swatch";
  EXPECT_TRUE(linesIn(all, kMagenta).empty() && linesIn(all, kMagenta, false).empty());
}

TEST_F(DsrPlotTest, PngShowsTheInksColours) {
  struct Case {
    std::vector<std::string> what;
    std::vector<InkColor> shown, absent;
  };
  for (const Case& c : {Case{{"--media", "Plot Test", "--permission", "7"},
                             {kCyan, kLightCyan, kUnknownInk},
                             {kLightCyanDark}},
                        Case{{"--separation", "900"}, {kCyan, kLightCyan}, {kMagenta}}}) {
    std::vector<std::string> args{file("plot.dsr"), "-o", file("plot.png")};
    args.insert(args.end(), c.what.begin(), c.what.end());
    ASSERT_EQ(plot(args), 0) << c.what[0];
    cairo_surface_t* image = cairo_image_surface_create_from_png(file("plot.png").c_str());
    ASSERT_EQ(cairo_surface_status(image), CAIRO_STATUS_SUCCESS);
    const auto pixels = [&](InkColor colour) {
      const std::uint32_t wanted = (std::uint32_t{colour.R} << 16) | (colour.G << 8) | colour.B;
      int count = 0;
      for (int row = 0; row < cairo_image_surface_get_height(image); ++row) {
        const auto* line = reinterpret_cast<const std::uint32_t*>(
            cairo_image_surface_get_data(image) + row * cairo_image_surface_get_stride(image));
        for (int col = 0; col < cairo_image_surface_get_width(image); ++col)
          count += (line[col] & 0xFFFFFF) == wanted;
      }
      return count;
    };
    // At least the legend's swatch, 16 by 10 pixels of the plain colour.
    for (const InkColor colour : c.shown) EXPECT_GE(pixels(colour), 160) << c.what[0] << " " << int{colour.R};
    for (const InkColor colour : c.absent) EXPECT_EQ(pixels(colour), 0) << c.what[0] << " " << int{colour.R};
    cairo_surface_destroy(image);
  }
}

TEST_F(DsrPlotTest, FailuresWriteNoFile) {
  writeFile(file("other.xml"), "<Something/>");
  const std::string dsr = file("plot.dsr"), out = file("out.svg");
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  for (const Case& c : std::vector<Case>{
           {{dsr, "-o", out, "--media", "Nobody"}, "no medium \"Nobody\""},
           {{dsr, "-o", out, "--media", "Plot Test", "--permission", "8"}, "has no permission set 8"},
           {{dsr, "-o", out, "--separation", "77"}, "no separation 77"},
           {{dsr, "-o", out, "--separation", "901"}, "separation 901 has no tables"},
           {{dsr, "-o", file("out.gif"), "--separation", "900"}, ".svg, .png or .pdf"},
           {{dsr, "--separation", "900"}, "-o OUT"},
           {{dsr, "-o", out, "--separation", "900", "--media", "Plot Test"}, "either"},
           {{dsr, "-o", out}, "either"},
           {{dsr, "-o", out, "--separation", "x"}, "whole number"},
           {{file("plot.rmt"), "-o", out, "--media", "Plot Test"}, "--series DSR"},
           {{file("plot.rmt"), "-o", out, "--media", "Plot Test", "--series", file("plot.rmt")},
            "needs a device series"},
           {{file("missing.dsr"), "-o", out, "--separation", "900"}, "cannot open"},
           {{file("other.xml"), "-o", out, "--separation", "900"}, "not a device series"},
           {{dsr, "-o", file("no/such/folder.svg"), "--separation", "900"}, "cannot write"},
       }) {
    std::string err;
    EXPECT_EQ(plot(c.args, &err), 2) << c.message;
    EXPECT_EQ(err.rfind("pelagon-dsr: ", 0), 0u) << err;
    EXPECT_NE(err.find(c.message), std::string::npos) << err;
  }
  EXPECT_EQ(countFiles(dir_.path()), 3u) << "only the inputs";
}

TEST_F(DsrPlotTest, HostileValuesDrawWithoutTrouble) {
  DeviceSeries series = saved_;
  MediaInfo& medium = series.aMediaInfoList[series.aMediaInfoList.size() - 1];
  PermissionSet& permission = medium.aPermissionSetList[0];
  const float huge = std::numeric_limits<float>::max();
  // More calibration records than channels, values no chart can hold, and a permission set
  // whose separation is missing with every value the same.
  for (int extra = 0; extra < 3; ++extra) permission.aCalibrationInfoList.append(CalibrationInfo{});
  CalibrationInfo& wild = permission.aCalibrationInfoList[0];
  wild.density = {std::numeric_limits<float>::quiet_NaN(), huge, -huge, 1e30F,
                  std::numeric_limits<float>::infinity()};
  wild.lab[1] = {std::numeric_limits<float>::quiet_NaN(), huge, -huge};
  PermissionSet flat;
  flat.nPermissionIndex = 8;
  flat.nSeparationIndex = 555;
  flat.aCalibrationInfoList.append(CalibrationInfo{});
  medium.aPermissionSetList.append(flat);
  series.aSeparationInfoList[series.aSeparationInfoList.size() - 1]
      .aSeparationTableList[0]
      .usOutputTable->fill(65535);
  ASSERT_TRUE(DeviceSeriesIO2(file("hostile.dsr")).Save(series));
  dropComInitialisations();
  for (const char* out : {"h.svg", "h.png", "h.pdf"}) {
    EXPECT_EQ(plot({file("hostile.dsr"), "-o", file(out), "--media", "Plot Test"}), 0) << out;
    EXPECT_EQ(plot({file("hostile.dsr"), "-o", file(out), "--separation", "900"}), 0) << out;
    EXPECT_GT(std::filesystem::file_size(file(out)), 0u);
  }
}

}  // namespace
}  // namespace pelagon::test
