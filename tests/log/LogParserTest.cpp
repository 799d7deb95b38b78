#include <gtest/gtest.h>

#include <optional>
#include <random>

#include "core/BinUtils.h"
#include "core/CommandCode.h"
#include "core/DateUtils.h"
#include "core/Errors.h"
#include "core/KorvanProtocol1.h"
#include "core/KorvanProtocol2.h"
#include "core/KorvanProtocol3.h"
#include "core/LogParser2.h"

namespace quillon {
namespace {

const std::string kHead = "[31.12.2024 10:15:00.123] [00001234] ";
const std::string kP1 = kHead + "[DEBUG] TPrinterProtocol -> ";
const std::string kP2 = kHead + "[DEBUG] TPrinterProtocol2 -> ";
const std::string kP3 = kHead + "[DEBUG] TPrinterProtocol3 -> ";
const std::string kAns = kHead + "[DEBUG] TPrinterProtocol <- ";

std::string Frame1(const char* payloadHex) {
  return BytesToHex(TKorvanProtocol1::Encode(HexToBytes(payloadHex)));
}
std::string Frame2(const char* payloadHex, int number = 1) {
  TKorvanFrame2 f;
  f.Data = HexToBytes(payloadHex);
  f.Number = number;
  return BytesToHex(TKorvanProtocol2::Encode(f));
}
std::string Frame3(const char* payloadHex, int number = 1) {
  TKorvanFrame3 f;
  f.Data = HexToBytes(payloadHex);
  f.Number = number;
  return BytesToHex(TKorvanProtocol3::Encode(f));
}

struct TParsed {
  TCommandList List;
  std::vector<TParseDiagnostic> Diagnostics;
};

TParsed Parse(const std::vector<std::string>& lines) {
  TParsed p;
  ParseLog(lines, p.List, &p.Diagnostics);
  return p;
}

TEST(FrameText, MarkersInOrder) {
  TProtocol p = pNone;
  EXPECT_EQ(FindFrameText(kP1 + "02 00 00", p), "02 00 00");
  EXPECT_EQ(p, pProtocol1);
  EXPECT_EQ(FindFrameText(kP2 + "8F  ", p), "8F  ");  // not trimmed
  EXPECT_EQ(p, pProtocol2);
  EXPECT_EQ(FindFrameText(kP3 + "82", p), "82");
  EXPECT_EQ(p, pProtocol3);
  EXPECT_EQ(FindFrameText("[x] [D] -> 05", p), "05");
  EXPECT_EQ(p, pProtocolNg1Plain);
  bool found = true;
  EXPECT_EQ(FindFrameText("no marker here <- 06", p, &found), "");
  EXPECT_FALSE(found);
  EXPECT_EQ(p, pProtocolNg1Plain);  // unchanged
  // Protocol 1's marker wins even when protocol 2's stands first on the line.
  EXPECT_EQ(FindFrameText("[DEBUG] TPrinterProtocol2 -> 8F [DEBUG] TPrinterProtocol -> 02", p),
            "02");
  EXPECT_EQ(p, pProtocol1);
  EXPECT_EQ(FindFrameText("[DEBUG] TPrinterProtocol2 -> ", p, &found), "");
  EXPECT_TRUE(found);
  EXPECT_EQ(p, pProtocol2);
}

TEST(FrameText, DataCutPerProtocol) {
  EXPECT_EQ(GetFrameData(Frame1("11 1E 00 00 00"), pProtocol1), "11 1E 00 00 00");
  EXPECT_EQ(GetFrameData(Frame2("11 8F 9F"), pProtocol2), "11 8F 9F");
  EXPECT_EQ(GetFrameData(Frame2(""), pProtocol2), "");
  EXPECT_EQ(GetFrameData(Frame3("FF 01 1E"), pProtocol3), "FF 01 1E");
  EXPECT_EQ(GetFrameData("02 00", pProtocol1), "");
  EXPECT_EQ(GetFrameData("anything", pProtocolNg1Plain), "anything");
  EXPECT_THROW(GetFrameData("8F 05 9F 00 01", pProtocol2), EQuillonError);
  EXPECT_TRUE(IsFrameComplete(Frame1("11"), pProtocol1));
  EXPECT_FALSE(IsFrameComplete(Frame1("11"), pProtocolNg1Plain));
  EXPECT_FALSE(IsFrameComplete("02 05 01 02", pProtocol1));
}

TEST(LogParser, CommandsOfAllThreeProtocols) {
  TParsed p = Parse({
      "junk line",
      kP1 + Frame1("11 1E 00 00 00"),
      kAns + "06",
      kAns + Frame1("11 00 01 02"),
      kP1 + "06",  // the host's acknowledgement hands the answer over under protocol 1
      kAns + "15",
      kP2 + Frame2("FF 01 1E 00 00 00"),
      kAns + Frame2("FF 01 00 9F 8F"),
      kP2 + "05",
      kAns + "15",
      kP3 + Frame3("10 1E 00 00 00"),
      kAns + "06",
      kAns + Frame3("10 50"),
  });
  ASSERT_EQ(p.List.Count(), 3u);
  EXPECT_EQ(p.List[0].TxData(), "11 1E 00 00 00");
  EXPECT_EQ(p.List[0].AnswerData(), "11 00 01 02");
  EXPECT_EQ(p.List[0].Protocol(), pProtocol1);
  EXPECT_EQ(p.List[0].LineNumber(), 2);
  EXPECT_EQ(p.List[0].Attributes(), "[31.12.2024 10:15:00.123] [00001234]");
  EXPECT_EQ(p.List[1].Code(), 0xFF01);
  EXPECT_EQ(p.List[1].AnswerData(), "FF 01 00 9F 8F");
  EXPECT_EQ(p.List[2].Code(), 0x10);
  EXPECT_EQ(p.List[2].LineNumber(), 11);
  EXPECT_EQ(p.List[2].ResCode(), 0x50);  // last answer, attached at the end
  EXPECT_TRUE(p.List[2].HasError());
  EXPECT_TRUE(p.Diagnostics.empty());
}

TEST(LogParser, NothingToFind) {
  EXPECT_EQ(Parse({}).List.Count(), 0u);
  EXPECT_EQ(Parse({"", "plain text", "[INFO] something"}).List.Count(), 0u);
  // An answer before any command goes nowhere.
  EXPECT_EQ(Parse({kAns + "11 00", kAns + "06"}).List.Count(), 0u);
}

TEST(LogParser, FrameOverTwoLines) {
  std::string frame = Frame1("11 1E 00 00 00");
  TParsed p =
      Parse({"first", kP1 + frame.substr(0, 9) + " \t", "[other] " + kP1 + frame.substr(9)});
  ASSERT_EQ(p.List.Count(), 1u);
  EXPECT_EQ(p.List[0].LineNumber(), 2);
  EXPECT_EQ(p.List[0].Attributes(), kHead.substr(0, 36));
  EXPECT_EQ(p.List[0].TxData(), "11 1E 00 00 00");

  // An answer line between the two parts drops the first; the second starts afresh.
  TParsed broken = Parse({kP1 + frame.substr(0, 9), kAns + "15", kP1 + frame.substr(9)});
  EXPECT_EQ(broken.List.Count(), 0u);
  TParsed restart = Parse({kP1 + frame.substr(0, 9), kAns + "15", "[x] " + kP1 + frame});
  ASSERT_EQ(restart.List.Count(), 1u);
  EXPECT_EQ(restart.List[0].LineNumber(), 3);
}

TEST(LogParser, AcknowledgementsAndShortAnswers) {
  // Protocol 1: a lone 06 is no answer; the frame after it is.
  TParsed p1 = Parse({kP1 + Frame1("11"), kAns + "06", kAns + Frame1("11 00 05"), kP1 + "05"});
  ASSERT_EQ(p1.List.Count(), 1u);
  EXPECT_EQ(p1.List[0].AnswerData(), "11 00 05");

  // Protocol 2: 06 stays pending and is too short to attach before the next request...
  TParsed p2 = Parse({kP2 + Frame2("11"), kAns + "06", kP2 + Frame2("10")});
  ASSERT_EQ(p2.List.Count(), 2u);
  EXPECT_EQ(p2.List[0].AnswerData(), "");
  // ...but the last answer of the log is attached whatever its length.
  TParsed last = Parse({kP2 + Frame2("11"), kAns + "06"});
  ASSERT_EQ(last.List.Count(), 1u);
  EXPECT_EQ(last.List[0].AnswerData(), "");  // one byte: the protocol 2 cut leaves nothing
  EXPECT_TRUE(last.List[0].HasError());
  TParsed tiny = Parse({kP1 + Frame1("11"), kAns + "15"});
  EXPECT_EQ(tiny.List[0].AnswerData(), "");  // protocol 1 cut of a two-character text
}

TEST(LogParser, AnswerBelongsToTheLastCompletedCommand) {
  TParsed p = Parse({kP2 + Frame2("11"), kP2 + Frame2("10"), kAns + Frame2("10 00"),
                     kP2 + Frame2("FC"), kAns + Frame2("FC 00 01"), kAns + Frame2("FC 00 02")});
  ASSERT_EQ(p.List.Count(), 3u);
  EXPECT_EQ(p.List[0].AnswerData(), "");
  EXPECT_EQ(p.List[1].AnswerData(), "10 00");
  // Two answer lines are one answer text.
  EXPECT_EQ(p.List[2].AnswerData(),
            GetFrameData(Frame2("FC 00 01") + " " + Frame2("FC 00 02"), pProtocol2));
}

TEST(LogParser, ShortMarkerLinesNeverMakeCommands) {
  // A [D] line flushes a pending answer with its text unchanged and keeps a later 06.
  TParsed p = Parse({kP2 + Frame2("11"), kAns + "AA BB CC", "[t] [D] -> 05", kAns + "06"});
  ASSERT_EQ(p.List.Count(), 1u);
  EXPECT_EQ(p.List[0].AnswerData(), "06");
  TParsed q = Parse({kP2 + Frame2("11"), kAns + "AA BB CC", "[t] [D] -> 05", kP2 + "05"});
  ASSERT_EQ(q.List.Count(), 1u);
  EXPECT_EQ(q.List[0].AnswerData(), "AA BB CC");
  EXPECT_EQ(q.List[0].ResCode(), 0xBB);
}

TEST(LogParser, SyncFrameAndAnIncompletePieceBeforeAFrame) {
  TParsed p = Parse({kP2 + Frame2("")});
  ASSERT_EQ(p.List.Count(), 1u);
  EXPECT_EQ(p.List[0].TxData(), "");
  EXPECT_EQ(p.List[0].Code(), 0);
  EXPECT_EQ(p.List[0].CommandName(), "Sync");
  // A control byte stays in the frame text and spoils the frame that follows it.
  EXPECT_EQ(Parse({kP1 + "06", kP1 + Frame1("11")}).List.Count(), 0u);
}

TEST(LogParser, DamagedProtocol2FramesAreSkippedAndReported) {
  TParsed p = Parse({
      kP2 + Frame2("11"),
      kAns + Frame2("11 00 01"),
      kP2 + "8F 07 00 01 00 9F 00 1E 00 00 00 12 34",  // bad escape in a request
      kAns + "8F 04 00 9F 05 11 00",                   // bad escape in an answer
      kP2 + Frame2("10"),
      kAns + Frame2("10 00"),
  });
  ASSERT_EQ(p.List.Count(), 2u);
  EXPECT_EQ(p.List[0].AnswerData(), "11 00 01");
  EXPECT_EQ(p.List[1].TxData(), "10");
  EXPECT_EQ(p.List[1].AnswerData(), "10 00");
  // The bad answer goes to the last command there is, the first one, which keeps its own.
  ASSERT_EQ(p.Diagnostics.size(), 2u);
  EXPECT_EQ(p.Diagnostics[0].LineNumber, 3);
  EXPECT_EQ(p.Diagnostics[0].Message, "Некорректный формат пакета");
  EXPECT_EQ(p.Diagnostics[1].LineNumber, 4);

  TParsed a = Parse({kP2 + Frame2("11"), kAns + Frame2("11 00 01"), kP2 + Frame2("10"),
                     kAns + "8F 04 00 9F 05 11 00"});
  ASSERT_EQ(a.List.Count(), 2u);
  EXPECT_EQ(a.List[0].AnswerData(), "11 00 01");
  EXPECT_EQ(a.List[1].AnswerData(), "");  // not attached: keeps what it had
  ASSERT_EQ(a.Diagnostics.size(), 1u);
  EXPECT_EQ(a.Diagnostics[0].LineNumber, 4);
}

// A line of the log at a time stamp ("dd.mm.yyyy hh:mm:ss.zzz" or anything else).
std::string At(const std::string& stamp, std::string_view marker, const std::string& text) {
  return "[" + stamp + "] [00001234] " + std::string(marker) + text;
}

TEST(LogParser, ResponseTimeIsTheLastAnswerLineLessTheFirstRequestLine) {
  const std::string_view m1 = kProtocol1Marker, m2 = kProtocol2Marker, m3 = kProtocol3Marker;
  const std::string_view a1 = "[DEBUG] TPrinterProtocol <- ";
  const std::string_view a2 = "[DEBUG] TPrinterProtocol2 <- ";
  const std::string_view a3 = "[DEBUG] TPrinterProtocol3 <- ";
  const std::string d = "31.12.2024 10:15:";
  const std::string answer = Frame2("FC 00 01 02 03 04");
  const std::string request = Frame2("FC");
  struct TWant {
    const char* AnswerTime;          // "" for none
    std::optional<std::int64_t> Ms;  // the response time
  };
  struct TCase {
    const char* Name;
    std::vector<std::string> Lines;
    std::vector<TWant> Want;  // per command
  };
  const TCase kCases[] = {
      {"one answer line",
       {At(d + "00.100", m2, request), At(d + "00.145", a2, answer)},
       {{"31.12.2024 10:15:00.145", 45}}},
      {"an answer over three lines takes the last one's stamp",
       {At(d + "00.100", m2, request), At(d + "00.120", a2, answer.substr(0, 6)),
        At(d + "00.130", a2, answer.substr(6, 9)), At(d + "00.175", a2, answer.substr(15)),
        At(d + "00.190", m2, Frame2("11"))},
       {{"31.12.2024 10:15:00.175", 75}, {"", std::nullopt}}},
      {"a request over two lines counts from its first",
       {At(d + "00.100", m2, request.substr(0, 6)), At(d + "00.110", m2, request.substr(6)),
        At(d + "00.130", a2, answer)},
       {{"31.12.2024 10:15:00.130", 30}}},
      {"protocol 1: the ACK before the answer is not it",
       {At(d + "00.000", m1, Frame1("11 1E 00 00 00")), At(d + "00.010", a1, "06"),
        At(d + "00.060", a1, Frame1("11 00 01 02")), At(d + "00.070", m1, "06")},
       {{"31.12.2024 10:15:00.060", 60}}},
      {"protocol 3: the ACK before the answer is not it, the last answer attached at the end",
       {At(d + "00.000", m3, Frame3("10 1E 00 00 00")), At(d + "00.005", a3, "06"),
        At(d + "00.042", a3, Frame3("10 00"))},
       {{"31.12.2024 10:15:00.042", 42}}},
      {"protocol 1: an ACK alone is no answer",
       {At(d + "00.000", m1, Frame1("11")), At(d + "00.010", a1, "06"),
        At(d + "00.020", m1, Frame1("10")), At(d + "00.030", a1, "06"),
        At(d + "00.050", a1, Frame1("10 00"))},
       {{"", std::nullopt}, {"31.12.2024 10:15:00.050", 30}}},
      {"a request without answer before the next",
       {At(d + "00.100", m2, request), At(d + "00.200", m2, request), At(d + "00.201", a2, answer)},
       {{"", std::nullopt}, {"31.12.2024 10:15:00.201", 1}}},
      {"an unreadable answer stamp",
       {At(d + "00.100", m2, request), At("31.12.2024 25:15:00.145", a2, answer)},
       {{"", std::nullopt}}},
      {"an unreadable stamp on the answer's last line",
       {At(d + "00.100", m2, request), At(d + "00.120", a2, answer.substr(0, 6)),
        At("вчера в обед", a2, answer.substr(6))},
       {{"", std::nullopt}}},
      {"an unreadable request stamp",
       {At("31.12.2024 10:15:00.1x0", m2, request), At(d + "00.145", a2, answer)},
       {{"31.12.2024 10:15:00.145", std::nullopt}}},
      {"a damaged answer is not attached",
       {At(d + "00.100", m2, request), At(d + "00.145", a2, "8F 04 00 9F 05 11 00")},
       {{"", std::nullopt}}},
      {"stamps without milliseconds",
       {At("31.12.2024 10:15:00", m2, request), At("31.12.2024 10:15:02", a2, answer)},
       {{"31.12.2024 10:15:02.000", 2000}}},
      {"over midnight into a new year",
       {At("31.12.2024 23:59:59.990", m2, request), At("01.01.2025 00:00:00.015", a2, answer)},
       {{"01.01.2025 00:00:00.015", 25}}},
      {"a clock set back gives a negative time",
       {At(d + "00.100", m2, request), At(d + "00.095", a2, answer)},
       {{"31.12.2024 10:15:00.095", -5}}},
  };
  for (const TCase& c : kCases) {
    SCOPED_TRACE(c.Name);
    TParsed p = Parse(c.Lines);
    ASSERT_EQ(p.List.Count(), c.Want.size());
    for (std::size_t i = 0; i < c.Want.size(); ++i) {
      std::string answerTime;
      if (std::optional<std::int64_t> ms = p.List[i].AnswerTimeMs())
        AppendLogTimeStamp(answerTime, *ms);
      EXPECT_EQ(answerTime, c.Want[i].AnswerTime) << "command " << i;
      EXPECT_EQ(p.List[i].ResponseMs(), c.Want[i].Ms) << "command " << i;
    }
  }
}

// The parser keeps frame bytes, de-stuffed body and CRC up to date as a frame grows. This
// reference does what the steps say literally, converting the whole text after each line.
class TReferenceParser {
 public:
  std::vector<TCommandRec> Commands;
  std::vector<TParseDiagnostic> Diagnostics;

