#include "snapshot/snapshot_file.h"

#include <fstream>

#include "data/path_text.h"
#include "snapshot/snapshot_format.h"

namespace quorvane::snapshot {

namespace {

bool IsArrayField(const nlohmann::json& object, const char* name) {
  return object.is_object() && object.contains(name) && object[name].is_array();
}

// The shape the comparison walks: sections with result sets of columns and rows.
bool WellFormed(const nlohmann::json& document) {
  if (!IsArrayField(document, "sections")) return false;
  for (const nlohmann::json& section : document["sections"]) {
    if (!IsArrayField(section, "resultSets") || !section.contains("anchor") ||
        !section["anchor"].is_string() || !section.contains("heading") ||
        !section["heading"].is_string()) {
      return false;
    }
    for (const nlohmann::json& result : section["resultSets"]) {
      if (!IsArrayField(result, "columns") || !IsArrayField(result, "rows") ||
          !result.contains("command") || !result["command"].is_string()) {
        return false;
      }
      for (const nlohmann::json& column : result["columns"]) {
        if (!column.is_object() || !column.contains("name") || !column["name"].is_string()) {
          return false;
        }
      }
      for (const nlohmann::json& row : result["rows"]) {
        if (!row.is_array() || row.size() != result["columns"].size()) return false;
      }
    }
  }
  return true;
}

}  // namespace

nlohmann::json ReadSnapshot(const std::filesystem::path& path) {
  const std::string name = data::Utf8FromPath(path);
  std::ifstream in(path, std::ios::binary);
  if (!in) throw SnapshotError("Cannot read " + name);
  nlohmann::json document;
  try {
    document = nlohmann::json::parse(in);
  } catch (const nlohmann::json::parse_error& error) {
    throw SnapshotError(name + " is not a Quorvane snapshot: it is not JSON (byte " +
                        std::to_string(error.byte) + ")");
  }
  if (!document.is_object() || document.value("format", nlohmann::json()) != kFormatName) {
    throw SnapshotError(name + " is not a Quorvane snapshot (its \"format\" is not \"" +
                        std::string(kFormatName) + "\")");
  }
  const nlohmann::json version = document.value("formatVersion", nlohmann::json());
  if (version != kFormatVersion) {
    throw SnapshotError(name + " is a snapshot of format version " + version.dump() +
                        ", which this program cannot read (it reads version " +
                        std::to_string(kFormatVersion) + ")");
  }
  if (!WellFormed(document)) {
    throw SnapshotError(name +
                        " is a damaged snapshot: its sections are not as the format has "
                        "them");
  }
  return document;
}

}  // namespace quorvane::snapshot
