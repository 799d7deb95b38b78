// A copy of a log with some commands' answers changed or some commands taken out, written
// back line for line.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "core/BinUtils.h"
#include "core/Errors.h"
#include "core/KorvanProtocol2.h"
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

  // Sets byte `index` (from 0) of command n's answer (n from 1) in its frame on its line.
  // Protocol 2 frames are decoded and encoded again (their bytes are stuffed); in the others
  // the answer stands as it is (the reader does not check an answer's check bytes).
  void SetAnswerByte(std::size_t n, std::size_t index, std::uint8_t value) {
    const TCommand& command = FCommands[n - 1];
    if (FEdited.count(n) == 0) FEdited[n] = {AnswerLine(n), command.AnswerData()};
    auto& [line, answer] = FEdited[n];
    ASSERT_NE(line, 0u) << "command " << n;
    ASSERT_LT(index * 3, answer.size());
    std::string& text = FLines[line - 1].Text;
    const std::size_t arrow = text.find(kAnswerMarker) + kAnswerMarker.size();
    if (command.Protocol() == pProtocol2) {
      const bool cr = !text.empty() && text.back() == '\r';
      TKorvanFrame2 frame;
      ASSERT_TRUE(TKorvanProtocol2::Decode(HexToBytes(FrameText(text)), frame));
      frame.Data[index] = value;
      text = text.substr(0, arrow) + BytesToHex(TKorvanProtocol2::Encode(frame)) + (cr ? "\r" : "");
    } else {
      const std::size_t at = text.find(answer, arrow);
      ASSERT_NE(at, std::string::npos);
      text.replace(at + index * 3, 2, IntToHex(value, 2));
    }
    answer.replace(index * 3, 2, IntToHex(value, 2));
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
  // The frame text after the answer marker, without the line end.
  static std::string_view FrameText(std::string_view line) {
    line.remove_prefix(line.find(kAnswerMarker) + kAnswerMarker.size());
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
    return line;
  }
  // The line (from 1) whose frame holds command n's whole answer; 0 when none does.
  std::size_t AnswerLine(std::size_t n) const {
    const TCommand& command = FCommands[n - 1];
    if (command.AnswerData().empty()) return 0;
    const std::size_t end = n < FCommands.Count()
                                ? static_cast<std::size_t>(FCommands[n].LineNumber())
                                : FLines.size() + 1;
    for (std::size_t line = command.LineNumber(); line < end; ++line) {
      const std::string& text = FLines[line - 1].Text;
      if (text.find(kAnswerMarker) == std::string::npos) continue;
      try {
        if (GetFrameData(FrameText(text), command.Protocol()) == command.AnswerData()) return line;
      } catch (const EQuillonError&) {
      }
    }
    return 0;
  }

  std::vector<TLine> FLines;
  // Command number -> its answer line and the answer as edited so far.
  std::map<std::size_t, std::pair<std::size_t, std::string>> FEdited;
  TCommandList FCommands;
};

// The first command of the code with a successful answer of at least `size` bytes, from
// `from` on (numbers from 1); 0 when none.
inline std::size_t FindAnswered(const TCommandList& commands, std::int32_t code, std::size_t size,
                                std::size_t from = 1) {
  for (std::size_t n = from; n <= commands.Count(); ++n) {
    const TCommand& command = commands[n - 1];
    if (command.Code() == code && command.ResCode() == 0 &&
        command.AnswerData().size() >= size * 3 - 1)
      return n;
  }
  return 0;
}

}  // namespace quillon::test
