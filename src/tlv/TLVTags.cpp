#include "tlv/TLVTags.h"

#include <algorithm>
#include <charconv>
#include <stdexcept>

#include "core/BinUtils.h"
#include "core/CodePages.h"
#include "core/FormatSettings.h"
#include "core/Translate.h"
#include "tlv/FormatTLV.h"

namespace quillon {

namespace {

struct TTagRow {
  std::int32_t Tag;
  TTagValueType Type;
  std::int32_t Length;
  bool FixedLength;
  const char* ShortDescription;
  const char* Description;
};

constexpr TTagRow kTagTable[] = {
#include "tlv/TLVTagsTable.inc"
};

constexpr std::int32_t kTagCalcSign = 1054;
constexpr std::int32_t kTagTaxSystem = 1055;
constexpr std::int32_t kTagTaxSystems = 1062;
constexpr std::int32_t kTagFiscalSign = 1077;

template <typename T>
std::string IntToText(T value) {
  char buf[24];
  const auto res = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, res.ptr);
}

// Upper case of the Latin and Russian Cyrillic letters; other characters are kept.
char32_t UpperCase(char32_t cp) {
  if (cp >= U'a' && cp <= U'z') return cp - U'a' + U'A';
  if (cp >= 0x0430 && cp <= 0x044F) return cp - 0x20;  // а..я
  if (cp >= 0x0450 && cp <= 0x045F) return cp - 0x50;  // ѐ..џ, ё among them
  return cp;
}

void TrimRightControls(std::string& text) {
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= 32) text.pop_back();
}

}  // namespace

std::string GetCalcSignText(std::int32_t AValue) {
  switch (AValue) {
    case 1:
      return Tr("Приход");
    case 2:
      return Tr("Возврат прихода");
    case 3:
      return Tr("Расход");
    case 4:
      return Tr("Возврат расхода");
    default:
      return Tr("Неизв. тип: ") + IntToText(AValue);
  }
}

std::string GetTaxSystemsText(std::uint32_t AValue) {
  if (AValue == 0) return Tr("Нет");
  static constexpr const char* kParts[] = {N_("ОБЩ."),  N_("+УД"),  N_("+УДМР"),
                                           N_("+ЕНВД"), N_("+ЕСН"), N_("+ПСН")};
  std::string text;
  for (std::size_t bit = 0; bit < std::size(kParts); ++bit)
    if ((AValue >> bit) & 1u) text += Tr(kParts[bit]);
  return text;
}

// ---------------------------------------------------------------------------------------
// TTLVTag

TTLVTag::TTLVTag(TTLVTags* AOwner) {
  SetOwner(AOwner);
}

TTLVTag::~TTLVTag() {
  SetOwner(nullptr);
}

void TTLVTag::SetOwner(TTLVTags* AOwner) {
  if (AOwner == FOwner) return;
  if (FOwner != nullptr) FOwner->RemoveItem(this);
  if (AOwner != nullptr) AOwner->InsertItem(this);
}

std::string TTLVTag::GetDescription() const {
  if (FDescription.empty()) return {};
  std::string text = Tr(FDescription.c_str());
  std::size_t end = 0;
  const char32_t first = NextUtf8(text, end);
  const char32_t upper = UpperCase(first);
  if (upper != first) {
    std::string head;
    AppendUtf8(head, upper);
    text.replace(0, end, head);
  }
  return text;
}

