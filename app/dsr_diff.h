#pragma once
// What changed between two device files of one kind, record by record. Records are matched
// by what identifies them, not by where they stand: media by their English name, models by
// their long model name, and the other records by their own index numbers. Values are
// compared as the library writes them, so a real that only differs beyond its three written
// decimals is the same.

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include <pelagon/app/dsr_files.h>

namespace pelagon::dsr {

struct Difference {
  enum class Change { Removed, Added, Changed, Moved };

  // A value as written: its text (UTF-8, as the document holds it), and the same typed for
  // JSON.
  struct Value {
    std::string text;
    nlohmann::ordered_json json;
  };

  // An output curve that changed: how many of its entries differ, and by how much at most;
  // or that it is stored on one side only.
  struct Curve {
    int differing = 0;
    int largest = 0;
    bool storedBefore = true;
    bool storedAfter = true;
  };

  Change change = Change::Changed;
  // The list entries that lead to the record, joined by " / ", in the ANSI code page:
  //   aMediaInfoList "Generic Vinyl 1" / aPermissionSetList (nPermissionIndex 5)
  std::string record;
  // Changed: the field within the record, with '.' into a group and [i] into an array
  // ("strMediaName.German", "density[3]"); empty for the other changes.
  std::string field;
  // Changed: the values before and after, nothing where one side has no such field.
  // Moved: the positions in the list before and after.
  std::optional<Value> before;
  std::optional<Value> after;
  std::optional<Curve> curve;
};

// The differences from `before` to `after`, which must be of the same kind: the fields of the
// document's own element first, then the lists in document order. The lists of both files
// are emptied on the way.
std::vector<Difference> DiffFiles(LoadedFile& before, LoadedFile& after);

// One line, without its end: "RECORD: FIELD OLD -> NEW", "RECORD: removed", "RECORD: added",
// "RECORD: moved 3 -> 5", "RECORD: usOutputTable 12 of 4096 entries differ, largest
// difference 40".
std::string FormatDifference(const Difference& difference);
nlohmann::ordered_json DifferenceToJson(const Difference& difference);

// The command: `diff OLD NEW [--json]`; 0 when the files are the same, 1 when they differ.
int diff(const std::vector<std::string>& args, std::ostream& out);

}  // namespace pelagon::dsr
