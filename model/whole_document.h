#pragma once
// The load and save frame of the media-setting and passmask documents, written once for
// both. Their semantics are the device-series document's (the document is loaded once and
// kept by the creator, the root and its version are checked by ICommonIO, element failures
// are exceptions that the load turns into false, a save builds the whole document before it
// writes it), with a reason for people kept beside each result: for a record that cannot be
// read, "\"PATH\": <where in the document>: <what is wrong there>".

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

#include <pelagon/platform/com.h>
#include <pelagon/platform/hresult.h>
#include <pelagon/values/read_error.h>
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
  // Unlike the device series, COM is undone on every path, the failing ones included.
  const win::ComScope com;
  if (!com.Ok()) {
    reason = "COM cannot be initialised: " + win::_com_error(com.Result()).ErrorMessage();
    return false;
  }
  if (!EnsureMsxmlAvailable()) {
    reason = "the XML backend is not available";
    return false;
  }
  xml::DocumentPtr document;
  try {
    document = NewDocument(0, [&buildRoot](xml::Document& built, int) { return buildRoot(built); });
    document->documentElement().setAttribute("strVersion", versionText);
  } catch (const win::_com_error& error) {
    reason = "the document cannot be built: " + DescribeComError(error);
    return false;
  } catch (const std::exception& error) {
    reason = std::string("the document cannot be built: ") + error.what();
    return false;
  } catch (...) {
    reason = "the document cannot be built";
    return false;
  }
  try {
    SaveDocument(document, io.path, form);
  } catch (const win::_com_error& error) {
    reason = "\"" + io.path + "\" cannot be written: " + DescribeComError(error);
    throw;
  }
  return true;
}

// The document in memory, without saving: the XML declaration and the root that
// `buildRoot(document)` makes; null when anything fails while it is built.
template <typename BuildRoot>
xml::DocumentPtr CreateWholeDocument(BuildRoot&& buildRoot) {
  try {
    return NewDocument(0, [&buildRoot](xml::Document& document, int) { return buildRoot(document); });
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

}  // namespace pelagon
