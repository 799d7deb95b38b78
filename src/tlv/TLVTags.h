// The dictionary of fiscal data tags: for every tag number its caption, description,
// value kind and declared length, and the rendering of a value of that tag as text.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/Bytes.h"

namespace quillon {

// Value kinds of the dictionary entries (the codes stored in TTLVTag::TagType).
enum TTagValueType : std::uint32_t {
  tvByte = 0,
  tvUInt16 = 1,
  tvUInt32 = 2,
  tvVLN = 3,
  tvFVLN = 4,
  tvBitMask = 5,
  tvUnixTime = 6,
  tvString = 7,
  tvSTLV = 8,
  tvBytes = 9,
};

class TTLVTags;

// One dictionary entry. It is listed by at most one dictionary, its owner; an entry
// with an owner is destroyed by that owner (or by `delete`, which also takes it out of
// the owner's list), an entry without one belongs to whoever holds it. Entries that are
// given an owner must be made with `new`, since the owner deletes them.
class TTLVTag {
 public:
  // Appends the new entry to AOwner's list when AOwner is given.
  explicit TTLVTag(TTLVTags* AOwner = nullptr);
  ~TTLVTag();
  TTLVTag(const TTLVTag&) = delete;
  TTLVTag& operator=(const TTLVTag&) = delete;

  // Moves the entry: out of the current owner's list, to the end of the new owner's
  // list. Nothing happens when AOwner is already the owner.
  void SetOwner(TTLVTags* AOwner);
  TTLVTags* Owner() const { return FOwner; }

  std::int32_t Tag() const { return FTag; }
  std::uint32_t TagType() const { return FTagType; }
  std::int32_t Length() const { return FLength; }
  bool FixedLength() const { return FFixedLength; }
  // The caption of the records of this tag as the table has it, a catalogue id: the TLV
  // parser shows it through Tr().
  const std::string& ShortDescription() const { return FShortDescription; }
  // The description in the language of the texts, its first letter raised to upper case.
  std::string Description() const { return GetDescription(); }
  std::string GetDescription() const;

  // The text shown after the caption for a record of this tag holding AData.
  // Raises EQuillonError ("Неверная длина FVLN") for a malformed FVLN value.
  std::string GetStrValue(TBytesView AData) const;

 private:
  friend class TTLVTags;

  TTLVTags* FOwner = nullptr;
  std::int32_t FTag = 0;
  std::int32_t FLength = 0;
  std::string FDescription;
  std::uint32_t FTagType = tvByte;
  std::string FShortDescription;
  bool FFixedLength = false;
};

// The ordered list of entries, in registration order; it owns them.
class TTLVTags {
 public:
  // The full dictionary of every known fiscal tag, in registration order.
  TTLVTags();
  // A dictionary with no entries: TTLVTags tags{TTLVTags::TEmpty{}}.
  struct TEmpty {};
  explicit TTLVTags(TEmpty) {}
  ~TTLVTags();
  TTLVTags(const TTLVTags&) = delete;
  TTLVTags& operator=(const TTLVTags&) = delete;

  // The full dictionary, built on first use and shared by every parser. It is never
  // changed afterwards, so it may be read from any thread.
  static const TTLVTags& Shared();

  // Destroys every entry.
  void Clear();
  // A new entry owned by this dictionary, appended to its list.
  TTLVTag* Add();
  TTLVTag* AddTag(std::int32_t ANumber, const std::string& ADescription,
                  const std::string& AShortDescription, std::uint32_t AType, std::int32_t ALength,
                  bool AFixedLength);
  // The first entry in list order with this tag number, or nullptr.
  const TTLVTag* FindTag(std::int32_t ANumber) const;
  TTLVTag* FindTag(std::int32_t ANumber);

  // Entry at a 0-based position; std::out_of_range outside 0 .. Count() - 1.
  TTLVTag* Items(int Index) const;
  TTLVTag* GetItem(int Index) const { return Items(Index); }
  int Count() const { return static_cast<int>(FList.size()); }

 private:
  friend class TTLVTag;

  void FillTable();
  void InsertItem(TTLVTag* AItem);
  void RemoveItem(TTLVTag* AItem);
  // Points the index entry of ANumber at the first listed entry with that number.
  void Reindex(std::int32_t ANumber);

  std::vector<TTLVTag*> FList;
  // Tag number -> first entry with that number in FList; kept in step with FList.
  std::unordered_map<std::int32_t, TTLVTag*> FIndex;
};

// Texts of the calculation sign (tag 1054) and of a set of tax systems (1055, 1062).
std::string GetCalcSignText(std::int32_t AValue);
std::string GetTaxSystemsText(std::uint32_t AValue);

}  // namespace quillon
