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

// One level of records being walked: its whole buffer, the offset of the next record,
// and, while spans are asked for, where its records go and the offset of its first byte.
struct TLevel {
  TBytesView Data;
  std::size_t Pos = 0;
  TFieldSpans* Records = nullptr;
  std::size_t Base = 0;
};

TFieldSpan Part(const char* name, std::size_t offset, std::size_t length, bool complete) {
  TFieldSpan part;
  part.Name = name;
  part.Offset = offset;
  part.Length = length;
  part.Complete = complete;
  part.Kind = skPart;
  return part;
}

// The span of the record at p of a level of `size` bytes from `base`, with its header parts
// and an empty value part.
TFieldSpan RecordSpan(std::size_t base, std::size_t p, std::size_t size, std::uint64_t tag,
                      std::size_t length, std::size_t valueSize) {
  const std::size_t left = size - p;
  TFieldSpan record;
  record.Kind = skRecord;
  record.Offset = base + p;
  record.Length = std::min(kHeaderSize + length, left);
  record.Complete = kHeaderSize + length <= left;
  record.Children.reserve(3);
  TFieldSpan& tagPart = record.Children.emplace_back(
      Part("tag", base + p, std::min<std::size_t>(2, left), left >= 2));
  AppendNumber(tagPart.Value, tag);
  TFieldSpan& lengthPart = record.Children.emplace_back(
      Part("length", base + p + std::min<std::size_t>(2, left),
           left > 2 ? std::min<std::size_t>(2, left - 2) : 0, left >= kHeaderSize));
  AppendNumber(lengthPart.Value, length);
  record.Children.push_back(
      Part("value", base + p + std::min(kHeaderSize, left), valueSize, record.Complete));
  return record;
}

// The caption of the records of the tag in the language of the texts.
std::string_view Caption(const TTLVTag& entry) {
  const std::string& id = entry.ShortDescription();
  return id.empty() ? std::string_view() : std::string_view(Tr(id.c_str()));
}

}  // namespace

TTLVParser::TTLVParser() : TTLVParser(TTLVTags::Shared()) {}

TTLVParser::TTLVParser(const TTLVTags& ATags) : FList(ATags) {}

std::string TTLVParser::ParseTLV(TBytesView AData) {
  FIdent = 0;
  std::string out;
  DoParseTLV(AData, out, nullptr, 0);
  FIdent = 0;
  return out;
}

std::string TTLVParser::ParseTLV(TBytesView AData, TFieldSpans& ARecords, std::size_t AOffset) {
  FIdent = 0;
  std::string out;
  DoParseTLV(AData, out, &ARecords, AOffset);
  SettleCompleteness(ARecords);
  FIdent = 0;
  return out;
}

void TTLVParser::AppendIndent(std::string& AOut) const {
  const std::int64_t blanks = static_cast<std::int64_t>(FBaseIndent) + FIdent;
  if (blanks > 0) AOut.append(static_cast<std::size_t>(blanks), ' ');
}

void TTLVParser::DoParseTLV(TBytesView AData, std::string& AOut, TFieldSpans* ARecords,
                            std::size_t AOffset) {
  if (AData.size() < kHeaderSize) {
    AOut += kLengthError;
    return;
  }
  const int baseIdent = FIdent;
  std::vector<TLevel> levels;
  levels.push_back(TLevel{AData, 0, ARecords, AOffset});

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
    const std::size_t start = std::min(p + kHeaderSize, data.size());
    const TBytesView value = data.substr(start, length);

    // Only records of this level are added while it is the deepest, so the span stays put
    // until the level is left.
    TFieldSpan* record = nullptr;
    if (level.Records != nullptr) {
      record = &level.Records->emplace_back(RecordSpan(
          level.Base, p, data.size(), static_cast<std::uint64_t>(tag), length, value.size()));
    }
    const std::size_t valueBase = level.Base + start;

    AppendIndent(AOut);
    const std::size_t nameStart = AOut.size();
    if (FShowTagNumbers) {
      AppendNumber(AOut, static_cast<std::uint64_t>(tag));
      AOut += ',';
    }
    const auto name = [&] {
      if (record != nullptr) record->Name.assign(AOut, nameStart);
    };
    const auto setValue = [&](std::string_view text) {
      if (record == nullptr) return;
      record->Value = text;
      record->Children.back().Value = text;
    };

    const TTLVTag* entry = FList.FindTag(tag);
    if (entry == nullptr) {
      AOut += Tr("НЕИЗВЕСТНЫЙ ТЕГ");
      name();
      AOut += kLineEnd;
      continue;
    }
    // The declared length is checked against the whole buffer of the level, not against
    // what is left of it after this record's header.
    if (length > data.size() - kHeaderSize) {
      AOut += Caption(*entry);
      name();
      AOut += ':';
      const std::size_t valueStart = AOut.size();
      AOut += Tr("Ошибка! Некорректная длина");
      setValue(std::string_view(AOut).substr(valueStart));
      AOut += kLineEnd;
      levels.pop_back();
      continue;
    }

    AOut += Caption(*entry);
    name();

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
        TFieldSpans* nested = record != nullptr ? &record->Children.back().Children : nullptr;
        levels.push_back(TLevel{value, 0, nested, valueBase});
      }
      continue;
    }

    AOut += ':';
    const std::size_t valueStart = AOut.size();
    try {
      AOut += entry->GetStrValue(value);
    } catch (const EQuillonError& e) {
      // One damaged value does not cost the rest of the document: its message takes
      // the place of the value and the next record is decoded as usual.
      AOut += e.what();
    }
    setValue(std::string_view(AOut).substr(valueStart));
    AOut += kLineEnd;
  }
  FIdent = baseIdent;
}

}  // namespace quillon
