#include <pelagon/app/dsr_diff.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>
#include <string_view>
#include <unordered_map>
#include <utility>

#include <pelagon/app/dsr_commands.h>
#include <pelagon/app/dsr_json.h>
#include <pelagon/platform/code_page.h>
#include <pelagon/platform/hresult.h>
#include <pelagon/values/localized_text.h>
#include <pelagon/values/output_table.h>
#include <pelagon/values/read_error.h>
#include <pelagon/xmlio/dom.h>

namespace pelagon::dsr {

namespace {

using Json = nlohmann::ordered_json;
using Differences = std::vector<Difference>;
using Change = Difference::Change;

// ---- Which entries of two lists are one record ----

struct Matching {
  // For each entry before: its position after, or -1 when it was removed.
  std::vector<int> partner;
  // For each entry before that has a partner: whether it left the order the others keep.
  std::vector<bool> moved;
  // For each entry after: whether an entry before is its partner.
  std::vector<bool> matched;
};

// The n-th entry with a key before is the n-th entry with that key after. Of the matched
// entries, the most that can keep their order (the longest increasing run of their
// positions after) did; the others moved. One medium inserted in the middle moves nobody.
Matching matchEntries(const std::vector<std::string>& before, const std::vector<std::string>& after) {
  Matching m;
  m.partner.assign(before.size(), -1);
  m.moved.assign(before.size(), false);
  m.matched.assign(after.size(), false);
  std::unordered_map<std::string_view, std::pair<std::vector<int>, std::size_t>> positions;
  positions.reserve(after.size());
  for (std::size_t j = 0; j < after.size(); ++j) positions[after[j]].first.push_back(static_cast<int>(j));
  for (std::size_t i = 0; i < before.size(); ++i) {
    const auto found = positions.find(before[i]);
    if (found == positions.end()) continue;
    auto& [candidates, used] = found->second;
    if (used == candidates.size()) continue;
    m.partner[i] = candidates[used++];
    m.matched[static_cast<std::size_t>(m.partner[i])] = true;
  }

  // Patience sorting over the partners in the order before: tails[k] is the entry that ends
  // the best run of length k + 1 found so far, previous[i] the entry before i in its run.
  std::vector<std::size_t> tails;
  std::vector<std::size_t> previous(before.size(), before.size());
  for (std::size_t i = 0; i < before.size(); ++i) {
    if (m.partner[i] < 0) continue;
    const auto at =
        std::lower_bound(tails.begin(), tails.end(), m.partner[i],
                         [&](std::size_t entry, int partner) { return m.partner[entry] < partner; });
    if (at != tails.begin()) previous[i] = *(at - 1);
    if (at == tails.end()) {
      tails.push_back(i);
    } else {
      *at = i;
    }
  }
  for (std::size_t i = 0; i < before.size(); ++i) m.moved[i] = m.partner[i] >= 0;
  for (std::size_t i = tails.empty() ? before.size() : tails.back(); i < before.size(); i = previous[i])
    m.moved[i] = false;
  return m;
}

// The n-th entry of a key that occurs more than once is told apart by " #n".
std::vector<std::string> labelsOf(std::string_view list, const std::vector<std::string>& keys) {
  std::unordered_map<std::string_view, int> seen;
  std::vector<std::string> labels;
  labels.reserve(keys.size());
  for (const std::string& key : keys) {
    std::string label(list);
    label += key;
    if (const int n = seen[key]++; n > 0) label.append(" #").append(std::to_string(n + 1));
    labels.push_back(std::move(label));
  }
  return labels;
}

std::string within(const std::string& parent, const std::string& entry) {
  return parent.empty() ? entry : parent + " / " + entry;
}

Difference::Value positionValue(std::size_t position) {
  return {std::to_string(position), static_cast<std::int64_t>(position)};
}

// Reports the entries only before, only after and out of order, and hands every matched
// pair to `compare(before, after, label)`. A key is what follows the list's name in a label:
// " (nModeIndex 7)", " \"Vinyl\"" or, for lists matched by position, "[2]".
template <typename Compare>
void diffEntries(const std::string& parent, std::string_view list, const std::vector<std::string>& keysBefore,
                 const std::vector<std::string>& keysAfter, Differences& out, Compare compare) {
  const Matching matching = matchEntries(keysBefore, keysAfter);
  const std::vector<std::string> labelsBefore = labelsOf(list, keysBefore);
  const std::vector<std::string> labelsAfter = labelsOf(list, keysAfter);
  for (std::size_t i = 0; i < keysBefore.size(); ++i) {
    const std::string label = within(parent, labelsBefore[i]);
    const int partner = matching.partner[i];
    if (partner < 0) {
      out.push_back({Change::Removed, label, {}, {}, {}, {}});
      continue;
    }
    if (matching.moved[i]) {
      out.push_back(
          {Change::Moved, label, {}, positionValue(i), positionValue(static_cast<std::size_t>(partner)), {}});
    }
    compare(i, static_cast<std::size_t>(partner), label);
  }
  for (std::size_t j = 0; j < keysAfter.size(); ++j) {
    if (!matching.matched[j]) out.push_back({Change::Added, within(parent, labelsAfter[j]), {}, {}, {}, {}});
  }
}

std::string positionKey(std::size_t position) {
  return std::string("[").append(std::to_string(position)) + "]";
}

std::string indexKey(std::string_view field, std::string_view number) {
  std::string key = " (";
  key += field;
  key += ' ';
  key += number;
  key += ')';
  return key;
}

std::string nameKey(std::string_view ansiName) { return std::string(" ").append(quoted(ansiName)); }

// ---- Two written records, field by field ----

// The records inside records that have numbers of their own; the entries of every other
// list are matched by position.
constexpr std::pair<std::string_view, std::string_view> kNestedKeys[] = {
    {"PermissionSet", "nPermissionIndex"},
    {"QualityInfo", "nQualityLevel"},
};

std::vector<xml::Node> elementChildren(xml::Node element) {
  std::vector<xml::Node> children;
  if (!element) return children;
  for (xml::Node child : element.children()) {
    if (child.type() == xml::NodeType::Element) children.push_back(child);
  }
  return children;
}

std::optional<Difference::Value> valueOf(xml::Node leaf, std::optional<std::string> text) {
  if (!text) return std::nullopt;
  Json json = LeafToJson(leaf, *text);
  return Difference::Value{std::move(*text), std::move(json)};
}

class RecordDiff {
public:
  explicit RecordDiff(Differences& out) : out_(out) {}

