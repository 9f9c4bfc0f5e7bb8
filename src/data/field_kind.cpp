#include "data/field_kind.h"

#include <array>

namespace quorvane::data {

std::string_view FieldKindName(FieldKind kind) {
  static constexpr std::array<std::string_view, kFieldKindCount> kNames = {
      "ftUnknown",      "ftString",      "ftSmallint", "ftInteger",       "ftWord",
      "ftBoolean",      "ftFloat",       "ftCurrency", "ftBCD",           "ftDate",
      "ftTime",         "ftDateTime",    "ftBytes",    "ftVarBytes",      "ftAutoInc",
      "ftBlob",         "ftMemo",        "ftGraphic",  "ftFmtMemo",       "ftParadoxOle",
      "ftDBaseOle",     "ftTypedBinary", "ftCursor",   "ftFixedChar",     "ftWideString",
      "ftLargeint",     "ftADT",         "ftArray",    "ftReference",     "ftDataSet",
      "ftOraBlob",      "ftOraClob",     "ftVariant",  "ftInterface",     "ftIDispatch",
      "ftGuid",         "ftTimeStamp",   "ftFMTBcd",   "ftFixedWideChar", "ftWideMemo",
      "ftOraTimeStamp", "ftOraInterval", "ftLongWord", "ftShortint",      "ftByte",
      "ftExtended",     "ftConnection",  "ftParams",   "ftStream"};
  const auto index = static_cast<std::size_t>(kind);
  return index < kNames.size() ? kNames[index] : std::string_view("ftUnknown");
}

}  // namespace quorvane::data
