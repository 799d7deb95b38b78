// Which decoded value the details pane shows on each line and which bytes of the command it
// came from: the link between a line of the details and the bytes of the bytes pane. Holds
// no widgets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/FieldSpan.h"

namespace quillon {

struct TCommandSpans;
struct TDetailsLines;

// The bytes of a command the details decode: the request, the logged and the played answer.
enum TBytesSide : std::uint8_t { bsRequest, bsAnswer, bsPlayedAnswer };
inline constexpr int kBytesSides = 3;

// One decoded value (a span): its bytes and the lines of the details that show it.
struct TFieldPlace {
  TBytesSide Side = bsRequest;
  TSpanKind Kind = skField;
  std::string Name;
  std::size_t Offset = 0;
  std::size_t Length = 0;
  bool Complete = true;
  int Depth = 0;  // 0 for a field of the layout
  // The lines (from 0) of the details: an entry's lines, a record's own lines, a group's the
  // lines of its entries, a record part its record's. -1 when no line shows it.
  int FirstLine = -1;
  int LineCount = 0;

  bool Covers(std::size_t offset) const { return offset >= Offset && offset - Offset < Length; }
  bool OnLine(int line) const {
    return FirstLine >= 0 && line >= FirstLine && line - FirstLine < LineCount;
  }
};

// How the bytes pane marks a byte.
enum TByteMark : std::uint8_t {
  bmField,       // a value was decoded from it
  bmNoField,     // no field covers it (the command code, an answer's result byte, the rest)
  bmIncomplete,  // its value ran past the end of the data
};

class TFieldMap {
 public:
  TFieldMap() = default;
  // The spans and lines of one FormatCommandDetails call.
  TFieldMap(const TCommandSpans& spans, const TDetailsLines& lines);

  // Every span, side by side, each in pre-order.
  const std::vector<TFieldPlace>& Places() const { return FPlaces; }
  bool Empty() const { return FPlaces.empty(); }

  // The innermost entry or record shown on a line of the details; nullptr when the line
  // shows no value (a heading, an attribute line).
  const TFieldPlace* AtLine(int line) const;
  // The innermost value over a byte that a line shows (a record for its tag and length, a
  // composite field for the bytes none of its entries has); nullptr when none covers it.
  const TFieldPlace* AtByte(TBytesSide side, std::size_t offset) const;
  // The marks of the first `size` bytes of a side: by the innermost value over each byte,
  // a record's parts standing for their record.
  std::vector<TByteMark> Marks(TBytesSide side, std::size_t size) const;

 private:
  std::vector<TFieldPlace> FPlaces;
};

}  // namespace quillon
