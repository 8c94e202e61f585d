// pelagon-dsr run as a program, on files in a temporary folder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <sstream>

#include <pelagon/app/dsr_commands.h>
#include <pelagon/model/passmask_list.h>
#include "../support/sample_series.h"
#include "../support/test_support.h"

#ifndef PELAGON_DSR_PROGRAM
#error "PELAGON_DSR_PROGRAM must name the built program"
#endif

namespace pelagon::test {
namespace {

struct Result {
  int status = -1;
  std::string out;
  std::string err;
};

std::string quoted(const std::string& arg) {
  std::string text = "'";
  for (char c : arg) text += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return text + "'";
}

class DsrProgramTest : public ::testing::Test {
protected:
  void SetUp() override {
    DeviceSeries series = makeSampleSeries();
    ASSERT_TRUE(DeviceSeriesIO2(dir_.file("sample.dsr")).SaveWithVersion(series, VersionRecord{7, 0, 1, 0}));
    dropComInitialisations();
  }

  // `redirect` sends standard output elsewhere ("> /dev/full").
  Result run(const std::vector<std::string>& args, const std::string& redirect = "") {
    std::string command = quoted(PELAGON_DSR_PROGRAM);
    for (const std::string& arg : args) command.append(" ").append(quoted(arg));
    const std::string errFile = dir_.file("stderr.txt");
    command += " 2>" + quoted(errFile) + redirect;
    const CommandOutput output = runCommand(command);
    if (output.status < 0) return {};
    return {output.status, output.out, readFile(errFile)};
  }

  std::string file(const std::string& name) const { return dir_.file(name); }

