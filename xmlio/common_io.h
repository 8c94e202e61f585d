#pragma once
// The frame of every whole-document reader and writer: the file's path, its DOM creator,
// the root element with its "strVersion" attribute, and the version read from the file.

#include <cstdint>
#include <exception>
#include <stdexcept>
#include <string>
#include <string_view>

#include <pelagon/xmlio/dom_creator.h>

namespace pelagon {

struct VersionRecord {
  std::int32_t major = 0;
  std::int32_t minor = 0;
  std::int32_t build = 0;
  std::int32_t revision = 0;

  // Reads "%d.%d.%d.%d", stopping at the first part that does not match; the parts not
  // read stay 0.
  static VersionRecord Parse(std::string_view text);
  // major * 1 000 000 + minor * 10 000 + build * 100 + revision, wrapping in 32 bits for
  // parts too large for the packed form.
  std::int32_t Pack() const;
  static VersionRecord Unpack(std::int32_t packed);
  std::string ToString() const;

  friend bool operator==(const VersionRecord&, const VersionRecord&) = default;
};

// 0 when major and minor agree; -1 when `found` has a smaller major or a smaller minor
// than `expected`; +1 otherwise.
int VersionOrder(const VersionRecord& found, const VersionRecord& expected);

// The application title that turns the version check on.
inline constexpr std::string_view kVersionCheckingTitle = "Halden Chromalith Dual";

struct ICommonIO {
  class InterpretException : public std::exception {
  public:
    const char* what() const noexcept override {
      return "XMLIO reader reports lexically conforming but invalid structured xml file";
    }
  };

  class VersionMismatchException : public std::exception {
  public:
    VersionMismatchException(const VersionRecord& expectedVersion, const VersionRecord& foundVersion)
        : expected(expectedVersion), found(foundVersion) {}
    const char* what() const noexcept override { return "Unknown exception"; }

    VersionRecord expected;
    VersionRecord found;
  };

  // Raised when the root element has no version: "<root name>IO: Lacking version attribute".
  class LackingVersionException : public std::runtime_error {
  public:
    explicit LackingVersionException(const std::string& rootName)
        : std::runtime_error(rootName + "IO: Lacking version attribute") {}
  };

  explicit ICommonIO(std::string documentPath);
  virtual ~ICommonIO() = default;
  ICommonIO(const ICommonIO&) = delete;
  ICommonIO& operator=(const ICommonIO&) = delete;

  // The version this class writes and expects.
  virtual VersionRecord& GetVersion(VersionRecord& version) const = 0;
  virtual std::string GetRootName() const = 0;

  // Makes sure a document is held, loading `path` when none is; never throws.
  bool EnsureDocument();
  // The element child of `document` (the creator's when null) named GetRootName(). Reads
  // its version and, when the application's title asks for it, rejects another major or
  // minor version.
  xml::Node FindRootElement(const xml::DocumentPtr& document = nullptr);
  // 0 when the file's version is accepted or cannot be read, else its VersionOrder.
  int CheckVersion();
  // A new, unattached root element carrying this class's version.
  xml::Node CreateRootElement(xml::Document& document) const;
  void WriteVersionAttribute(xml::Node element) const;
  std::int32_t GetFileVersionNumber() const { return fileVersionNumber; }

  std::string path;
  MSXMLDOMCreator creator;
  std::int32_t fileVersionNumber = 0;
};

}  // namespace pelagon
