// A copy of a log with some commands' answers changed or some commands taken out, written
// back line for line.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "core/BinUtils.h"
#include "core/LogLoader.h"
#include "core/LogParser2.h"

namespace quillon::test {

class TLogEdit {
 public:
  explicit TLogEdit(const std::string& fileName) {
    std::ifstream in(fileName, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) FLines.push_back({line, false});
    const TLogLoadResult loaded = LoadLog(TLogSource::File(fileName), FCommands);
    EXPECT_TRUE(loaded.ReadError.empty()) << loaded.ReadError;
  }
  const TCommandList& Commands() const { return FCommands; }

  // Sets byte `index` (from 0) of command n's answer (n from 1), where it stands on its line.
  void SetAnswerByte(std::size_t n, std::size_t index, std::uint8_t value) {
    const TCommand& command = FCommands[n - 1];
    const std::size_t line = AnswerLine(n);
    ASSERT_NE(line, 0u) << "command " << n;
    std::string& text = FLines[line - 1].Text;
    const std::size_t at = text.find(command.AnswerData(), text.find(kAnswerMarker));
    ASSERT_LT(index * 3 + 2, command.AnswerData().size() + 1);
    text.replace(at + index * 3, 2, IntToHex(value, 2));
  }
  // Takes out command n's lines: its request up to its answer.
  void Remove(std::size_t n) {
    const std::size_t last = AnswerLine(n);
    ASSERT_NE(last, 0u) << "command " << n;
    for (std::size_t line = FCommands[n - 1].LineNumber(); line <= last; ++line)
      FLines[line - 1].Removed = true;
  }
  void Save(const std::string& fileName) const {
    std::ofstream out(fileName, std::ios::binary);
    for (const TLine& line : FLines)
      if (!line.Removed) out << line.Text << '\n';
  }

 private:
  struct TLine {
    std::string Text;
    bool Removed;
  };
  // The line (from 1) that holds command n's whole answer as it was read; 0 when none does.
  std::size_t AnswerLine(std::size_t n) const {
    const TCommand& command = FCommands[n - 1];
    if (command.AnswerData().empty()) return 0;
    const std::size_t end = n < FCommands.Count()
                                ? static_cast<std::size_t>(FCommands[n].LineNumber())
                                : FLines.size() + 1;
    for (std::size_t line = command.LineNumber(); line < end; ++line) {
      const std::string& text = FLines[line - 1].Text;
      const std::size_t arrow = text.find(kAnswerMarker);
      if (arrow != std::string::npos && text.find(command.AnswerData(), arrow) != std::string::npos)
        return line;
    }
    return 0;
  }

  std::vector<TLine> FLines;
  TCommandList FCommands;
};

}  // namespace quillon::test