  TempDir dir_;
};

TEST_F(DsrProgramTest, HelpVersionAndBadUsage) {
  const Result help = run({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Usage: pelagon-dsr COMMAND"), std::string::npos);
  EXPECT_EQ(run({"info", "--help"}).status, 0);
  const Result version = run({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("pelagon-dsr ", 0), 0u);

  for (const std::vector<std::string>& bad :
       std::vector<std::vector<std::string>>{{},
                                             {"frobnicate"},
                                             {"info"},
                                             {"info", "a", "b"},
                                             {"info", "--frob", file("sample.dsr")},
                                             {"check", file("sample.dsr"), "--passmasks"},
                                             {"validate", file("sample.dsr")}}) {
    const Result result = run(bad);
    EXPECT_EQ(result.status, 2) << (bad.empty() ? "" : bad[0]);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err.rfind("pelagon-dsr: ", 0), 0u) << result.err;
  }
}

TEST_F(DsrProgramTest, InfoDescribesEachKindOfFile) {
  const Result text = run({"info", file("sample.dsr")});
  ASSERT_EQ(text.status, 0) << text.err;
  EXPECT_NE(text.out.find("kind: device series\nversion: 7.0.1.0\nmodels: 2\ninks: 10\n"), std::string::npos);
  EXPECT_NE(text.out.find("V-control points: 327\n"), std::string::npos);
  EXPECT_NE(text.out.find("permission sets: 42\n"), std::string::npos);

  const Result json = run({"info", "--json", file("sample.dsr")});
  ASSERT_EQ(json.status, 0);
  const auto parsed = nlohmann::json::parse(json.out);
  EXPECT_EQ(parsed["kind"], "device series");
  EXPECT_EQ(parsed["lists"]["ink volumes"], 41);

  PassmaskList passmasks;
  passmasks.passmasks.append(Passmask{4, "12+1", "M1", "1.0,1.0,1.0,1.0", 96, {std::string(9857, 'A')}});
  ASSERT_TRUE(PassmaskListIO(file("kd.pmp")).Save(passmasks));
  const Result passmaskInfo = run({"info", file("kd.pmp")});
  EXPECT_EQ(passmaskInfo.status, 0) << passmaskInfo.err;
  EXPECT_EQ(passmaskInfo.out, "kind: passmask list\nversion: 1.0.1.0\npassmasks: 1\npassmask commands: 1\n");
}

TEST_F(DsrProgramTest, DumpGivesTheSameJsonForTheSameDocument) {
  const Result first = run({"dump", file("sample.dsr")});
  ASSERT_EQ(first.status, 0) << first.err;
  const auto json = nlohmann::json::parse(first.out);
  const auto& series = json["DeviceSeries"];
  EXPECT_EQ(series["@strVersion"], "7.0.1.0");
  EXPECT_EQ(series["aModelInfoList"].size(), 2u);
  EXPECT_EQ(series["aModelInfoList"][0]["nHeadPositionIndex"][7], 7);
  EXPECT_EQ(series["aModelInfoList"][0]["dMaxWidth"], 1346.2);
  EXPECT_EQ(series["commandSet"]["strInitialize"], "\\x1BE\\x1B%-12345X");
  EXPECT_EQ(series["aMediaInfoList"][0]["aflFeedCalibration"], nlohmann::json::parse("[0.0, 0.25]"));
  // Numbers whose names carry no type prefix are numbers too.
  const auto& ink = series["aInkInfoList"][0];
  EXPECT_TRUE(ink["lightColor"]["R"].is_number_integer()) << ink["lightColor"];
  const auto& media = series["aMediaInfoList"][0];
  EXPECT_TRUE(media["TimeStamp"]["year"].is_number_integer()) << media["TimeStamp"];
  const auto& calibration = media["aPermissionSetList"][0]["aCalibrationInfoList"][0];
  EXPECT_TRUE(calibration["density"][0].is_number_float()) << calibration["density"];
  EXPECT_TRUE(calibration["lab"][0]["a"].is_number()) << calibration["lab"];
  // The entries of a list of numbers carry list names of their own; they are values still.
  EXPECT_EQ(media["aPermissionSetList"][1]["anVControlIndexList"], nlohmann::json::parse("[1, 2]"));

  ASSERT_EQ(run({"convert", file("sample.dsr"), file("copy.dsr"), "--keep-version"}).status, 0);
  EXPECT_EQ(run({"dump", file("copy.dsr")}).out, first.out);
}

TEST_F(DsrProgramTest, ConvertWritesTheCurrentFormatOrKeepsTheVersion) {
  ASSERT_EQ(run({"convert", file("sample.dsr"), file("current.dsr")}).status, 0);
  EXPECT_NE(readFile(file("current.dsr")).find("<DeviceSeries strVersion=\"3.3.0.0\">"), std::string::npos);
  ASSERT_EQ(run({"convert", file("sample.dsr"), file("kept.dsr"), "--keep-version"}).status, 0);
  const std::string kept = readFile(file("kept.dsr"));
  EXPECT_NE(kept.find("<DeviceSeries strVersion=\"7.0.1.0\">"), std::string::npos);
  EXPECT_EQ(kept, readFile(file("sample.dsr")));

  const Result unwritable = run({"convert", file("sample.dsr"), file("missing/out.dsr")});
  EXPECT_EQ(unwritable.status, 2);
  EXPECT_NE(unwritable.err.find("cannot write"), std::string::npos) << unwritable.err;

  // A control character in a record is a problem of the file, and nothing is written.
  PassmaskList passmasks;
  passmasks.passmasks.append(Passmask{4, "12+1", "M1", "1.0", 96, {"AB"}});
  ASSERT_TRUE(PassmaskListIO(file("kd.pmp")).Save(passmasks));
  std::string text = readFile(file("kd.pmp"));
  text.replace(text.find("12+1"), 4, "12&#1;+1");
  writeFile(file("control.pmp"), text);
  const Result control = run({"convert", file("control.pmp"), file("out.pmp")});
  EXPECT_EQ(control.status, 1) << control.err;
  EXPECT_EQ(control.err.rfind("pelagon-dsr: ", 0), 0u) << control.err;
  EXPECT_FALSE(std::filesystem::exists(file("out.pmp")));
}

TEST_F(DsrProgramTest, CheckReportsBrokenReferencesOneLineEach) {
  const Result clean = run({"check", file("sample.dsr")});
  EXPECT_EQ(clean.status, 0) << clean.out << clean.err;
  EXPECT_EQ(clean.out, "");

  DeviceSeries series = makeSampleSeries();
  series.aMediaInfoList[0].aPermissionSetList[1].nModeIndex = 777;
  ASSERT_TRUE(DeviceSeriesIO2(file("broken.dsr")).Save(series));
  const Result broken = run({"check", file("broken.dsr")});
  EXPECT_EQ(broken.status, 1);
  EXPECT_EQ(std::count(broken.out.begin(), broken.out.end(), '\n'), 1) << broken.out;
  EXPECT_NE(broken.out.find("nModeIndex 777"), std::string::npos) << broken.out;

  const Result wrongKind = run({"check", file("sample.dsr"), "--passmasks", file("sample.dsr")});
  EXPECT_EQ(wrongKind.status, 2);
}

TEST_F(DsrProgramTest, ValidateUsesTheShippedSchemaAndRefusesABrokenOne) {
  const std::string schema = (schemaDir() / "device_series.xsd").string();
  const Result valid = run({"validate", file("sample.dsr"), "--schema", schema});
  EXPECT_EQ(valid.status, 0) << valid.err;

  std::string text = readFile(file("sample.dsr"));
  text.replace(text.find("<dMaxWidth>1346.200</dMaxWidth>"), 30, "<dMaxWidth>1346.2</dMaxWidth>");
  writeFile(file("invalid.dsr"), text);
  const Result invalid = run({"validate", file("invalid.dsr"), "--schema", schema});
  EXPECT_EQ(invalid.status, 1);
  EXPECT_NE(invalid.err.find("not valid"), std::string::npos) << invalid.err;

  writeFile(file("broken.xsd"), "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\"><xs:element/>");
  const Result broken = run({"validate", file("sample.dsr"), "--schema", file("broken.xsd")});
  EXPECT_EQ(broken.status, 2);
  EXPECT_NE(broken.err.find("the schema cannot be used"), std::string::npos) << broken.err;
}

TEST_F(DsrProgramTest, MergeKeepsTheUsersMediaAndCanOnlyTellWhatItWouldDo) {
  DeviceSeries installed = makeSampleSeries();
  installed.aMediaInfoList[1].bVisibleMedia = false;
  MediaInfo own = installed.aMediaInfoList[0];
  own.strMediaName.fill("My Backlit");
  installed.aMediaInfoList.append(own);
  ASSERT_TRUE(DeviceSeriesIO2(file("installed.dsr")).Save(installed));
  const std::string before = readFile(file("installed.dsr"));

  const Result dry = run({"merge", file("installed.dsr"), file("sample.dsr"), "--dry-run"});
  EXPECT_EQ(dry.status, 0) << dry.err;
  EXPECT_NE(dry.out.find("kept with the user's visibility (hidden): \"Generic Vinyl 1 [0]\""),
            std::string::npos)
      << dry.out;
  EXPECT_NE(dry.out.find("appended from the installed file: \"My Backlit\""), std::string::npos);
  EXPECT_EQ(readFile(file("installed.dsr")), before) << "a dry run writes nothing";

  const Result real = run({"merge", file("installed.dsr"), file("sample.dsr")});
  EXPECT_EQ(real.status, 0) << real.err;
  EXPECT_EQ(real.out, dry.out);
  DeviceSeries merged;
  ASSERT_TRUE(DeviceSeriesIO2(file("installed.dsr")).Load(merged));
  EXPECT_EQ(merged.aMediaInfoList.size(), 8);
  EXPECT_FALSE(merged.aMediaInfoList[1].bVisibleMedia);
  EXPECT_NE(readFile(file("installed.dsr")).find("strVersion=\"7.0.1.0\""), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(file("installed.dsr.tmp")));
  EXPECT_FALSE(std::filesystem::exists(file("installed.dsr.out")));

  const Result fresh = run({"merge", file("new-place.dsr"), file("sample.dsr")});
  EXPECT_EQ(fresh.status, 0);
  EXPECT_EQ(readFile(file("new-place.dsr")), readFile(file("sample.dsr")));
}

TEST_F(DsrProgramTest, AMergeThatCannotReplaceTheInstalledFileFailsAndLeavesNothing) {
  const std::string installed = file("installed.dsr");
  const auto leftovers = [&] {
    return std::filesystem::exists(installed + ".tmp") ||
           std::filesystem::is_regular_file(installed + ".out");
  };
  DeviceSeries series = makeSampleSeries();
  series.aMediaInfoList[0].bVisibleMedia = false;
  ASSERT_TRUE(DeviceSeriesIO2(installed).Save(series));
  const std::string before = readFile(installed);

  ::chmod(installed.c_str(), 0444);
  const Result readOnly = run({"merge", installed, file("sample.dsr")});
  EXPECT_EQ(readOnly.status, 2);
  EXPECT_NE(readOnly.err.find("installed.dsr: not changed: "), std::string::npos) << readOnly.err;
  EXPECT_EQ(readOnly.out, "") << "no report of a merge that did not happen";
  EXPECT_EQ(readFile(installed), before);
  EXPECT_FALSE(leftovers());
  ::chmod(installed.c_str(), 0644);

  std::filesystem::create_directory(installed + ".out");
  const Result staleFolder = run({"merge", installed, file("sample.dsr")});
  EXPECT_EQ(staleFolder.status, 2);
  EXPECT_NE(staleFolder.err.find("installed.dsr.out"), std::string::npos) << staleFolder.err;
  EXPECT_EQ(readFile(installed), before);
  EXPECT_FALSE(leftovers());
  std::filesystem::remove(installed + ".out");

  // A folder that refuses new files: neither a merge nor a first install can happen.
  for (const std::string& target : {installed, file("new-place.dsr")}) {
    const int status = RunWhereFolderRefusesNewFiles(dir_.path(), [&] {
      std::ostringstream out, err;
      return dsr::Run({"merge", target, file("sample.dsr")}, out, err);
    });
    EXPECT_EQ(status, 2) << target;
  }
  EXPECT_EQ(readFile(installed), before);
  EXPECT_FALSE(std::filesystem::exists(file("new-place.dsr")));
}

TEST_F(DsrProgramTest, OutputThatDoesNotArriveIsAFailure) {
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"dump", file("sample.dsr")},
                                             {"info", "--json", file("sample.dsr")},
                                             {"merge", file("sample.dsr"), file("sample.dsr"), "--dry-run"},
                                             {"--help"}}) {
    const Result result = run(args, " >/dev/full");
    EXPECT_EQ(result.status, 2) << args[0];
    EXPECT_EQ(result.err, "pelagon-dsr: standard output: cannot write: No space left on device\n") << args[0];
  }
}

TEST_F(DsrProgramTest, BadFilesGiveAClearMessageAndNeverACrash) {
  const Result folder = run({"info", dir_.path().string()});
  EXPECT_EQ(folder.status, 2);
  EXPECT_NE(folder.err.find("Is a directory"), std::string::npos) << folder.err;

  const Result missing = run({"info", file("missing.dsr")});
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.err.find("cannot open"), std::string::npos);