  // Compares the children of two record elements (and, for the document's own element,
  // its fields).
  void fields(const std::string& record, const std::string& prefix, xml::Node before, xml::Node after) {
    struct Group {
      std::string_view name;
      std::vector<xml::Node> before;
      std::vector<xml::Node> after;
    };
    std::vector<Group> groups;
    const auto groupOf = [&](std::string_view name) -> Group& {
      for (Group& group : groups) {
        if (group.name == name) return group;
      }
      return groups.emplace_back(Group{name, {}, {}});
    };
    for (xml::Node child : elementChildren(before)) groupOf(child.name()).before.push_back(child);
    for (xml::Node child : elementChildren(after)) groupOf(child.name()).after.push_back(child);
    for (const Group& group : groups) {
      const std::string name = prefix + std::string(group.name);
      const std::size_t count = std::max(group.before.size(), group.after.size());
      // A field that repeats (the commands of a passmask) is an array of its occurrences.
      for (std::size_t i = 0; i < count; ++i) {
        field(record, count == 1 ? name : name + positionKey(i),
              i < group.before.size() ? group.before[i] : xml::Node(),
              i < group.after.size() ? group.after[i] : xml::Node());
      }
    }
  }

  // One field, present on at least one side.
  void field(const std::string& record, const std::string& name, xml::Node before, xml::Node after) {
    attributes(record, name, before, after);
    // A passmask command is written in pieces of 4096 characters; it is one value all the same.
    const bool whole = (before ? before : after).name() == "strPassmaskCommand";
    const bool leaf = whole || ((!before || IsLeaf(before)) && (!after || IsLeaf(after)));
    if (leaf) {
      if (before && after && before.name() == "usOutputTable") {
        curve(record, name, before.text(), after.text());
        return;
      }
      leafChange(record, name, before ? before : after, textOf(before), textOf(after));
    } else if (ChildrenAreEntries(before ? before : after)) {
      entries(record, name, before, after);
    } else {
      const std::size_t first = out_.size();
      fields(record, name + ".", before, after);
      if (isLocalizedText(before ? before : after)) joinLanguages(name, first);
    }
  }

private:
  static bool isLocalizedText(xml::Node element) {
    std::size_t language = 0;
    for (xml::Node child : elementChildren(element)) {
      if (language == kLanguageCount || child.name() != languageNames()[language++]) return false;
    }
    return language == kLanguageCount;
  }

