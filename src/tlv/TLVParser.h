// Turns a list of fiscal TLV records into indented, human-readable lines: one line per
// record, structured records followed by their own records one blank further in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/Bytes.h"
#include "core/FieldSpan.h"
#include "tlv/TLVTags.h"

namespace quillon {

// Wire format of a record, all numbers little-endian: tag (2 bytes), value length L
// (2 bytes), L bytes of value. Records follow each other without gaps.
class TTLVParser {
 public:
  // Deepest nesting level that is still decoded; the records of a structure that would
  // open a deeper level are replaced by one line saying so.
  static constexpr int kMaxNesting = 32;

  // Uses the shared dictionary of all known tags.
  TTLVParser();
  // Uses the given dictionary, which must outlive the parser.
  explicit TTLVParser(const TTLVTags& ATags);

  // The text of the records in AData; every line ends in CR LF. Input that cannot hold
  // a record gives "TLV length error". Damaged records are reported in their own line;
  // the rest of the data is still decoded.
  std::string ParseTLV(TBytesView AData);
  // The same text, and a span (skRecord) for each record in ARecords, in the order of their
  // lines: Name is the line's text after its blanks up to the ':' before the value (the
  // whole of it for a structure or an unknown tag), Value the text after it (empty for
  // those two). Its children are the parts "tag", "length" and "value" (skPart, their
  // numbers or the record's value text); the value part of a structure holds its records.
  // Offsets count from AOffset at the first byte of AData.
  std::string ParseTLV(TBytesView AData, TFieldSpans& ARecords, std::size_t AOffset = 0);

  bool ShowTagNumbers() const { return FShowTagNumbers; }
  void SetShowTagNumbers(bool AValue) { FShowTagNumbers = AValue; }
  int BaseIndent() const { return FBaseIndent; }
  void SetBaseIndent(int AValue) { FBaseIndent = AValue; }

 private:
  // Decodes AData as a level at nesting depth FIdent, appending to AOut. Works with an
  // explicit stack of levels, so hostile nesting cannot exhaust the call stack.
  void DoParseTLV(TBytesView AData, std::string& AOut, TFieldSpans* ARecords, std::size_t AOffset);
  // FBaseIndent + FIdent blanks.
  void AppendIndent(std::string& AOut) const;

  const TTLVTags& FList;
  int FIdent = 0;
  bool FShowTagNumbers = false;
  int FBaseIndent = 0;
};

}  // namespace quillon
