// libFuzzer target: the TLV decoder must turn any bytes into text, never crash or throw.
#include <cstddef>
#include <cstdint>
#include <string>

#include "tlv/TLVParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static quillon::TTLVParser parser;
  // The first byte picks the options, so both layouts are covered.
  const bool numbers = size > 0 && (data[0] & 1) != 0;
  parser.SetShowTagNumbers(numbers);
  parser.SetBaseIndent(size > 0 ? data[0] >> 5 : 0);
  const std::string text = parser.ParseTLV(quillon::TBytesView(data, size));
  // The result must be well-formed enough to be measured.
  volatile std::size_t length = text.size();
  (void)length;
  return 0;
}