std::string TTLVTag::GetStrValue(TBytesView AData) const {
  switch (FTagType) {
    case tvByte: {
      const std::uint64_t value = TFormatTLV::ValueTLV2Int(AData);
      if (FTag == kTagCalcSign)
        return GetCalcSignText(static_cast<std::int32_t>(static_cast<std::uint32_t>(value)));
      if (FTag == kTagTaxSystem || FTag == kTagTaxSystems)
        return GetTaxSystemsText(static_cast<std::uint32_t>(value));
      return IntToText(static_cast<std::int64_t>(value));
    }
    case tvUInt16:
    case tvUInt32:
      return IntToText(static_cast<std::uint32_t>(TFormatTLV::ValueTLV2Int(AData)));
    case tvVLN: {
      const double value = static_cast<double>(TFormatTLV::ValueTLV2VLN(AData)) / 100;
      char buf[48];
      const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 2);
      return std::string(buf, res.ptr);
    }
    case tvFVLN:
      return TFormatTLV::ValueTLV2FVLNstr(AData);
    case tvUnixTime:
      return FormatSettings().FormatDateTime(TFormatTLV::ValueTLV2UnixTime(AData));
    case tvString: {
      std::string text = TFormatTLV::ValueTLV2ASCII(AData);
      TrimRightControls(text);
      return text;
    }
    case tvBytes: {
      if (FTag == kTagFiscalSign) {
        // Bytes 3..6 hold the fiscal sign as a big-endian 32-bit number.
        TBytes sign(AData.substr(std::min<std::size_t>(2, AData.size()), 4));
        std::reverse(sign.begin(), sign.end());
        return IntToText(static_cast<std::uint32_t>(TFormatTLV::ValueTLV2Int(sign)));
      }
      return BytesToHex(AData);
    }
    default:  // tvBitMask, tvSTLV and unknown kinds
      return std::string();
  }
}

// ---------------------------------------------------------------------------------------
// TTLVTags

TTLVTags::TTLVTags() {
  FillTable();
}

TTLVTags::~TTLVTags() {
  Clear();
}

const TTLVTags& TTLVTags::Shared() {
  static const TTLVTags tags;
  return tags;
}

void TTLVTags::Clear() {
  while (Count() > 0) delete FList.front();
}

TTLVTag* TTLVTags::Add() {
  return new TTLVTag(this);
}

TTLVTag* TTLVTags::AddTag(std::int32_t ANumber, const std::string& ADescription,
                          const std::string& AShortDescription, std::uint32_t AType,
                          std::int32_t ALength, bool AFixedLength) {
  TTLVTag* item = Add();
  const std::int32_t oldNumber = item->FTag;
  item->FTag = ANumber;
  item->FLength = ALength;
  item->FDescription = ADescription;
  item->FShortDescription = AShortDescription;
  item->FFixedLength = AFixedLength;
  item->FTagType = AType;
  Reindex(oldNumber);
  Reindex(ANumber);
  return item;
}

const TTLVTag* TTLVTags::FindTag(std::int32_t ANumber) const {
  const auto it = FIndex.find(ANumber);
  return it == FIndex.end() ? nullptr : it->second;
}

TTLVTag* TTLVTags::FindTag(std::int32_t ANumber) {
  const auto it = FIndex.find(ANumber);
  return it == FIndex.end() ? nullptr : it->second;
}

TTLVTag* TTLVTags::Items(int Index) const {
  if (Index < 0 || Index >= Count()) throw std::out_of_range("TTLVTags: list index out of bounds");
  return FList[static_cast<std::size_t>(Index)];
}

void TTLVTags::FillTable() {
  FList.reserve(std::size(kTagTable));
  for (const TTagRow& row : kTagTable)
    AddTag(row.Tag, row.Description, row.ShortDescription, row.Type, row.Length, row.FixedLength);
}

void TTLVTags::InsertItem(TTLVTag* AItem) {
  FList.push_back(AItem);
  AItem->FOwner = this;
  // Appended last, so it becomes the indexed entry only if its number is new.
  FIndex.try_emplace(AItem->FTag, AItem);
}

void TTLVTags::RemoveItem(TTLVTag* AItem) {
  AItem->FOwner = nullptr;
  const auto it = std::find(FList.begin(), FList.end(), AItem);
  if (it != FList.end()) FList.erase(it);
  const auto indexed = FIndex.find(AItem->FTag);
  if (indexed != FIndex.end() && indexed->second == AItem) Reindex(AItem->FTag);
}

void TTLVTags::Reindex(std::int32_t ANumber) {
  const auto it = std::find_if(FList.begin(), FList.end(),
                               [ANumber](const TTLVTag* item) { return item->FTag == ANumber; });
  if (it == FList.end())
    FIndex.erase(ANumber);
  else
    FIndex[ANumber] = *it;
}

}  // namespace quillon
