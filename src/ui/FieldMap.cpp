#include "ui/FieldMap.h"

#include <string_view>

#include "parser/CommandDetails.h"
#include "parser/CommandParser.h"

namespace quillon {

namespace {

int LineCount(std::string_view text) {
  return static_cast<int>(DetailsLines(text).size());
}

// The lines of an entry's value, for the record lines among them.
struct TValueLines {
  std::vector<std::string_view> Lines;  // without their leading blanks
  int First = 0;                        // the details' line of Lines[0]
  std::size_t Next = 0;                 // the first line no record has taken yet
};

// A record's line: blanks, the name and, unless it is a structure or of an unknown tag,
// ':' and the value (whose first line it is when the value has several).
bool IsRecordLine(std::string_view line, const TFieldSpan& record) {
  if (!line.starts_with(record.Name)) return false;
  line.remove_prefix(record.Name.size());
  if (line.empty()) return record.Value.empty();
  return line.front() == ':' && line.substr(1) == DetailsLines(record.Value).front();
}

class TPlacesBuilder {
 public:
  TPlacesBuilder(std::vector<TFieldPlace>& places, TBytesSide side)
      : FPlaces(places), FSide(side) {}

  // `line` is the details' line of the next entry; `value` the lines of the entry whose
  // records these spans may be; `first` and `count` the lines of the span above.
  void Add(const TFieldSpans& spans, int depth, int& line, TValueLines* value, int first,
           int count) {
    for (const TFieldSpan& span : spans) Add(span, depth, line, value, first, count);
  }

 private:
  void Add(const TFieldSpan& span, int depth, int& line, TValueLines* value, int first, int count) {
    const std::size_t index = FPlaces.size();
    TFieldPlace& place = FPlaces.emplace_back();
    place.Side = FSide;
    place.Kind = span.Kind;
    place.Name = span.Name;
    place.Offset = span.Offset;
    place.Length = span.Length;
    place.Complete = span.Complete;
    place.Depth = depth;
    switch (span.Kind) {
      case skField: {
        // Name + ": " + Value + CR LF; the value's records are among its lines.
        const std::string head = span.Name + ": ";
        place.FirstLine = line;
        place.LineCount = LineCount(head + span.Value);
        TValueLines own;
        own.First = line + LineCount(head) - 1;
        for (std::string_view text : DetailsLines(span.Value)) {
          text.remove_prefix(std::min(text.find_first_not_of(' '), text.size()));
          own.Lines.push_back(text);
        }
        line += place.LineCount;
        Add(span.Children, depth + 1, line, &own, place.FirstLine, place.LineCount);
        return;
      }
      case skGroup: {
        const int start = line;
        Add(span.Children, depth + 1, line, value, -1, 0);
        if (line > start) {
          FPlaces[index].FirstLine = start;
          FPlaces[index].LineCount = line - start;
        }
        return;
      }
      case skRecord: {
        if (value != nullptr) {
          for (std::size_t k = value->Next; k < value->Lines.size(); ++k) {
            if (!IsRecordLine(value->Lines[k], span)) continue;
            place.FirstLine = value->First + static_cast<int>(k);
            place.LineCount = LineCount(span.Value);
            value->Next = k + static_cast<std::size_t>(place.LineCount);
            break;
          }
        }
        const int own = place.FirstLine;
        const int ownCount = place.LineCount;
        Add(span.Children, depth + 1, line, value, own, ownCount);
        return;
      }
      case skPart:
        place.FirstLine = first;
        place.LineCount = first >= 0 ? count : 0;
        Add(span.Children, depth + 1, line, value, first, count);
        return;
    }
  }

  std::vector<TFieldPlace>& FPlaces;
  TBytesSide FSide;
};

}  // namespace

TFieldMap::TFieldMap(const TCommandSpans& spans, const TDetailsLines& lines) {
  const std::pair<const TFieldSpans*, std::size_t> sides[kBytesSides] = {
      {&spans.Request, lines.Request},
      {&spans.Answer, lines.Answer},
      {&spans.PlayedAnswer, lines.PlayedAnswer}};
  for (int side = 0; side < kBytesSides; ++side) {
    int line = static_cast<int>(sides[side].second);
    TPlacesBuilder(FPlaces, static_cast<TBytesSide>(side))
        .Add(*sides[side].first, 0, line, nullptr, -1, 0);
  }
}

const TFieldPlace* TFieldMap::AtLine(int line) const {
  const TFieldPlace* found = nullptr;
  for (const TFieldPlace& place : FPlaces) {
    if (place.Kind != skField && place.Kind != skRecord) continue;
    if (!place.OnLine(line)) continue;
    if (found == nullptr || place.Depth > found->Depth) found = &place;
  }
  return found;
}

const TFieldPlace* TFieldMap::AtByte(TBytesSide side, std::size_t offset) const {
  const TFieldPlace* found = nullptr;
  for (const TFieldPlace& place : FPlaces) {
    if (place.Side != side || place.Kind == skPart || place.FirstLine < 0) continue;
    if (!place.Covers(offset)) continue;
    if (found == nullptr || place.Depth > found->Depth) found = &place;
  }
  return found;
}

std::vector<TByteMark> TFieldMap::Marks(TBytesSide side, std::size_t size) const {
  std::vector<TByteMark> marks(size, bmNoField);
  std::vector<int> depths(size, -1);
  for (const TFieldPlace& place : FPlaces) {
    if (place.Side != side || place.Kind == skPart) continue;
    for (std::size_t at = place.Offset; at < size && at - place.Offset < place.Length; ++at) {
      if (place.Depth <= depths[at]) continue;
      depths[at] = place.Depth;
      marks[at] = place.Complete ? bmField : bmIncomplete;
    }
  }
  return marks;
}

}  // namespace quillon
