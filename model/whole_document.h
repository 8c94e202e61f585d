#pragma once
// The load and save frame of the media-setting and passmask documents, and the class both
// file classes are, written once for both. Their semantics are the device-series
// document's (the document is loaded once and kept by the creator, the root and its
// version are checked by ICommonIO, element failures are exceptions that the load turns
// into false, a save builds the whole document before it writes it), with a reason for
// people kept beside each result: for a record that cannot be read, "\"PATH\": <where in
// the document>: <what is wrong there>".

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <utility>

#include <pelagon/platform/com.h>
#include <pelagon/platform/hresult.h>
#include <pelagon/values/read_error.h>
#include <pelagon/values/record_fields.h>
#include <pelagon/xmlio/common_io.h>
#include <pelagon/xmlio/dom_creator.h>

namespace pelagon {

// The version a document's root carries, all four parts as written (the packed form of
// ICommonIO loses parts above 99). Raises as ReadNodeText does when it is absent.
inline VersionRecord ReadRootVersion(xml::Node root) {
  return VersionRecord::Parse(ReadNodeText(root.attribute("strVersion")));
}

inline std::string DescribeComError(const win::_com_error& error) {
  std::string text = error.ErrorMessage();
  if (error.HasDescription()) text += " (" + error.Description() + ")";
  return text;
}

// Reads `io`'s document into a target through `readContent(root)`. Every failure gives
// false with `reason` set; what was read before a failure stays in the target. A version
// the check rejects also leaves its order (VersionOrder) in `mismatchOrder` when given.
template <typename ReadContent>
bool LoadWholeDocument(ICommonIO& io, std::string& reason, ReadContent&& readContent,
                       int* mismatchOrder = nullptr) {
  const std::string where = "\"" + io.path + "\": ";
  try {
    reason.clear();
    if (!io.creator.document && !io.EnsureDocument()) {
      reason = where + "cannot be loaded" + (io.creator.errorText.empty() ? "" : ": " + io.creator.errorText);
      return false;
    }
    readContent(io.FindRootElement(io.creator.document));
    return true;
  } catch (const ICommonIO::VersionMismatchException& mismatch) {
    if (mismatchOrder != nullptr) *mismatchOrder = VersionOrder(mismatch.found, mismatch.expected);
    reason = where + "version " + mismatch.found.ToString() + " is not read by this version (" +
             std::to_string(mismatch.expected.major) + "." + std::to_string(mismatch.expected.minor) +
             ".x.x)";
  } catch (const ICommonIO::InterpretException&) {
    reason = where + "has no \"" + io.GetRootName() + "\" root element";
  } catch (const ReadError& error) {
    reason = where + error.where() + ": " + error.problem();
  } catch (const win::_com_error& error) {
    // A null node used outside any record names no place.
    reason = where + (error.Error() == win::E_POINTER ? "an element the format requires is missing"
                                                      : "cannot be read: " + DescribeComError(error));
  } catch (const std::exception& error) {
    reason = where + error.what();
  } catch (...) {
    reason = where + "cannot be read";
  }
  return false;
}

// Writes the document that `buildRoot(document)` makes (the root, not yet attached) to
// `io.path` in `form`, with the root's "strVersion" set to `versionText`. False when COM or
// the XML backend cannot be had or the document cannot be built; a failing write of the
// finished document raises its _com_error, with `reason` set first.
template <typename BuildRoot>
bool SaveWholeDocument(ICommonIO& io, std::string_view versionText, xml::SaveForm form, std::string& reason,
                       BuildRoot&& buildRoot) {
  reason.clear();
  const auto build = [&](xml::Document& document) {
    xml::Node root = buildRoot(document);
    root.setAttribute("strVersion", versionText);
    return root;
  };
  const auto notBuilt = [&reason] {
    try {
      throw;
    } catch (const win::_com_error& error) {
      reason = "the document cannot be built: " + DescribeComError(error);
    } catch (const std::exception& error) {
      reason = std::string("the document cannot be built: ") + error.what();
    } catch (...) {
      reason = "the document cannot be built";
    }
  };
  SaveResult result;
  try {
    // Unlike the device series, COM is undone on every path, the failing ones included.
    result = SaveNewDocument(io.path, form, SaveRules{}, [] {}, build, notBuilt);
  } catch (const win::_com_error& error) {
    reason = "\"" + io.path + "\" cannot be written: " + DescribeComError(error);
    throw;
  }
  switch (result.outcome) {
    case SaveOutcome::NoCom:
      reason = "COM cannot be initialised: " + win::_com_error(result.comResult).ErrorMessage();
      return false;
    case SaveOutcome::NoBackend:
      reason = "the XML backend is not available";
      return false;
    case SaveOutcome::NotBuilt:
      return false;
    case SaveOutcome::Saved:
      break;
  }
  return true;
}

// The document in memory, without saving: the XML declaration and the root that
// `buildRoot(document)` makes; null when anything fails while it is built.
template <typename BuildRoot>
xml::DocumentPtr CreateWholeDocument(BuildRoot&& buildRoot) {
  try {
    return NewDocument(buildRoot);
  } catch (...) {
    return nullptr;
  }
}

// The version of the file that a save is about to replace, as the device series keeps it:
// the packed version found there, else the class's own. A file that cannot be read, or
// whose version the check rejects, is no error here.
inline std::string VersionOfReplacedFile(ICommonIO& io) {
  io.EnsureDocument();
  io.CheckVersion();
  const std::int32_t fileVersion = io.GetFileVersionNumber();
  VersionRecord own;
  return fileVersion != 0 ? VersionRecord::Unpack(fileVersion).ToString() : io.GetVersion(own).ToString();
}

// A whole-document file class: Load, the three saves and CreateDocument over one root
// element, named `RootName`, that carries the file's version; `Version` is the format
// version the class writes. `WriteContent(root, record)` and `ReadContent(root, record)`
// write and read what lies below the root.
template <typename RecordType, ElementName RootName, ElementName Version,
          void (*WriteContent)(xml::Node, const RecordType&), void (*ReadContent)(xml::Node, RecordType&)>
class WholeDocumentIO : public virtual ICommonIO {
public:
  using Record = RecordType;

