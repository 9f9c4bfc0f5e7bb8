#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>

namespace quorvane::data {

// The column kinds the database interface reports, numbered as the report engine has always
// numbered them (0 to 48).
enum class FieldKind : int {
  ftUnknown,
  ftString,
  ftSmallint,
  ftInteger,
  ftWord,
  ftBoolean,
  ftFloat,
  ftCurrency,
  ftBCD,
  ftDate,
  ftTime,
  ftDateTime,
  ftBytes,
  ftVarBytes,
  ftAutoInc,
  ftBlob,
  ftMemo,
  ftGraphic,
  ftFmtMemo,
  ftParadoxOle,
  ftDBaseOle,
  ftTypedBinary,
  ftCursor,
  ftFixedChar,
  ftWideString,
  ftLargeint,
  ftADT,
  ftArray,
  ftReference,
  ftDataSet,
  ftOraBlob,
  ftOraClob,
  ftVariant,
  ftInterface,
  ftIDispatch,
  ftGuid,
  ftTimeStamp,
  ftFMTBcd,
  ftFixedWideChar,
  ftWideMemo,
  ftOraTimeStamp,
  ftOraInterval,
  ftLongWord,
  ftShortint,
  ftByte,
  ftExtended,
  ftConnection,
  ftParams,
  ftStream
};

inline constexpr int kFieldKindCount = 49;

std::string_view FieldKindName(FieldKind kind);

// A set of field kinds as a bit mask; constexpr so the two rendering sets are constants.
class FieldKindSet {
 public:
  constexpr FieldKindSet() = default;
  constexpr FieldKindSet(std::initializer_list<FieldKind> kinds) {
    for (FieldKind k : kinds) bits_ |= Bit(k);
  }
  static constexpr FieldKindSet All() {
    FieldKindSet s;
    s.bits_ = (std::uint64_t{1} << kFieldKindCount) - 1;
    return s;
  }
  constexpr FieldKindSet Without(FieldKind kind) const {
    FieldKindSet s = *this;
    s.bits_ &= ~Bit(kind);
    return s;
  }
  constexpr bool Contains(FieldKind kind) const { return (bits_ & Bit(kind)) != 0; }

 private:
  static constexpr std::uint64_t Bit(FieldKind k) {
    return std::uint64_t{1} << static_cast<int>(k);
  }
  std::uint64_t bits_ = 0;
};

// Columns rendered in result tables: every kind but varbinary, so binary SIDs stay out of
// tables. Wide character kinds (nchar, ntext, nvarchar(max), xml) are rendered: leaving them out
// would drop real data such as the physical file names of sp_helpfile.
inline constexpr FieldKindSet TableFieldKinds = FieldKindSet::All().Without(FieldKind::ftVarBytes);

// Columns rendered as tagged text lines: every kind.
inline constexpr FieldKindSet TextFieldKinds = FieldKindSet::All();

}  // namespace quorvane::data
