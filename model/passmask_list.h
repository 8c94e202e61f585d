#pragma once
// The passmask list file (".pmp"): the passmasks of one printer series under the root
// "aPassmaskList". Permission sets name a passmask by its nPassmaskIndex; nothing here
// resolves those references.

#include <cstddef>
#include <cstdint>
#include <string>

#include <pelagon/platform/growable_array.h>
#include <pelagon/xmlio/common_io.h>
#include <pelagon/xmlio/dom.h>

namespace pelagon {

// A command is stored as "strPassmaskPiece" children of this many characters (Unicode
// code points), the last one shorter.
inline constexpr std::size_t kPassmaskPieceLength = 4096;

struct Passmask {
  std::int32_t nPassmaskIndex = 0;
  std::string strPassmaskName;
  // "1": the command is the overlap nozzle count in decimal; "M1": opaque printer data.
  std::string strPassmaskMode;
  // One decimal factor per ink channel, comma-separated, carried as text.
  std::string strInkConsumptionRate;
  std::int32_t nOverlapNozzleCount = 0;
  // Each command whole, its pieces joined; kept as given, never derived from the other fields.
  win::GrowableArray<std::string> astrPassmaskCommand;

  friend bool operator==(const Passmask&, const Passmask&) = default;
};

struct PassmaskList {
  // The file's version as its root carries it; saving writes it only through SaveWithVersion.
  VersionRecord version;
  // Written in this order; neither sorted nor checked for repeated numbers.
  win::GrowableArray<Passmask> passmasks;

  friend bool operator==(const PassmaskList&, const PassmaskList&) = default;
};

struct PassmaskIO {
  // Appends a "Passmask" element under `parent`: the five fields, then one
  // "strPassmaskCommand" per command, split into pieces (an empty command is one empty
  // piece, so it survives a round trip).
  xml::Node WritePassmask(xml::Document& document, xml::Node parent, const Passmask& passmask) const;
  // The five fields by position, whatever their names (a missing one raises
  // _com_error(E_POINTER)); then every "strPassmaskCommand" child is one command, the text of
  // its "strPassmaskPiece" children joined in order. Other children are skipped. Commands are
  // appended, so the target should be a fresh record.
  void ReadPassmask(xml::Node element, Passmask& passmask) const;
};

// Reads and writes a passmask list file of format version "1.0.1.0". Files of 1.0.x.x
// are always read; another major or minor version is refused only while the application's
// title turns the version check on. There is no older reader to fall back to.
class PassmaskListIO : public virtual ICommonIO, private PassmaskIO {
public:
  explicit PassmaskListIO(std::string documentPath);

  VersionRecord& GetVersion(VersionRecord& version) const override;
  std::string GetRootName() const override;

  // Reads the file into `target`, which should be fresh (passmasks are appended). The file
  // is loaded once and kept, so a later Load reads the same document. Every failure gives
  // false with LastError() set; what was read before it stays in `target`.
  bool Load(PassmaskList& target);
  // Write the whole file in `form` (the carried files are Indented) with this class's
  // version, with the version of the file being replaced, or with `version` (for example
  // the one a load gave). False when COM, the XML backend or the document cannot be had; a
  // failing write of the finished document raises its _com_error. LastError() says why.
  bool Save(const PassmaskList& source, xml::SaveForm form = xml::SaveForm::Indented);
  bool SaveKeepingVersion(const PassmaskList& source, xml::SaveForm form = xml::SaveForm::Indented);
  bool SaveWithVersion(const PassmaskList& source, const VersionRecord& version,
                       xml::SaveForm form = xml::SaveForm::Indented);
  // The document in memory with this class's version, without saving; null when it cannot
  // be built.
  xml::DocumentPtr CreateDocument(const PassmaskList& source) const;
  // Checks the root and version of `document` and reads it; every exception passes.
  static void ReadDocument(const xml::DocumentPtr& document, PassmaskList& target);

  // Why the last Load or Save failed, for people; empty after a success.
  const std::string& LastError() const { return lastError_; }

private:
  xml::Node BuildRoot(xml::Document& document, const PassmaskList& source) const;
  void ReadContent(xml::Node root, PassmaskList& target) const;

  std::string lastError_;
};

}  // namespace pelagon
