// Where the bytes of one decoded value lie in a command's request or answer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quillon {

// What a span stands for in the decoded text of its side of the command.
enum TSpanKind : std::uint8_t {
  skField,   // a "Name: Value" entry of the text
  skGroup,   // a composite field without a line of its own: its children are the entries
  skRecord,  // one TLV record: a line inside the value of the entry (or record) above it
  skPart,    // the tag, length or value bytes of a TLV record: no line of its own
};

struct TFieldSpan {
  std::string Name;
  std::string Value;
  // Into the bytes of the side as the log has them: the command code (and an answer's
  // result byte) included, so byte 0 is the first byte of TxData or AnswerData.
  std::size_t Offset = 0;
  // The bytes that were there; a field whose bytes ran past the end of the data has the
  // ones up to the end.
  std::size_t Length = 0;
  // False when a read went past the end of the data (those bytes read as zeros), or when
  // a TLV record says it is longer than what holds it; a parent is complete only with all
  // of its children.
  bool Complete = true;
  TSpanKind Kind = skField;
  std::vector<TFieldSpan> Children;
};

using TFieldSpans = std::vector<TFieldSpan>;

// Makes each span with an incomplete descendant incomplete too; answers whether all of
// `spans` are complete.
inline bool SettleCompleteness(TFieldSpans& spans) {
  bool all = true;
  for (TFieldSpan& span : spans) {
    if (!SettleCompleteness(span.Children)) span.Complete = false;
    all = all && span.Complete;
  }
  return all;
}

}  // namespace quillon