  // A name changed the same way in several languages is one line that lists them, or says
  // "all languages"; each language that changed otherwise keeps a line of its own.
  void joinLanguages(const std::string& name, std::size_t first) {
    std::vector<Difference> joined;
    std::vector<std::vector<std::string>> languages;
    for (std::size_t i = first; i < out_.size(); ++i) {
      Difference& change = out_[i];
      const std::string language = change.field.substr(name.size() + 1);
      const auto same = std::find_if(joined.begin(), joined.end(), [&](const Difference& d) {
        return d.before.has_value() == change.before.has_value() &&
               d.after.has_value() == change.after.has_value() &&
               (!d.before || d.before->text == change.before->text) &&
               (!d.after || d.after->text == change.after->text);
      });
      if (same != joined.end()) {
        languages[static_cast<std::size_t>(same - joined.begin())].push_back(language);
      } else {
        joined.push_back(std::move(change));
        languages.push_back({language});
      }
    }
    out_.resize(first);
    for (std::size_t i = 0; i < joined.size(); ++i) {
      std::string field = name;
      if (languages[i].size() == kLanguageCount) {
        field += " (all languages)";
      } else {
        for (std::size_t l = 0; l < languages[i].size(); ++l) field += (l == 0 ? "." : ",") + languages[i][l];
      }
      joined[i].field = std::move(field);
      out_.push_back(std::move(joined[i]));
    }
  }

  static std::optional<std::string> textOf(xml::Node element) {
    if (!element) return std::nullopt;
    return element.text();
  }

  void leafChange(const std::string& record, const std::string& name, xml::Node leaf,
                  std::optional<std::string> before, std::optional<std::string> after) {
    if (before == after) return;
    out_.push_back({Change::Changed,
                    record,
                    name,
                    valueOf(leaf, std::move(before)),
                    valueOf(leaf, std::move(after)),
                    {}});
  }

  void attributes(const std::string& record, const std::string& name, xml::Node before, xml::Node after) {
    const auto attributeText = [](xml::Node element,
                                  std::string_view attribute) -> std::optional<std::string> {
      if (!element) return std::nullopt;
      const xml::Attribute found = element.attribute(attribute);
      if (!found) return std::nullopt;
      return std::string(found.value());
    };
    for (const xml::Node side : {before, after}) {
      if (!side) continue;
      for (xml::Attribute a = side.firstAttribute(); a; a = a.nextAttribute()) {
        // An attribute on both sides is compared once, from the side before.
        if (side == after && before && before.attribute(a.name())) continue;
        leafChange(record, name + "@" + std::string(a.name()), side, attributeText(before, a.name()),
                   attributeText(after, a.name()));
      }
    }
  }

  // An output curve is one change however many of its 4096 entries differ.
  void curve(const std::string& record, const std::string& name, const std::string& before,
             const std::string& after) {
    if (before == after) return;
    const std::optional<OutputTable> old = before.empty() ? std::nullopt : decodeOutputTable(before);
    const std::optional<OutputTable> now = after.empty() ? std::nullopt : decodeOutputTable(after);
    Difference::Curve change{0, 0, old.has_value(), now.has_value()};
    if (!old || !now) {
      out_.push_back({Change::Changed, record, name, {}, {}, change});
      return;
    }
    for (std::size_t i = 0; i < kOutputTableSize; ++i) {
      const int difference = std::abs(int{(*old)[i]} - int{(*now)[i]});
      if (difference == 0) continue;
      ++change.differing;
      change.largest = std::max(change.largest, difference);
    }
    // Two texts that decode to the same samples (the decoder is lenient) differ in nothing
    // that is read.
    if (change.differing > 0) out_.push_back({Change::Changed, record, name, {}, {}, change});
  }

