#include <pelagon/payload/generator/payload_generator.h>

#include <fstream>
#include <stdexcept>
#include <system_error>

#include <pelagon/model/device_series.h>
#include <pelagon/model/media_file.h>
#include <pelagon/model/passmask_list.h>
#include <pelagon/payload/generator/carried_media_layout.h>
#include <pelagon/payload/generator/icc_profile.h>
#include <pelagon/payload/generator/printer_bitmap.h>
#include <pelagon/payload/generator/series_content.h>
#include <pelagon/platform/com.h>
#include <pelagon/platform/resources.h>
#include <pelagon/xmlio/dom_creator.h>

namespace pelagon::payload {

namespace {

void writeBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

void writeBytes(const std::filesystem::path& path, const std::vector<unsigned char>& bytes) {
  writeBytes(path, std::string(bytes.begin(), bytes.end()));
}

void writeDeviceSeries(Series series, const std::string& path) {
  DeviceSeries content = MakeDeviceSeries(series);
  DeviceSeriesIO2 io(path);
  if (!io.SaveWithVersion(content, VersionRecord::Parse(kDeviceSeriesFileVersion))) {
    throw std::runtime_error("cannot build the device-series document " + path);
  }
}

// The carried media-setting and passmask files were written by a writer that puts a space
// before the slash of an element without children ("<ProfileList />"), where the library
// writes "<ProfileList/>". The generator's documents hold only element names, escaped text
// (in which '>' is "&gt;") and the version attribute, so every "/>" in them ends such an
// element, and the carried form comes back by putting the space in front of each.
std::string carriedIndentedForm(const xml::Document& document) {
  const std::string text = document.saveToString(xml::SaveForm::Indented);
  std::string carried;
  carried.reserve(text.size() + 64);
  std::size_t done = 0;
  for (std::size_t at = text.find("/>"); at != std::string::npos; at = text.find("/>", done)) {
    carried.append(text, done, at - done).append(" />");
    done = at + 2;
  }
  return carried.append(text, done);
}

void writeMediaFile(Series series, const std::filesystem::path& path) {
  const win::ComScope com;
  if (!com.Ok() || !EnsureMsxmlAvailable()) throw std::runtime_error("the XML backend is not available");
  writeBytes(path, carriedIndentedForm(*CarriedMediaDocument(MakeMediaFile(series))));
}

void writePassmaskList(Series series, const std::filesystem::path& path) {
  const win::ComScope com;
  if (!com.Ok() || !EnsureMsxmlAvailable()) throw std::runtime_error("the XML backend is not available");
  const PassmaskList content = MakePassmaskList(series);
  const xml::DocumentPtr document = PassmaskListIO("").CreateDocument(content);
  if (!document) throw std::runtime_error("cannot build the passmask list " + path.string());
  document->documentElement().setAttribute("strVersion", content.version.ToString());
  writeBytes(path, carriedIndentedForm(*document));
}

// The text of a path inside a quoted assembler string.
std::string assemblerString(const std::string& text) {
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '\n' || c == '\r')
      throw std::runtime_error("a line break in a path cannot be assembled: " + text);
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

std::string symbolOf(const GeneratedBlock& block) {
  return "pelagon_payload_block_" + std::to_string(block.resourceId);
}

// One block as read-only data of exactly its file's bytes, under a symbol the table names.
std::string assemblyOf(const GeneratedBlock& block, const std::filesystem::path& file) {
  const std::string symbol = symbolOf(block);
  std::string text;
  const auto line = [&text](const std::string& directive) { text += "\t" + directive + "\n"; };
  line(".section .rodata.pelagon_payload,\"a\",@progbits");
  line(".balign 16");
  line(".globl " + symbol);
  // Seen by the linking program only, never exported from it.
  line(".hidden " + symbol);
  line(".type " + symbol + ", @object");
  line(".size " + symbol + ", " + std::to_string(block.size));
  text += symbol + ":\n";
  line(".incbin " + assemblerString(file.string()));
  return text;
}

// A string of a resource script: a backslash escapes, a quote is doubled.
std::string resourceScriptString(std::string_view text) {
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '\\') quoted += '\\';
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

// The Windows program's resources: every block as a "BIN" resource of its id, and the
// string table. The table's texts are UTF-8; the script says so, and the resource compiler
// stores them as UTF-16.
std::string resourceScriptOf(const std::filesystem::path& folder, const std::vector<GeneratedBlock>& blocks) {
  std::string script = "// Generated by pelagon-payload-gen: the payload blocks and the string table.\n";
  script += "#pragma code_page(65001)\n\n";
  for (const GeneratedBlock& block : blocks) {
    script += std::to_string(block.resourceId) + " BIN " +
              resourceScriptString(std::filesystem::absolute(folder / block.fileName).string()) + "\n";
  }
  script += "\nSTRINGTABLE\nBEGIN\n";
  for (const win::StringResource& entry : win::kProgramStringTable) {
    script += "  " + std::to_string(entry.id) + ", " + resourceScriptString(entry.text) + "\n";
  }
  return script + "END\n";
}

}  // namespace

void WritePayloadFile(const ManifestEntry& entry, const std::filesystem::path& path) {
  const std::string target = path.string();
  switch (entry.kind) {
    case PayloadKind::Bitmap:
      writeBytes(path, MakePrinterBitmap(entry.series));
      return;
    case PayloadKind::MediaFile:
      writeMediaFile(entry.series, path);
      return;
    case PayloadKind::PassmaskList:
      writePassmaskList(entry.series, path);
      return;
    case PayloadKind::IccProfile:
      writeBytes(path, MakeIccProfile(entry.relativePath));
      return;
    case PayloadKind::DeviceSeries:
      writeDeviceSeries(entry.series, target);
      return;
    case PayloadKind::Folder:
      break;
  }
  throw std::invalid_argument("a folder step has no payload file");
}

std::vector<GeneratedBlock> WritePayloadFiles(const std::filesystem::path& folder) {
  std::filesystem::create_directories(folder);
  std::vector<GeneratedBlock> blocks;
  for (const ManifestEntry& entry : kInstallManifest) {
    if (entry.kind == PayloadKind::Folder) continue;
    const std::string name = BlockFileName(entry);
    WritePayloadFile(entry, folder / name);
    const std::uintmax_t size = std::filesystem::file_size(folder / name);
    if (size == 0) throw std::runtime_error("empty payload file " + name);
    blocks.push_back({entry.resourceId, name, size});
  }
  return blocks;
}

void WriteEmbedding(const std::filesystem::path& folder, const std::vector<GeneratedBlock>& blocks) {
  std::string manifest = "# resource id, type, file: the blocks of the program, in installation order\n";
  std::string assembly =
      "/* Generated by pelagon-payload-gen: every payload block, included byte for byte. */\n";
  std::string declarations;
  std::string rows;
  for (const GeneratedBlock& block : blocks) {
    manifest += std::to_string(block.resourceId) + " BIN " + block.fileName + "\n";
    assembly += assemblyOf(block, std::filesystem::absolute(folder / block.fileName));
    declarations += "extern const unsigned char " + symbolOf(block) + "[];\n";
    rows += "    {win::RT_BIN, " + std::to_string(block.resourceId) + ", " + symbolOf(block) + ", " +
            std::to_string(block.size) + "},\n";
  }
  // No executable stack for the program that links the blocks.
  assembly += "\t.section .note.GNU-stack,\"\",@progbits\n";
  const std::string table =
      "// Generated by pelagon-payload-gen: the payload blocks as the program's \"BIN\" resources.\n"
      "#include <pelagon/payload/payload_resources.h>\n\n"
      "extern \"C\" {\n" +
      declarations +
      "}\n\n"
      "namespace pelagon::payload {\n\n"
      "namespace {\n"
      "const win::BinaryResource kPayloadResources[] = {\n" +
      rows +
      "};\n"
      "}  // namespace\n\n"
      "std::span<const win::BinaryResource> Resources() { return kPayloadResources; }\n\n"
      "}  // namespace pelagon::payload\n";
  writeBytes(folder / "payload_manifest.txt", manifest);
  writeBytes(folder / "payload_blocks.S", assembly);
  writeBytes(folder / "payload_table.cpp", table);
  writeBytes(folder / "payload_resources.rc", resourceScriptOf(folder, blocks));
}

}  // namespace pelagon::payload
