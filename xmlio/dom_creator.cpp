#include <pelagon/xmlio/dom_creator.h>

#include <optional>
#include <utility>

#include <pelagon/platform/code_page.h>
#include <pelagon/platform/com.h>
#include <pelagon/platform/debug_output.h>
#include <pelagon/platform/linux/windows_path.h>
#include <pelagon/xmlio/schema_validation.h>
#include <pelagon/xmlio/xml_backend.h>

namespace pelagon {

namespace {

bool availabilityPassed = false;

// The file a library path (a Windows or POSIX path in the ANSI code page) names here.
std::optional<std::string> fileOf(const std::string& path) { return win::ResolveWindowsPath(path); }

}  // namespace

bool EnsureMsxmlAvailable() {
  if (availabilityPassed) return true;
  if (!xml::XmlBackendAvailable()) return false;
  detail::InitializeSchemaBackend();
  availabilityPassed = true;
  return true;
}

namespace testing {
void ResetMsxmlAvailability() { availabilityPassed = false; }
}  // namespace testing

MSXMLDOMCreator::MSXMLDOMCreator() noexcept {
  try {
    if (win::FAILED(win::CoInitialize(nullptr))) return;
    if (!EnsureMsxmlAvailable()) {
      win::CoUninitialize();
      return;
    }
    comInitialized = true;
  } catch (...) {
    // Construction reports through comInitialized only.
  }
}

void MSXMLDOMCreator::release() noexcept {
  // COM is undone only together with a held document; a creator whose document is gone
  // leaves its initialisation in place.
  const bool undoCom = comInitialized && document != nullptr;
  document.reset();
  if (undoCom) win::CoUninitialize();
}

MSXMLDOMCreator::~MSXMLDOMCreator() { release(); }

MSXMLDOMCreator::MSXMLDOMCreator(MSXMLDOMCreator&& other) noexcept
    : comInitialized(std::exchange(other.comInitialized, false)),
      hasError(other.hasError),
      document(std::move(other.document)),
      errorText(std::move(other.errorText)) {}

MSXMLDOMCreator& MSXMLDOMCreator::operator=(MSXMLDOMCreator&& other) noexcept {
  if (this != &other) {
    release();
    comInitialized = std::exchange(other.comInitialized, false);
    hasError = other.hasError;
    document = std::move(other.document);
    errorText = std::move(other.errorText);
  }
  return *this;
}

void MSXMLDOMCreator::LoadDocument(const std::string& path) {
  try {
    xml::DocumentPtr fresh;
    try {
      fresh = xml::Document::Create();
    } catch (const win::_com_error& error) {
      errorText = error.ErrorMessage();
      hasError = true;
      return;
    }
    const std::optional<std::string> file = fileOf(path);
    const xml::LoadResult result =
        file ? fresh->load(*file) : xml::LoadResult{false, "no such place: " + path};
    if (result.ok) {
      document = std::move(fresh);
      errorText.clear();
    } else {
      document.reset();
      errorText = result.message;
      hasError = true;
    }
  } catch (...) {
    document.reset();
    errorText = "the document could not be loaded";
    hasError = true;
  }
}

void MSXMLDOMCreator::LoadValidatedDocument(const std::string& path, const std::string& schemaPath) {
  detail::SchemaHandle schema;
  try {
    // Creating the schema cache needs what creating a document needs.
    if (win::ComInitCount() == 0) throw win::_com_error(win::CO_E_NOTINITIALIZED);
    if (!xml::XmlBackendAvailable()) throw win::_com_error(win::REGDB_E_CLASSNOTREG);
    const std::optional<std::string> schemaFile = fileOf(schemaPath);
    schema = detail::LoadSchema(schemaFile ? *schemaFile : win::AnsiToUtf8(schemaPath));
  } catch (const win::_com_error& error) {
    // The load goes on without the schema, as the platform's cache does.
    win::OutputDebugStringA((error.ErrorMessage() + "\n").c_str());
    if (error.HasDescription()) win::OutputDebugStringA((error.Description() + "\n").c_str());
  } catch (...) {
    win::OutputDebugStringA("Failed to Creating Schema Cache.\n");
    hasError = true;
    return;
  }

  xml::DocumentPtr fresh;
  std::string problem;
  try {
    fresh = xml::Document::Create();
    const std::string file = fileOf(path).value_or(win::AnsiToUtf8(path));
    if (schema) problem = detail::ValidateAgainstSchema(*schema, file);
    if (problem.empty()) {
      const xml::LoadResult result = fresh->load(file);
      if (!result.ok) problem = result.message;
    }
  } catch (...) {
    win::OutputDebugStringA("Failed to Creating XML DOM Document or Parsing XML File");
    hasError = true;
    return;
  }
  if (!problem.empty()) {
    document.reset();
    errorText = std::move(problem);
    hasError = true;
    return;
  }
  document = std::move(fresh);
  errorText.clear();
}

void SaveDocument(const xml::DocumentPtr& document, const std::string& path, xml::SaveForm form) {
  if (!document) throw win::_com_error(win::E_POINTER);
  const std::optional<std::string> file = fileOf(path);
  if (!file)
    throw win::_com_error(win::HRESULT_FROM_WIN32(win::ERROR_PATH_NOT_FOUND), "no such place: " + path);
  document->save(*file, form);
}

std::string ReadNodeText(xml::Node node) {
  if (!node) throw win::_com_error(win::E_POINTER);
  std::string scratch;
  return win::Utf8ToAnsi(node.textView(scratch));
}

std::string ReadNodeText(xml::Attribute attribute) {
  if (!attribute) throw win::_com_error(win::E_POINTER);
  return win::Utf8ToAnsi(attribute.value());
}

}  // namespace pelagon