  // A list (or the slots of a fixed array). Entries that are records are matched as the
  // list's kind says; values are compared slot by slot.
  void entries(const std::string& record, const std::string& name, xml::Node before, xml::Node after) {
    const std::vector<xml::Node> old = elementChildren(before);
    const std::vector<xml::Node> now = elementChildren(after);
    const auto isRecord = [](xml::Node entry) { return !IsLeaf(entry); };
    if (!std::any_of(old.begin(), old.end(), isRecord) && !std::any_of(now.begin(), now.end(), isRecord)) {
      for (std::size_t i = 0; i < std::max(old.size(), now.size()); ++i) {
        field(record, name + positionKey(i), i < old.size() ? old[i] : xml::Node(),
              i < now.size() ? now[i] : xml::Node());
      }
      return;
    }
    std::string_view keyField;
    const std::string_view entryName = (old.empty() ? now : old).front().name();
    for (const auto& [entry, key] : kNestedKeys) {
      if (entry == entryName) keyField = key;
    }
    const auto keysOf = [&](const std::vector<xml::Node>& list) {
      std::vector<std::string> keys;
      keys.reserve(list.size());
      for (std::size_t i = 0; i < list.size(); ++i) {
        xml::Node number;
        if (!keyField.empty()) {
          for (xml::Node child : list[i].children(keyField)) {
            number = child;
            break;
          }
        }
        keys.push_back(number ? indexKey(keyField, win::Utf8ToAnsi(number.text())) : positionKey(i));
      }
      return keys;
    };
    diffEntries(
        record, name, keysOf(old), keysOf(now), out_,
        [&](std::size_t i, std::size_t j, const std::string& label) { fields(label, "", old[i], now[j]); });
  }

