#include <pelagon/xmlio/record_file.h>

#include <gtest/gtest.h>

#include <stdexcept>

#include <pelagon/platform/com.h>
#include "../support/test_support.h"
#include <pelagon/xmlio/number_text.h>

namespace pelagon::test {
namespace {

struct Pair {
  int first = 0;
  int second = 0;
};

xml::Node writePair(xml::Document& document, const Pair& pair) {
  xml::Node element = document.createElement("Pair");
  for (int value : {pair.first, pair.second}) {
    xml::Node child = document.createElement("n");
    child.setText(std::to_string(value));
    element.appendChild(child);
  }
  return element;
}

void readPair(const xml::DocumentPtr& document, Pair& pair) {
  if (!document) throw win::_com_error(win::E_POINTER);
  xml::NodeList children = document->documentElement().childNodes();
  pair.first = parseCInt(ReadNodeText(children.nextNode()));
  pair.second = parseCInt(ReadNodeText(children.nextNode()));
}

class RecordFileTest : public ::testing::Test {
protected:
  void TearDown() override {
    dropComInitialisations();
  }
  TempDir dir_;
};

TEST_F(RecordFileTest, BothFormsWriteTheRecordAloneAndReadItBack) {
  const Pair written{7, -3};
  ASSERT_TRUE(WriteRecordFile(dir_.file("strict.xml"), written, writePair));
  ASSERT_TRUE(WriteRecordFileLenient(dir_.file("lenient.xml"), written, writePair));
  EXPECT_EQ(win::ComInitCount(), 0);
  const std::string expected = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Pair><n>7</n><n>-3</n></Pair>";
  EXPECT_EQ(readFile(dir_.file("strict.xml")), expected);
  EXPECT_EQ(readFile(dir_.file("lenient.xml")), expected);

  Pair strict, lenient;
  EXPECT_TRUE(ReadRecordFile(dir_.file("strict.xml"), strict, readPair));
  EXPECT_TRUE(ReadRecordFileLenient(dir_.file("lenient.xml"), lenient, readPair));
  EXPECT_EQ(strict.first, 7);
  EXPECT_EQ(strict.second, -3);
  EXPECT_EQ(lenient.second, -3);
  EXPECT_EQ(win::ComInitCount(), 0);
}

TEST_F(RecordFileTest, AFolderThatDoesNotExistFailsEachWriterInItsOwnWay) {
  const std::string path = dir_.file("missing/pair.xml");
  EXPECT_FALSE(WriteRecordFileLenient(path, Pair{}, writePair));
  // The lenient writer's failure path keeps its COM initialisation.
  EXPECT_EQ(win::ComInitCount(), 1);
  win::CoUninitialize();

  try {
    WriteRecordFile(path, Pair{}, writePair);
    FAIL() << "the strict writer let a failed save pass";
  } catch (const win::_com_error& error) {
    EXPECT_EQ(error.Error(), win::HRESULT_FROM_WIN32(win::ERROR_PATH_NOT_FOUND));
  }
  EXPECT_EQ(win::ComInitCount(), 1);
}

TEST_F(RecordFileTest, AWriterThatThrowsWritesNothing) {
  const auto throwing = [](xml::Document& document, const Pair&) -> xml::Node {
    document.createElement("partial");
    throw std::runtime_error("writer failed");
  };
  EXPECT_FALSE(WriteRecordFile(dir_.file("a.xml"), Pair{}, throwing));
  EXPECT_EQ(win::ComInitCount(), 0);
  EXPECT_FALSE(WriteRecordFileLenient(dir_.file("b.xml"), Pair{}, throwing));
  EXPECT_FALSE(std::filesystem::exists(dir_.file("a.xml")));
  EXPECT_FALSE(std::filesystem::exists(dir_.file("b.xml")));
}

TEST_F(RecordFileTest, StrictReaderCatchesStandardExceptionsOnly) {
  const auto failing = [](const xml::DocumentPtr&, Pair&) { throw std::runtime_error("bad record"); };
  const auto failingCom = [](const xml::DocumentPtr&, Pair&) { throw win::_com_error(win::E_FAIL); };
  const auto failingCode = [](const xml::DocumentPtr&, Pair&) { throw 3; };
  writeFile(dir_.path() / "a.xml", "<Pair/>");
  Pair pair;
  EXPECT_FALSE(ReadRecordFile(dir_.file("a.xml"), pair, failing));
  EXPECT_THROW(ReadRecordFile(dir_.file("a.xml"), pair, failingCom), win::_com_error);
  EXPECT_THROW(ReadRecordFile(dir_.file("a.xml"), pair, failingCode), int);
  // A missing file reaches the reader as a missing document.
  EXPECT_THROW(ReadRecordFile(dir_.file("missing.xml"), pair, readPair), win::_com_error);
}

TEST_F(RecordFileTest, LenientReaderLetsEveryReaderExceptionThrough) {
  Pair pair;
  EXPECT_THROW(ReadRecordFileLenient(dir_.file("missing.xml"), pair, readPair), win::_com_error);
  writeFile(dir_.path() / "short.xml", "<Pair><n>1</n></Pair>");
  EXPECT_THROW(ReadRecordFileLenient(dir_.file("short.xml"), pair, readPair), win::_com_error);
  EXPECT_EQ(pair.first, 1);
}

}  // namespace
}  // namespace pelagon::test
