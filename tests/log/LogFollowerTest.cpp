// A log that grows while it is followed: appended in pieces, cut short, replaced.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "DescribeCommand.h"
#include "LogGenerator.h"
#include "core/BinUtils.h"
#include "core/KorvanProtocol2.h"
#include "core/LogFollower.h"
#include "core/LogLoader.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using test::Describe;

std::string Frame(std::int32_t number, std::initializer_list<std::uint8_t> data) {
  TKorvanFrame2 frame;
  frame.Number = number;
  frame.Data = MakeBytes(data);
  return BytesToHex(TKorvanProtocol2::Encode(frame));
}

// A protocol 2 line without its line end; arrow "->" for a request, "<-" for an answer.
std::string Line(const char* arrow, const std::string& hex, const std::string& thread = "1") {
  return "[31.12.2024 10:15:00.000] [" + thread + "] [DEBUG] TPrinterProtocol2 " + arrow + " " +
         hex;
}

const std::string kStatus = Frame(1, {0x11, 0x1E, 0, 0, 0});
const std::string kStatusOk = Frame(1, {0x11, 0x00, 0x01});
const std::string kType = Frame(2, {0xFC});
const std::string kRequest = Line("->", kStatus), kAnswer = Line("<-", kStatusOk);

class LogFollowerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FDir = fs::temp_directory_path() / ("quillon-follow-test-" + std::to_string(getpid()));
    fs::create_directories(FDir);
    FFile = (FDir / "live.log").string();
    Write(FFile, "");
  }
  void TearDown() override { fs::remove_all(FDir); }

  static void Write(const std::string& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
  }
  void Append(const std::string& bytes) {
    std::ofstream(FFile, std::ios::binary | std::ios::app) << bytes;
  }

  fs::path FDir;
  std::string FFile;
};

// Pieces of every size cut at any byte, a poll after each: the commands handed on and the
// open one are at every step what a load of the complete lines so far gives, and at the end
// what a load of the whole log gives.
TEST_F(LogFollowerTest, PiecesCutAnywhereReadAsTheWholeLog) {
  for (std::uint32_t seed : {41u, 42u}) {
    SCOPED_TRACE(seed);
    Write(FFile, "");
    loggen::TOptions options;
    options.Seed = seed;
    options.Commands = 400;
    std::ostringstream generated;
    loggen::Generate(generated, options);
    const std::string log = generated.str();
    const std::string whole = (FDir / "whole.log").string(), part = (FDir / "part.log").string();
    Write(whole, log);
    TCommandList expected;
    const TLogLoadResult loaded = LoadLog(TLogSource::File(whole), expected);

    std::string final;
    TLogFollower follower(FFile, TLogEncoding::Auto, [&](TCommand& command, std::uint64_t n) {
      final += Describe(command, n);
    });
    std::mt19937 rng(seed);
    std::size_t steps = 0;
    for (std::size_t at = 0; at < log.size(); ++steps) {
      const std::size_t n = rng() % 5 == 0 ? rng() % 5000 : 1 + rng() % 300;
      Append(log.substr(at, n));
      at = std::min(log.size(), at + n);
      follower.Poll();

      const std::size_t lineEnd = log.find_last_of("\r\n", at - 1);
      Write(part, lineEnd == std::string::npos ? "" : log.substr(0, lineEnd + 1));
      TCommandList sofar;
      LoadLog(TLogSource::File(part), sofar);
      std::string seen = final;
      if (const TCommand* open = follower.OpenCommand())
        seen += Describe(*open, follower.FinalCommands() + 1);
      ASSERT_EQ(seen, Describe(sofar)) << "after " << at << " bytes";
    }
    EXPECT_GT(steps, 100u);
    follower.Finish();
    EXPECT_EQ(final, Describe(expected));
    EXPECT_EQ(follower.Lines(), loaded.Lines);
    EXPECT_EQ(follower.Diagnostics().size(), loaded.Diagnostics.size());
  }
}

// code>answer
std::string Brief(const TCommand& command) {
  std::string brief = IntToHex(command.Code(), 2);
  brief += '>';
  brief += command.AnswerData();
  return brief;
}

// What the follower holds: "L<lines read>", then each final command (Brief, after a space),
// then the open one in brackets.
std::string State(TLogFollower& follower, const std::string& final) {
  std::string state = "L";
  state += std::to_string(follower.Lines());
  state += final;
  if (const TCommand* open = follower.OpenCommand()) {
    state += " [";
    state += Brief(*open);
    state += ']';
  }
  return state;
}