  void Run(const std::vector<std::string>& lines) {
    std::string frame, answer, first;
    std::int64_t firstNo = 0, answerNo = 0, no = 0;
    TProtocol protocol = pNone;
    auto attach = [&] {
      if (Commands.empty()) return;
      try {
        std::string data = GetFrameData(answer, protocol);
        Commands.back().ResCode = TCommand::GetResCode(data);
        Commands.back().AnswerData = data;
      } catch (const EQuillonError& e) {
        Diagnostics.push_back({answerNo, e.what()});
      }
    };
    for (const std::string& line : lines) {
      ++no;
      std::string piece(FindFrameText(line, protocol));
      if (!piece.empty()) {
        if (frame.empty()) {
          first = line;
          firstNo = no;
          frame = piece;
        } else {
          while (!frame.empty() && static_cast<unsigned char>(frame.back()) <= 0x20)
            frame.pop_back();
          frame += " " + piece;
        }
        if (answer.size() > 2) attach();
        try {
          if (IsFrameComplete(frame, protocol)) {
            TCommandRec rec;
            rec.Protocol = protocol;
            rec.LineNumber = static_cast<std::int32_t>(firstNo);
            rec.TxData = GetFrameData(frame, protocol);
            rec.Code = TCommand::GetCode(rec.TxData);
            rec.Attributes = first.substr(0, 36);
            Commands.push_back(rec);
            frame.clear();
          }
        } catch (const EQuillonError& e) {
          Diagnostics.push_back({firstNo, e.what()});
          frame.clear();
        }
        answer.clear();
      }
      auto arrow = line.find("<- ");
      if (arrow != std::string::npos) {
        frame.clear();
        std::string_view rest = std::string_view(line).substr(arrow + 3);
        while (!rest.empty() && static_cast<unsigned char>(rest.front()) <= 0x20)
          rest.remove_prefix(1);
        while (!rest.empty() && static_cast<unsigned char>(rest.back()) <= 0x20)
          rest.remove_suffix(1);
        if (answer.empty())
          answerNo = no;
        else
          answer += ' ';
        answer += rest;
        if (answer == "06" && (protocol == pProtocol1 || protocol == pProtocol3)) answer.clear();
      }
    }
    if (!answer.empty()) attach();
  }
};

// Random logs made of frames, frame pieces, control bytes, odd spacing and damaged escapes.
std::vector<std::string> RandomLog(std::mt19937& rng, int lines) {
  auto pick = [&](int n) { return static_cast<int>(rng() % n); };
  auto payload = [&] {
    TBytes b;
    int n = pick(6);
    for (int i = 0; i < n; ++i) {
      static const std::uint8_t kInteresting[] = {0x00,
                                                  kACK,
                                                  kProtocol2Start,
                                                  kProtocol2Escape,
                                                  kProtocol2EscapedStart,
                                                  kProtocol2EscapedEscape,
                                                  kTwoByteCodePrefix,
                                                  0x11};
      b.push_back(pick(3) == 0 ? static_cast<std::uint8_t>(rng()) : kInteresting[pick(8)]);
    }
    return b;
  };
  auto frame = [&](int protocol) {
    TBytes data = payload();
    if (protocol == 1) return TKorvanProtocol1::Encode(data);
    if (protocol == 2) {
      TKorvanFrame2 f{data, pick(70000)};
      return TKorvanProtocol2::Encode(f);
    }
    TKorvanFrame3 f{data, pick(300)};
    return TKorvanProtocol3::Encode(f);
  };
  auto spell = [&](TBytes bytes) {
    std::string hex = BytesToHex(bytes);
    switch (pick(8)) {
      case 0:  // lower case and no blanks
        for (char& c : hex) c = static_cast<char>(std::tolower(c));
        hex.erase(std::remove(hex.begin(), hex.end(), ' '), hex.end());
        break;
      case 1:
        hex += " \t";
        break;
      case 2:
        if (!hex.empty()) hex.pop_back();  // a one-digit group at the end
        break;
      case 3:
        hex += " zz 01";
        break;
      default:
        break;
    }
    return hex;
  };
  static const char* kMarkers[] = {"[DEBUG] TPrinterProtocol -> ", "[DEBUG] TPrinterProtocol2 -> ",
                                   "[DEBUG] TPrinterProtocol3 -> ", "] [D] -> "};
  std::vector<std::string> log;
  for (int i = 0; i < lines; ++i) {
    std::string head = "[31.12.2024 10:15:" + std::to_string(10 + i % 50) + ".123] [0000" +
                       std::to_string(1000 + i) + "] ";
    int kind = pick(10);
    int protocol = 1 + pick(3);
    if (kind < 4) {
      TBytes f = frame(protocol);
      int marker = pick(12) == 0 ? 3 : protocol - 1;
      if (pick(4) == 0 && f.size() > 3) {  // spread over two lines
        std::size_t cut = 1 + rng() % (f.size() - 1);
        log.push_back(head + kMarkers[marker] + spell(f.substr(0, cut)));
        log.push_back(head + kMarkers[marker] + spell(f.substr(cut)));
      } else {
        log.push_back(head + kMarkers[marker] + spell(f));
      }
    } else if (kind < 7) {
      TBytes f = pick(3) == 0 ? MakeBytes({kACK}) : frame(protocol);
      log.push_back(head + "[DEBUG] TPrinterProtocol <- " + spell(f));
    } else if (kind == 7) {
      log.push_back(head + kMarkers[pick(4)] + (pick(2) ? "05" : "06"));
    } else if (kind == 8) {
      log.push_back(head + kMarkers[1] + "8F 05 00 9F " + (pick(2) ? "00" : "81") + " 11 22");
    } else {
      log.push_back(pick(2) ? "" : "[INFO] Журнал <- " + std::string(pick(2) ? "06" : ""));
    }
  }
  return log;
}

TEST(LogParser, AgreesWithTheLiteralStepsOnRandomLogs) {
  std::mt19937 rng(20241231);
  std::size_t commands = 0, diagnostics = 0;
  for (int round = 0; round < 400; ++round) {
    std::vector<std::string> log = RandomLog(rng, 40);
    TReferenceParser reference;
    reference.Run(log);
    TParsed p = Parse(log);
    ASSERT_EQ(p.List.Count(), reference.Commands.size()) << "round " << round;
    for (std::size_t i = 0; i < p.List.Count(); ++i) {
      const TCommandRec& want = reference.Commands[i];
      const TCommand& got = p.List[i];
      ASSERT_EQ(got.TxData(), want.TxData) << "round " << round << " command " << i;
      ASSERT_EQ(got.AnswerData(), want.AnswerData) << "round " << round << " command " << i;
      ASSERT_EQ(got.ResCode(), want.ResCode);
      ASSERT_EQ(got.Code(), want.Code);
      ASSERT_EQ(got.LineNumber(), want.LineNumber);
      ASSERT_EQ(got.Protocol(), want.Protocol);
      ASSERT_EQ(got.Attributes(), want.Attributes);
    }
    ASSERT_EQ(p.Diagnostics.size(), reference.Diagnostics.size()) << "round " << round;
    for (std::size_t i = 0; i < p.Diagnostics.size(); ++i)
      ASSERT_EQ(p.Diagnostics[i].LineNumber, reference.Diagnostics[i].LineNumber);
    commands += p.List.Count();
    diagnostics += p.Diagnostics.size();
  }
  // The random logs must really exercise both outcomes.
  EXPECT_GT(commands, 1000u);
  EXPECT_GT(diagnostics, 50u);
}

TEST(LogParser, HostileInputStaysLinear) {
  // Many request lines that never complete a frame and are never interrupted by an answer:
  // each line must cost only its own length.
  std::vector<std::string> log(200000, kP3 + "00 11 22 33");
  log.front() = kP3 + "82 00 01 FF FF";
  EXPECT_EQ(Parse(log).List.Count(), 0u);
  // Protocol 2 checks the CRC over the whole body after every line; over 800 kB a few
  // chance matches are to be expected, but no more.
  std::vector<std::string> log2(200000, kP2 + "00 11 22 33");
  log2.front() = kP2 + "8F FF FF 00 00";
  EXPECT_LE(Parse(log2).List.Count(), 20u);

  // One line of several megabytes, then a normal frame after an answer line.
  std::string huge = kP3 + "82 00 01 FF FF";
  huge.reserve(6 << 20);
  while (huge.size() < (6u << 20)) huge += " AB";
  TParsed q = Parse({huge, kAns + "15", kP3 + Frame3("11")});
  ASSERT_EQ(q.List.Count(), 1u);
  EXPECT_EQ(q.List[0].TxData(), "11");

  // Binary junk and lone escapes.
  std::string binary(4096, '\0');
  for (std::size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<char>(i * 37);
  TParsed r = Parse({binary, kP2 + "8F 9F", kP2 + "9F 9F 9F", kAns + "9F", binary + "<- 9F"});
  EXPECT_EQ(r.List.Count(), 0u);
}

TEST(LogParser, StreamingSinkHandsOverEveryCommandOnce) {
  std::vector<std::string> log = {kP2 + Frame2("11"), kAns + Frame2("11 00"), kP2 + Frame2("10"),
                                  kAns + Frame2("10 00 05")};
  std::vector<std::string> answers;
  TStreamingCommandSink sink([&](TCommand& c) { answers.push_back(c.AnswerData()); });
  TLogParser parser(sink);
  for (const auto& line : log) parser.ParseLine(line);
  parser.Finish();
  sink.Flush();
  EXPECT_EQ(answers, (std::vector<std::string>{"11 00", "10 00 05"}));
  EXPECT_EQ(parser.LineCount(), 4);
}

}  // namespace
}  // namespace quillon