  writeFile(file("truncated.dsr"), readFile(file("sample.dsr")).substr(0, 5000));
  const Result truncated = run({"info", file("truncated.dsr")});
  EXPECT_EQ(truncated.status, 1);
  EXPECT_NE(truncated.err.find("not a well-formed XML file: line 2"), std::string::npos) << truncated.err;

  writeFile(file("other.xml"), "<Something strVersion=\"1.0.0.0\"/>");
  EXPECT_EQ(run({"dump", file("other.xml")}).status, 1);

  std::string text = readFile(file("sample.dsr"));
  text.replace(text.find("<aModelInfoList>"), 16, "<aModelInfoList><ModelInfo/>");
  writeFile(file("short.dsr"), text);
  const Result shortRecord = run({"info", file("short.dsr")});
  EXPECT_EQ(shortRecord.status, 1);
  EXPECT_NE(shortRecord.err.find("missing"), std::string::npos) << shortRecord.err;

  // Arbitrary bytes: an error, not a signal.
  std::string noise;
  for (int i = 0; i < 20000; ++i) noise += static_cast<char>((i * 7919 + 13) % 256);
  writeFile(file("noise.dsr"), noise);
  for (const char* command : {"info", "dump", "check"}) {
    const Result result = run({command, file("noise.dsr")});
    EXPECT_EQ(result.status, 1) << command << ": " << result.err;
  }
}

}  // namespace
}  // namespace pelagon::test
