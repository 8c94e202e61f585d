#pragma once
// What the record tests share: COM up and the XML backend checked, elements parsed from text,
// a record written into a fresh document, the HRESULT a call raises, a temporary folder.
// Records are reached through their IO classes' public members only.

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>
#include <string_view>

#include <pelagon/platform/app_title.h>
#include <pelagon/platform/com.h>
#include <pelagon/values/localized_text.h>
#include "test_support.h"
#include <pelagon/xmlio/dom_creator.h>

namespace pelagon::test {

// What every record file starts with.
inline constexpr std::string_view kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";

// The element names of the languages, in the order of a LocalizedText.
inline constexpr std::array<std::string_view, kLanguageCount> kLanguages = {
    "English", "Chinese_Simplified", "Chinese_Traditional", "French",  "German",  "Italian", "Japanese",
    "Korean",  "Portuguese",         "Spanish",             "Russian", "Turkish", "Arabic"};

// The written form of a localized text whose languages all hold `text`.
inline std::string localizedXml(std::string_view name, std::string_view text) {
  // Appended piece by piece: g++ 12 at -O3 warns falsely on "<" + std::string(name).
  std::string xml;
  xml.append("<").append(name).append(">");
  for (std::string_view language : kLanguages) {
    xml.append("<").append(language).append(">").append(text).append("</").append(language).append(">");
  }
  xml.append("</").append(name).append(">");
  return xml;
}

// The _com_error code `action` raises, S_OK when it raises none.
template <typename Action>
win::HRESULT comErrorOf(Action&& action) {
  try {
    action();
  } catch (const win::_com_error& error) {
    return error.Error();
  }
  return win::S_OK;
}

class RecordFixture : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(com_.Ok());
    ASSERT_TRUE(EnsureMsxmlAvailable());
    document_ = xml::Document::Create();
  }
  void TearDown() override { dropComInitialisations(); }

  // The document element of `text`, which must load; it lives until the next parse.
  xml::Node parse(std::string_view text) {
    parsed_ = xml::Document::Create();
    EXPECT_TRUE(parsed_->loadFromMemory(text).ok) << text;
    return parsed_->documentElement();
  }
  // `target` after `read` of `io` takes the element `<name>body</name>`.
  template <typename IO, typename Record>
  Record readBody(const IO& io, void (IO::*read)(xml::Node, Record&) const, std::string_view name,
                  std::string_view body, Record target = {}) {
    const std::string element(name);
    (io.*read)(parse("<" + element + ">" + std::string(body) + "</" + element + ">"), target);
    return target;
  }

  win::ComScope com_;
  xml::DocumentPtr document_;
  xml::DocumentPtr parsed_;
  TempDir dir_;
};

// A fixture for the whole files of one IO class, saved to and loaded from `path_` (which the
// derived fixture names) through fresh IO objects.
template <typename IO, typename Value>
class WholeFileTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(EnsureMsxmlAvailable()); }
  void TearDown() override {
    win::SetAppTitle("");
    dropComInitialisations();
  }

  std::string save(const Value& value, xml::SaveForm form = xml::SaveForm::Indented) {
    IO io(path_);
    EXPECT_TRUE(io.Save(value, form)) << io.LastError();
    return readFile(path_);
  }

  // A fresh IO object: a loaded document is kept by the object that loaded it.
  bool load(Value& value, std::string* reason = nullptr) {
    IO io(path_);
    const bool loaded = io.Load(value);
    EXPECT_EQ(loaded, io.LastError().empty()) << io.LastError();
    if (reason != nullptr) *reason = io.LastError();
    return loaded;
  }

  win::ComScope com_;
  TempDir dir_;
  std::string path_;
};

// The IO class and the record type of a record reader, `void (IO::*)(xml::Node, Record&) const`.
template <typename Read>
struct RecordReader;
template <typename IOClass, typename RecordType>
struct RecordReader<void (IOClass::*)(xml::Node, RecordType&) const> {
  using IO = IOClass;
  using Record = RecordType;
};

// A fixture for one record type, named by its IO class's element writer and reader: the IO
// object and the record's text in both directions.
template <auto Write, auto Read>
class RecordTest : public RecordFixture {
public:
  using IO = typename RecordReader<decltype(Read)>::IO;
  using Record = typename RecordReader<decltype(Read)>::Record;

  // The record's element as the whole of a fresh document.
  static std::string written(const Record& record) {
    xml::DocumentPtr document = xml::Document::Create();
    std::invoke(Write, IO(), *document, document->node(), record);
    return document->saveToString();
  }

protected:
  // `target` after reading the document element of `text` into it.
  Record read(std::string_view text, Record target = {}) {
    std::invoke(Read, io_, parse(text), target);
    return target;
  }
  Record roundTrip(const Record& record) { return read(written(record)); }
  // Through the element in memory: written as the document element of `document_`, read back.
  Record elementRoundTrip(const Record& record) {
    const xml::Node element = std::invoke(Write, io_, *document_, document_->node(), record);
    EXPECT_EQ(element, document_->documentElement());
    Record result;
    std::invoke(Read, io_, element, result);
    return result;
  }

  IO io_;
};

}  // namespace pelagon::test
