#include "tlv/TLVParser.h"

#include <algorithm>
#include <charconv>
#include <vector>

#include "core/Errors.h"
#include "core/Translate.h"
#include "tlv/FormatTLV.h"

namespace quillon {

namespace {

constexpr const char* kLineEnd = "\r\n";
constexpr const char* kLengthError = "TLV length error";
constexpr std::size_t kHeaderSize = 4;

void AppendNumber(std::string& out, std::uint64_t value) {
  char buf[24];
  const auto res = std::to_chars(buf, buf + sizeof buf, value);
  out.append(buf, res.ptr);
}

// One level of records being walked: its whole buffer and the offset of the next record.
struct TLevel {
  TBytesView Data;
  std::size_t Pos = 0;
};

}  // namespace

TTLVParser::TTLVParser() : TTLVParser(TTLVTags::Shared()) {}

TTLVParser::TTLVParser(const TTLVTags& ATags) : FList(ATags) {}

std::string TTLVParser::ParseTLV(TBytesView AData) {
  FIdent = 0;
  std::string out;
  DoParseTLV(AData, out);
  FIdent = 0;
  return out;
}

void TTLVParser::AppendIndent(std::string& AOut) const {
  const std::int64_t blanks = static_cast<std::int64_t>(FBaseIndent) + FIdent;
  if (blanks > 0) AOut.append(static_cast<std::size_t>(blanks), ' ');
}

void TTLVParser::DoParseTLV(TBytesView AData, std::string& AOut) {
  if (AData.size() < kHeaderSize) {
    AOut += kLengthError;
    return;
  }
  const int baseIdent = FIdent;
  std::vector<TLevel> levels;
  levels.push_back(TLevel{AData, 0});

  while (!levels.empty()) {
    TLevel& level = levels.back();
    FIdent = baseIdent + static_cast<int>(levels.size()) - 1;
    const TBytesView data = level.Data;
    const std::size_t p = level.Pos;
    if (p >= data.size()) {
      levels.pop_back();
      continue;
    }

    // Near the end of the data the header may be cut short; what is there makes the numbers.
    const auto tag = static_cast<std::int32_t>(TFormatTLV::ValueTLV2Int(data.substr(p, 2)));
    const std::size_t length =
        p + 2 < data.size() ? TFormatTLV::ValueTLV2Int(data.substr(p + 2, 2)) : 0;
    // Advance before anything is pushed: pushing may move the level.
    level.Pos = p + kHeaderSize + length;

    AppendIndent(AOut);
    if (FShowTagNumbers) {
      AppendNumber(AOut, static_cast<std::uint64_t>(tag));
      AOut += ',';
    }

    const TTLVTag* entry = FList.FindTag(tag);
    if (entry == nullptr) {
      AOut += Tr("НЕИЗВЕСТНЫЙ ТЕГ");
      AOut += kLineEnd;
      continue;
    }
    // The declared length is checked against the whole buffer of the level, not against
    // what is left of it after this record's header.
    if (length > data.size() - kHeaderSize) {
      AOut += entry->ShortDescription();
      AOut += ':';
      AOut += Tr("Ошибка! Некорректная длина");
      AOut += kLineEnd;
      levels.pop_back();
      continue;
    }

    const std::size_t start = std::min(p + kHeaderSize, data.size());
    const TBytesView value = data.substr(start, length);
    AOut += entry->ShortDescription();

    if (entry->TagType() == tvSTLV) {
      AOut += kLineEnd;
      ++FIdent;
      if (FIdent > kMaxNesting) {
        AppendIndent(AOut);
        AOut += Tr("Превышена допустимая глубина вложенности TLV, запись пропущена");
        AOut += kLineEnd;
      } else if (value.size() < kHeaderSize) {
        AOut += kLengthError;
      } else {
        levels.push_back(TLevel{value, 0});
      }
      continue;
    }

    AOut += ':';
    try {
      AOut += entry->GetStrValue(value);
    } catch (const EQuillonError& e) {
      // One damaged value does not cost the rest of the document: its message takes
      // the place of the value and the next record is decoded as usual.
      AOut += e.what();
    }
    AOut += kLineEnd;
  }
  FIdent = baseIdent;
}

}  // namespace quillon
