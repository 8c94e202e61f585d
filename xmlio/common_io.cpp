#include <pelagon/xmlio/common_io.h>

#include <cstdio>
#include <utility>

#include <pelagon/platform/app_title.h>
#include <pelagon/platform/code_page.h>
#include <pelagon/platform/hresult.h>
#include <pelagon/xmlio/number_text.h>

namespace pelagon {

namespace {

// One "%d" conversion: blanks, a sign, digits. Clamped instead of overflowing.
bool scanInt(std::string_view& text, std::int32_t& out) {
  std::size_t i = 0;
  while (i < text.size() && isCSpace(text[i])) ++i;
  std::size_t digits = i;
  if (digits < text.size() && (text[digits] == '+' || text[digits] == '-')) ++digits;
  const std::size_t firstDigit = digits;
  while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
  if (digits == firstDigit) return false;
  out = parseCInt(text.substr(i, digits - i));
  text.remove_prefix(digits);
  return true;
}

}  // namespace

VersionRecord VersionRecord::Parse(std::string_view text) {
  VersionRecord version;
  std::int32_t* parts[] = {&version.major, &version.minor, &version.build, &version.revision};
  for (std::size_t i = 0; i < 4; ++i) {
    if (i > 0) {
      if (text.empty() || text.front() != '.') break;
      text.remove_prefix(1);
    }
    if (!scanInt(text, *parts[i])) break;
  }
  return version;
}

std::int32_t VersionRecord::Pack() const {
  // Unsigned arithmetic wraps where a hostile version would overflow a signed one.
  const auto packed = static_cast<std::uint32_t>(major) * 1000000u + static_cast<std::uint32_t>(minor) * 10000u +
                      static_cast<std::uint32_t>(build) * 100u + static_cast<std::uint32_t>(revision);
  return static_cast<std::int32_t>(packed);
}

VersionRecord VersionRecord::Unpack(std::int32_t packed) {
  return {packed / 1000000, (packed / 10000) % 100, (packed / 100) % 100, packed % 100};
}

std::string VersionRecord::ToString() const {
  char text[64];
  std::snprintf(text, sizeof text, "%d.%d.%d.%d", major, minor, build, revision);
  return text;
}

int VersionOrder(const VersionRecord& found, const VersionRecord& expected) {
  if (found.major == expected.major && found.minor == expected.minor) return 0;
  if (found.major < expected.major || found.minor < expected.minor) return -1;
  return 1;
}

ICommonIO::ICommonIO(std::string documentPath) : path(std::move(documentPath)) {}

bool ICommonIO::EnsureDocument() {
  try {
    if (creator.hasError) creator = MSXMLDOMCreator();
    if (creator.document) return true;
    creator.LoadDocument(path);
    return creator.document != nullptr && !creator.hasError;
  } catch (...) {
    return false;
  }
}

xml::Node ICommonIO::FindRootElement(const xml::DocumentPtr& document) {
  const xml::DocumentPtr& source = document ? document : creator.document;
  if (!source) throw win::_com_error(win::E_POINTER);

  const std::string rootName = GetRootName();
  const std::string rootNameUtf8 = win::AnsiToUtf8(rootName);
  // The first top-level element of that name.
  const xml::ChildRange roots = source->node().children(rootNameUtf8);
  if (roots.begin() == roots.end()) throw InterpretException();
  const xml::Node root = *roots.begin();

  const xml::Attribute versionAttribute = root.attribute("strVersion");
  if (!versionAttribute) throw LackingVersionException(rootName);
  const VersionRecord found = VersionRecord::Parse(ReadNodeText(versionAttribute));
  fileVersionNumber = found.Pack();

  if (win::GetAppTitle() == kVersionCheckingTitle) {
    VersionRecord expected;
    GetVersion(expected);
    if (found.major != expected.major || found.minor != expected.minor) {
      throw VersionMismatchException(expected, found);
    }
  }
  return root;
}

int ICommonIO::CheckVersion() {
  try {
    if (!creator.document && !EnsureDocument()) return 0;
    FindRootElement(creator.document);
  } catch (const VersionMismatchException& mismatch) {
    return VersionOrder(mismatch.found, mismatch.expected);
  } catch (...) {
    return 0;
  }
  return 0;
}

xml::Node ICommonIO::CreateRootElement(xml::Document& document) const {
  xml::Node root = document.createElement(GetRootName());
  WriteVersionAttribute(root);
  return root;
}

void ICommonIO::WriteVersionAttribute(xml::Node element) const {
  VersionRecord version;
  GetVersion(version);
  element.setAttribute("strVersion", win::AnsiToUtf8(version.ToString()));
}

}  // namespace pelagon
