// Fuzzes the log parser and the hex reader: arbitrary bytes, split into lines as the file
// reader would (Windows-1251 text), and the same bytes as hex text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/BinUtils.h"
#include "core/CodePages.h"
#include "core/LogParser2.h"
#include "core/TextFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view raw(reinterpret_cast<const char*>(data), size);

  quillon::TBytes bytes = quillon::HexToBytes(raw);
  if (bytes.size() > size) __builtin_trap();  // never more bytes than characters
  quillon::TBytes prefix = quillon::HexToBytes(raw, 3);
  if (prefix != bytes.substr(0, prefix.size())) __builtin_trap();

  std::vector<std::string> lines;
  quillon::SplitTextLines(quillon::Cp1251ToUtf8(raw), lines);
  quillon::TCommandList list;
  std::vector<quillon::TParseDiagnostic> diagnostics;
  quillon::ParseLog(lines, list, &diagnostics);
  for (const auto& item : list) {
    (void)item->CommandName();
    (void)item->TimeStamp();
    (void)item->ThreadID();
    (void)item->HasError();
  }
  return 0;
}