  explicit WholeDocumentIO(std::string documentPath) : ICommonIO(std::move(documentPath)) {}

  VersionRecord& GetVersion(VersionRecord& version) const override {
    version = VersionRecord::Parse(Version.view());
    return version;
  }
  std::string GetRootName() const override { return std::string(RootName.view()); }

  // Reads the file into `target`, which should be fresh (entries are appended). The file is
  // loaded once and kept, so a later Load reads the same document. Every failure gives
  // false with LastError() set; what was read before it stays in `target`.
  bool Load(Record& target) {
    return LoadWholeDocument(*this, lastError_, [&](xml::Node root) { readRoot(root, target); });
  }
  // Write the whole file in `form` (the carried files are Indented) with this class's
  // version, with the version of the file being replaced, or with `version` (for example
  // the one a load gave). False when COM, the XML backend or the document cannot be had; a
  // failing write of the finished document raises its _com_error. LastError() says why.
  bool Save(const Record& source, xml::SaveForm form = xml::SaveForm::Indented) {
    VersionRecord own;
    return SaveWithVersion(source, GetVersion(own), form);
  }
  bool SaveKeepingVersion(const Record& source, xml::SaveForm form = xml::SaveForm::Indented) {
    return saveAs(VersionOfReplacedFile(*this), source, form);
  }
  bool SaveWithVersion(const Record& source, const VersionRecord& version,
                       xml::SaveForm form = xml::SaveForm::Indented) {
    return saveAs(version.ToString(), source, form);
  }
  // The document in memory with this class's version, without saving; null when it cannot
  // be built.
  xml::DocumentPtr CreateDocument(const Record& source) const {
    return CreateWholeDocument([&](xml::Document& document) { return BuildRoot(document, source); });
  }
  // Checks the root and version of `document` and reads it; every exception passes.
  static void ReadDocument(const xml::DocumentPtr& document, Record& target) {
    WholeDocumentIO io("");
    io.readRoot(io.FindRootElement(document), target);
  }

  // Why the last Load or Save failed, for people; empty after a success.
  const std::string& LastError() const { return lastError_; }

private:
  bool saveAs(std::string_view versionText, const Record& source, xml::SaveForm form) {
    return SaveWholeDocument(*this, versionText, form, lastError_,
                             [&](xml::Document& document) { return BuildRoot(document, source); });
  }
  xml::Node BuildRoot(xml::Document& document, const Record& source) const {
    xml::Node root = CreateRootElement(document);
    WriteContent(root, source);
    return root;
  }
  void readRoot(xml::Node root, Record& target) const {
    target.version = ReadRootVersion(root);
    ReadContent(root, target);
  }

  std::string lastError_;
};

}  // namespace pelagon