TEST_F(LogFollowerTest, LinesSplitBetweenPolls) {
  struct TStep {
    std::string Bytes;
    std::string Want;  // State after the poll
  };
  struct TCase {
    const char* Name;
    std::vector<TStep> Steps;
    std::string AfterFinish;
  };
  const std::string next = Line("->", kType) + "\r\n";
  const std::string kAnswered = "11>11 00 01";
  const TCase cases[] = {
      {"a line without its end waits for it",
       {{kRequest, "L0"},
        {"\r\n", "L1 [11>]"},
        {kAnswer + "\r\n", "L2 [" + kAnswered + "]"},
        {next, "L3 " + kAnswered + " [FC>]"}},
       "L3 " + kAnswered + " FC>"},
      {"an answer over two lines",
       {{kRequest + "\r\n" + Line("<-", kStatusOk.substr(0, 9)) + "\r\n", ""},
        {Line("<-", kStatusOk.substr(9)) + "\r\n", "L3 [" + kAnswered + "]"},
        {next, "L4 " + kAnswered + " [FC>]"}},
       "L4 " + kAnswered + " FC>"},
      {"CR at the end of one poll, LF at the start of the next",
       {{kRequest + "\r", "L1 [11>]"}, {"\n" + kAnswer + "\r", "L2 [" + kAnswered + "]"}},
       "L2 " + kAnswered},
      {"the last line without its end is read when the follow ends",
       {{kRequest + "\r\n" + kAnswer, "L1 [11>]"}},
       "L2 " + kAnswered},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    Write(FFile, "");
    std::string final;
    TLogFollower follower(FFile, TLogEncoding::Auto, [&](TCommand& command, std::uint64_t) {
      final += ' ';
      final += Brief(command);
    });
    for (const TStep& step : c.Steps) {
      Append(step.Bytes);
      const TFollowPoll poll = follower.Poll();
      EXPECT_EQ(poll.Change, poll.Lines > 0 ? TFollowChange::Appended : TFollowChange::None);
      if (!step.Want.empty()) {
        EXPECT_EQ(State(follower, final), step.Want);
      }
    }
    EXPECT_EQ(follower.Poll().Change, TFollowChange::None);
    follower.Finish();
    EXPECT_EQ(State(follower, final), c.AfterFinish);
  }
}

TEST_F(LogFollowerTest, TruncatedOrReplacedFilesAreReported) {
  const std::string two = kRequest + "\r\n" + kAnswer + "\r\n" + Line("->", kType) + "\r\n";
  const std::string other = (FDir / "other.log").string();
  struct TCase {
    const char* Name;
    std::function<void()> Change;
    TFollowChange Want;
  };
  const TCase cases[] = {
      {"cut short in place", [&] { Write(FFile, kRequest + "\r\n"); }, TFollowChange::Truncated},
      {"emptied", [&] { fs::resize_file(FFile, 0); }, TFollowChange::Truncated},
      {"renamed over",
       [&] {
         Write(other, two + two);
         fs::rename(other, FFile);
       },
       TFollowChange::Replaced},
      {"removed and written anew",
       [&] {
         fs::remove(FFile);
         Write(FFile, kRequest + "\r\n");
       },
       TFollowChange::Replaced},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    Write(FFile, two);
    std::uint64_t handed = 0;
    TLogFollower follower(FFile, TLogEncoding::Auto, [&](TCommand&, std::uint64_t) { ++handed; });
    EXPECT_EQ(follower.Poll().Change, TFollowChange::Appended);
    c.Change();
    for (int i = 0; i < 2; ++i) {  // and it stays so
      const TFollowPoll poll = follower.Poll();
      EXPECT_EQ(poll.Change, c.Want);
      EXPECT_EQ(poll.Lines, 0);
    }
    EXPECT_EQ(follower.Lines(), 3);
    // The follow ends with what had been read.
    follower.Finish();
    EXPECT_EQ(handed, 2u);
  }

  // A name that is gone for a while is no change: the file that was open is still read.
  Write(FFile, kRequest + "\r\n");
  TLogFollower follower(FFile, TLogEncoding::Auto, [](TCommand&, std::uint64_t) {});
  follower.Poll();
  std::ofstream stillOpen(FFile, std::ios::binary | std::ios::app);
  fs::remove(FFile);
  stillOpen << kAnswer << "\r\n" << std::flush;
  const TFollowPoll poll = follower.Poll();
  EXPECT_EQ(poll.Change, TFollowChange::Appended);
  EXPECT_EQ(State(follower, ""), "L2 [11>11 00 01]");
}

// The encoding is chosen by what is appended after the follow began.
TEST_F(LogFollowerTest, EncodingComesFromLinesAppendedLater) {
  const std::string cyrillic = Line("->", kStatus, "Касса") + "\r\n";
  struct TCase {
    const char* Name;
    std::string First, Later;
  };
  const TCase cases[] = {
      {"a byte-order mark in a file empty when opened", "", "\xEF\xBB\xBF" + cyrillic},
      {"UTF-8 after plain ASCII lines", Line("->", kType) + "\r\n", cyrillic},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    Write(FFile, c.First);
    std::vector<std::string> attributes;
    TLogFollower follower(FFile, TLogEncoding::Auto, [&](TCommand& command, std::uint64_t) {
      attributes.push_back(command.Attributes());
    });
    follower.Poll();
    Append(c.Later);
    EXPECT_EQ(follower.Poll().Change, TFollowChange::Appended);
    follower.Finish();
    EXPECT_EQ(follower.Encoding(), TTextEncoding::Utf8);
    ASSERT_FALSE(attributes.empty());
    EXPECT_EQ(attributes.back(), "[31.12.2024 10:15:00.000] [Касса] [D");
  }
}

}  // namespace
}  // namespace quillon
