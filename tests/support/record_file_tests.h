#pragma once
// The single-record file tests, once for every record that has a file of its own. A record's
// test file instantiates them with a case:
//   using Fixture: the record's RecordTest; static Record sample();
//   static constexpr bool kStrictSave: the strict pair (a failed save raises) or the lenient
//     one (false);
//   static std::string otherDocument(): a file whose record the reader does not look at;
// and where the record needs them:
//   static Record expected(): what a read of the sample gives (the sample by default);
//   static std::string brokenRecord(): a record the reader fails on with E_POINTER;
//   static constexpr bool kNoRecordRaises: a file without the record raises E_POINTER
//     instead of reading nothing.

#include <filesystem>
#include <string>

#include <pelagon/platform/hresult.h>
#include "record_fixture.h"

namespace pelagon::test {

template <typename Case>
class RecordFileTest : public Case::Fixture {
protected:
  using Record = typename Case::Fixture::Record;
  static Record expected() {
    if constexpr (requires { Case::expected(); }) {
      return Case::expected();
    } else {
      return Case::sample();
    }
  }
  // Reads `name` into a copy of the sample; the read must raise E_POINTER, and leave the copy
  // as it was when the file gives no record.
  void expectEPointer(const std::string& name, bool untouched = true) {
    Record target = Case::sample();
    EXPECT_EQ(comErrorOf([&] { this->io_.ReadRecordFile(this->dir_.file(name), target); }), win::E_POINTER)
        << name;
    if (untouched) {
      EXPECT_EQ(target, Case::sample()) << name;
    }
  }
};

TYPED_TEST_SUITE_P(RecordFileTest);

TYPED_TEST_P(RecordFileTest, HoldsTheDeclarationAndTheRecordAndReadsBack) {
  const std::string path = this->dir_.file("record.xml");
  ASSERT_TRUE(this->io_.WriteRecordFile(path, TypeParam::sample()));
  EXPECT_EQ(readFile(path), std::string(kDeclaration) + this->written(TypeParam::sample()));
  typename TestFixture::Record read;
  EXPECT_TRUE(this->io_.ReadRecordFile(path, read));
  EXPECT_EQ(read, this->expected());
}

TYPED_TEST_P(RecordFileTest, AFailedSaveRaisesOnlyFromTheStrictPair) {
  const std::string path = this->dir_.file("missing/record.xml");
  bool result = true;
  const win::HRESULT raised =
      comErrorOf([&] { result = this->io_.WriteRecordFile(path, TypeParam::sample()); });
  if constexpr (TypeParam::kStrictSave) {
    EXPECT_EQ(raised, win::HRESULT_FROM_WIN32(win::ERROR_PATH_NOT_FOUND));
  } else {
    EXPECT_EQ(raised, win::S_OK);
    EXPECT_FALSE(result);
  }
  EXPECT_FALSE(std::filesystem::exists(path));
}

// A file that cannot be loaded leaves the reader without a document; that and a broken
// record are the reader's E_POINTER, which both pairs let through.
TYPED_TEST_P(RecordFileTest, AnUnreadableFileOrRecordRaisesEPointer) {
  this->expectEPointer("absent.xml");
  const std::string text = this->written(TypeParam::sample());
  writeFile(this->dir_.file("broken.xml"), text.substr(0, text.find('>') + 1));
  this->expectEPointer("broken.xml");
  if constexpr (requires { TypeParam::brokenRecord(); }) {
    writeFile(this->dir_.file("short.xml"), std::string(kDeclaration) + TypeParam::brokenRecord());
    this->expectEPointer("short.xml", false);
  }
}

TYPED_TEST_P(RecordFileTest, AFileWithoutTheRecordReadsNothing) {
  writeFile(this->dir_.file("other.xml"), TypeParam::otherDocument());
  if constexpr (requires { TypeParam::kNoRecordRaises; }) {
    this->expectEPointer("other.xml");
  } else {
    typename TestFixture::Record untouched = TypeParam::sample();
    EXPECT_TRUE(this->io_.ReadRecordFile(this->dir_.file("other.xml"), untouched));
    EXPECT_EQ(untouched, TypeParam::sample());
  }
}

REGISTER_TYPED_TEST_SUITE_P(RecordFileTest, HoldsTheDeclarationAndTheRecordAndReadsBack,
                            AFailedSaveRaisesOnlyFromTheStrictPair, AnUnreadableFileOrRecordRaisesEPointer,
                            AFileWithoutTheRecordReadsNothing);

}  // namespace pelagon::test