  Differences& out_;
};

// ---- The lists of a loaded file ----

// A top-level list: matched in memory, and only the records that differ there are written
// out to be compared field by field, so a diff of large, nearly equal files costs little
// more than reading them.
// A record's identity: its number, or its (English) name.
std::string keyOf(std::string_view field, std::int32_t number) {
  return indexKey(field, std::to_string(number));
}
std::string keyOf(std::string_view, const std::string& name) { return nameKey(name); }
std::string keyOf(std::string_view, const LocalizedText& name) { return nameKey(name[0]); }

// One list of a file, found by `List` in both and identified by `Key` (named `keyField`);
// emptied afterwards, as what is left of the file is compared as a whole.
template <auto List, auto Key, typename File, typename Record>
void diffAndEmpty(std::string_view list, std::string_view keyField,
                  xml::Node (*append)(xml::Node, const Record&), File& before, File& after,
                  Differences& out) {
  const win::GrowableArray<Record>& old = before.*List;
  const win::GrowableArray<Record>& now = after.*List;
  const auto keysOf = [&](const win::GrowableArray<Record>& records) {
    std::vector<std::string> keys;
    keys.reserve(static_cast<std::size_t>(records.size()));
    for (const Record& record : records) keys.push_back(keyOf(keyField, record.*Key));
    return keys;
  };
  diffEntries({}, list, keysOf(old), keysOf(now), out,
              [&](std::size_t i, std::size_t j, const std::string& label) {
                const Record& a = old[static_cast<int>(i)];
                const Record& b = now[static_cast<int>(j)];
                if (a == b) return;
                const xml::DocumentPtr scratch = xml::Document::Create();
                const xml::Node pair = scratch->node().appendElement("pair");
                const xml::Node oldElement = append(pair, a);
                const xml::Node newElement = append(pair, b);
                RecordDiff(out).fields(label, "", oldElement, newElement);
              });
  (before.*List).clear();
  (after.*List).clear();
}

void diffSeriesLists(DeviceSeries& a, DeviceSeries& b, Differences& out) {
  using S = DeviceSeries;
  diffAndEmpty<&S::aModelInfoList, &ModelInfo::strLongModelName>("aModelInfoList", {}, appendModelInfo, a, b,
                                                                 out);
  diffAndEmpty<&S::aInkInfoList, &InkInfo::nInkIndex>("aInkInfoList", "nInkIndex", appendInkInfo, a, b, out);
  diffAndEmpty<&S::aInkConfigInfoList, &InkConfigInfo::nInkConfigIndex>(
      "aInkConfigInfoList", "nInkConfigIndex", appendInkConfigInfo, a, b, out);
  diffAndEmpty<&S::aResolutionInfoList, &ResolutionInfo::nResolutionIndex>(
      "aResolutionInfoList", "nResolutionIndex", appendResolutionInfo, a, b, out);
  diffAndEmpty<&S::aModeInfoList, &ModeInfo::nModeIndex>("aModeInfoList", "nModeIndex", appendModeInfo, a, b,
                                                         out);
  diffAndEmpty<&S::aSeparationInfoList, &SeparationInfo::nSeparationIndex>(
      "aSeparationInfoList", "nSeparationIndex", appendSeparationInfo, a, b, out);
  diffAndEmpty<&S::aVControlPointList, &VControlPoint::nVControlIndex>("aVControlPointList", "nVControlIndex",
                                                                       appendVControlPoint, a, b, out);
  diffAndEmpty<&S::aPatternInfoList, &PatternInfo::nFMPatternIndex>("aPatternInfoList", "nFMPatternIndex",
                                                                    appendPatternInfo, a, b, out);
  diffAndEmpty<&S::aMediaInfoList, &MediaInfo::strMediaName>("aMediaInfoList", {}, appendMediaInfo, a, b,
                                                             out);
  diffAndEmpty<&S::aPrintChartFileInfoSetList, &PrintChartFileInfoSet::nIndex>(
      "aPrintChartFileInfoSetList", "nIndex", appendPrintChartFileInfoSet, a, b, out);
  diffAndEmpty<&S::aInkVolumeInfoList, &InkVolumeInfo::nInkVolumeIndex>(
      "aInkVolumeInfoList", "nInkVolumeIndex", appendInkVolumeInfo, a, b, out);
}

// Values longer than this are cut in a line of text; the JSON has them whole.
constexpr std::size_t kLongestShownValue = 80;

std::string shown(const std::optional<Difference::Value>& value) {
  if (!value) return "(none)";
  if (!value->json.is_string()) return value->text;
  std::string text = win::Utf8ToAnsi(value->text);
  if (text.size() <= kLongestShownValue) return pelagon::quoted(text);
  std::size_t cut = kLongestShownValue - 20;
  // Not inside a UTF-8 sequence.
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return pelagon::quoted(text.substr(0, cut)) + "... (" + std::to_string(text.size()) + " bytes)";
}

}  // namespace

std::vector<Difference> DiffFiles(LoadedFile& before, LoadedFile& after) {
  if (before.kind != after.kind) throw std::invalid_argument("the files are of different kinds");
  Differences lists;
  switch (before.kind) {
    case Kind::DeviceSeries:
      diffSeriesLists(before.series, after.series, lists);
      break;
    case Kind::MediaFile:
      diffAndEmpty<&MediaFile::media, &MediaInfo::strMediaName>("data", {}, appendMediaInfo, before.media,
                                                                after.media, lists);
      break;
    case Kind::PassmaskList:
      diffAndEmpty<&PassmaskList::passmasks, &Passmask::nPassmaskIndex>(
          "aPassmaskList", "nPassmaskIndex", appendPassmask, before.passmasks, after.passmasks, lists);
      break;
  }

  // What is left of each file is its own element's fields, with empty lists.
  Differences differences;
  const xml::DocumentPtr old = documentOf(before);
  const xml::DocumentPtr now = documentOf(after);
  const xml::Node oldRoot = old->documentElement();
  const xml::Node newRoot = now->documentElement();
  RecordDiff head(differences);
  const std::string root(oldRoot.name());
  if (before.version != after.version) {
    differences.push_back(
        {Change::Changed,
         root,
         "strVersion",
         Difference::Value{win::AnsiToUtf8(before.version), win::AnsiToUtf8(before.version)},
         Difference::Value{win::AnsiToUtf8(after.version), win::AnsiToUtf8(after.version)},
         {}});
  }
  head.fields(root, "", oldRoot, newRoot);
  differences.insert(differences.end(), std::make_move_iterator(lists.begin()),
                     std::make_move_iterator(lists.end()));
  return differences;
}

std::string FormatDifference(const Difference& d) {
  std::string line = d.record + ": ";
  switch (d.change) {
    case Change::Removed:
      return line + "removed";
    case Change::Added:
      return line + "added";
    case Change::Moved:
      return line + "moved " + shown(d.before) + " -> " + shown(d.after);
    case Change::Changed:
      break;
  }
  line += d.field;
  if (d.curve && !(d.curve->storedBefore && d.curve->storedAfter)) {
    return line + (d.curve->storedBefore ? " stored curve -> (none)" : " (none) -> stored curve");
  }
  if (d.curve) {
    return line + " " + std::to_string(d.curve->differing) + " of " + std::to_string(kOutputTableSize) +
           " entries differ, largest difference " + std::to_string(d.curve->largest);
  }
  return line + " " + shown(d.before) + " -> " + shown(d.after);
}

Json DifferenceToJson(const Difference& d) {
  static constexpr const char* kChanges[] = {"removed", "added", "changed", "moved"};
  Json json;
  json["record"] = win::AnsiToUtf8(d.record);
  json["change"] = kChanges[static_cast<int>(d.change)];
  if (d.change == Change::Removed || d.change == Change::Added) return json;
  if (d.change == Change::Changed) json["field"] = d.field;
  if (d.curve && !(d.curve->storedBefore && d.curve->storedAfter)) {
    json["old"] = d.curve->storedBefore ? Json("stored curve") : Json(nullptr);
    json["new"] = d.curve->storedAfter ? Json("stored curve") : Json(nullptr);
    return json;
  }
  if (d.curve) {
    json["differing"] = d.curve->differing;
    json["entries"] = kOutputTableSize;
    json["largest"] = d.curve->largest;
    return json;
  }
  json["old"] = d.before ? d.before->json : Json(nullptr);
  json["new"] = d.after ? d.after->json : Json(nullptr);
  return json;
}

namespace {

std::vector<Difference> diffPaths(const std::string& oldPath, const std::string& newPath) {
  LoadedFile before = loadFile(oldPath);
  LoadedFile after = loadFile(newPath);
  if (before.kind != after.kind) {
    throw Failure{kExitUsage, oldPath + " is " + aFileOfKind(before.kind) + " and " + newPath + " is " +
                                  aFileOfKind(after.kind) + "; diff compares files of one kind"};
  }
  return DiffFiles(before, after);
}

}  // namespace

int diff(const std::vector<std::string>& args, std::ostream& out) {
  const Arguments parsed = parse("diff", args, 2, {"--json"}, {});
  std::vector<Difference> differences;
  // As with diff(1), 1 means "different", so every failure is trouble, 2: a file that
  // cannot be read as much as one the library refuses.
  try {
    differences = diffPaths(parsed.operands[0], parsed.operands[1]);
  } catch (Failure& failure) {
    failure.status = kExitUsage;
    throw;
  } catch (const win::_com_error& error) {
    throw Failure{kExitUsage, error.HasDescription() ? error.Description() : error.ErrorMessage()};
  } catch (const std::exception& error) {
    throw Failure{kExitUsage, error.what()};
  }
  if (parsed.flag("--json")) {
    Json json = Json::array();
    for (const Difference& d : differences) json.push_back(DifferenceToJson(d));
    out << json.dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
  } else {
    for (const Difference& d : differences) out << FormatDifference(d) << '\n';
  }
  return differences.empty() ? kExitSuccess : kExitProblems;
}

}  // namespace pelagon::dsr
