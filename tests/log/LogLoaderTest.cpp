#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "DescribeCommand.h"
#include "LogGenerator.h"
#include "core/DateUtils.h"
#include "core/Errors.h"
#include "core/LogLoader.h"
#include "core/TextFile.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using test::Describe;

class LogLoaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FDir = fs::temp_directory_path() / ("quillon-loader-test-" + std::to_string(getpid()));
    fs::create_directories(FDir);
  }
  void TearDown() override { fs::remove_all(FDir); }

  std::string Generate(std::uint32_t seed, std::uint64_t commands) {
    loggen::TOptions options;
    options.Seed = seed;
    options.Commands = commands;
    return Generate(options);
  }
  std::string Generate(const loggen::TOptions& options,
                       std::vector<loggen::TExpectedCommand>* expected = nullptr) {
    fs::path file = FDir / ("log" + std::to_string(options.Seed) + ".log");
    std::ofstream out(file, std::ios::binary);
    loggen::Generate(out, options, expected);
    return file.string();
  }

  fs::path FDir;
};

// Every way of loading finds what the parser finds in the lines read one by one; the logs
// are large enough to cross the blocks handed between the threads.
TEST_F(LogLoaderTest, EveryFormFindsWhatTheParserFinds) {
  for (std::uint64_t commands : {0, 1, 7, 30000}) {
    SCOPED_TRACE(commands);
    std::string file = Generate(static_cast<std::uint32_t>(commands) + 3, commands);
    std::vector<std::string> lines;
    ReadTextLines(file, TTextEncoding::Windows1251, lines);
    TCommandList expectedList;
    std::vector<TParseDiagnostic> expectedDiagnostics;
    ParseLog(lines, expectedList, &expectedDiagnostics);
    const std::string expected = Describe(expectedList);

    TCommandList kept;
    TLogLoadResult r = LoadLog(TLogSource::File(file), kept);
    EXPECT_EQ(Describe(kept), expected);
    EXPECT_EQ(r.Lines, static_cast<std::int64_t>(lines.size()));
    EXPECT_EQ(r.Commands, expectedList.Count());
    EXPECT_EQ(r.Diagnostics.size(), expectedDiagnostics.size());
    EXPECT_FALSE(r.Cancelled);

    std::string streamed;
    r = LoadLog(TLogSource::File(file),
                [&](TCommand& c, std::uint64_t n) { streamed += Describe(c, n); });
    EXPECT_EQ(streamed, expected);
    EXPECT_EQ(r.Commands, expectedList.Count());

    std::string formatted;
    r = LoadLogFormatted(
        TLogSource::File(file),
        [](TCommand& c, std::uint64_t n, std::string& out) { out += Describe(c, n); },
        [&](std::string_view text) { formatted += text; });
    EXPECT_EQ(formatted, expected);
    EXPECT_EQ(r.Lines, static_cast<std::int64_t>(lines.size()));

    // The same lines as UTF-8 text, with every kind of line end.
    std::string text;
    const char* ends[] = {"\r\n", "\n", "\r"};
    for (std::size_t i = 0; i < lines.size(); ++i) text += lines[i] + ends[i % 3];
    TCommandList fromText;
    r = LoadLog(TLogSource::Text(text), fromText);
    EXPECT_EQ(Describe(fromText), expected);
    EXPECT_EQ(r.Lines, static_cast<std::int64_t>(lines.size()));
  }
}

TEST_F(LogLoaderTest, ProgressRisesToTheSizeAndCancelStops) {
  std::string file = Generate(5, 30000);
  const auto size = static_cast<std::uint64_t>(fs::file_size(file));
  std::vector<std::uint64_t> seen;
  TLogLoadControl control;
  control.Progress = [&](std::uint64_t done, std::uint64_t total) {
    EXPECT_EQ(total, size);
    seen.push_back(done);
  };
  TCommandList all;
  LoadLog(TLogSource::File(file), all, control);
  ASSERT_GT(seen.size(), 1u);
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  EXPECT_EQ(seen.back(), size);

  // Cancelled from the progress report of the first block, in each form.
  std::atomic<bool> cancel = false;
  control.Cancel = &cancel;
  control.Progress = [&](std::uint64_t, std::uint64_t) { cancel = true; };
  TCommandList part;
  TLogLoadResult r = LoadLog(TLogSource::File(file), part, control);
  EXPECT_TRUE(r.Cancelled);
  EXPECT_LT(part.Count(), all.Count());
  cancel = false;
  std::uint64_t written = 0;
  r = LoadLogFormatted(
      TLogSource::File(file), [](TCommand&, std::uint64_t, std::string& out) { out += 'x'; },
      [&](std::string_view text) { written += text.size(); }, control);
  EXPECT_TRUE(r.Cancelled);
  EXPECT_LT(written, all.Count());
}

// The times the parser reads for every command are the ones the generator stamped on the
// request's first line and on the answer's last.
TEST_F(LogLoaderTest, ResponseTimesAreTheGeneratorsOwn) {
  loggen::TOptions allProtocols;
  allProtocols.Seed = 31;
  allProtocols.Commands = 3000;
  loggen::TOptions overNewYear = allProtocols;  // 31.12.2024 23:58:00, some 5 minutes long
  overNewYear.Seed = 32;
  overNewYear.StartMs = 45657LL * kMsPerDay + (23 * 60 + 58) * 60000;
  loggen::TOptions protocol2 = allProtocols;
  protocol2.Seed = 33;
  protocol2.AllProtocols = false;
  for (const loggen::TOptions& options : {allProtocols, overNewYear, protocol2}) {
    SCOPED_TRACE(options.Seed);
    std::vector<loggen::TExpectedCommand> expected;
    const std::string file = Generate(options, &expected);
    TCommandList list;
    LoadLog(TLogSource::File(file), list);
    ASSERT_EQ(list.Count(), expected.size());
    std::size_t unanswered = 0;
    std::set<std::int64_t> responses;
    for (std::size_t i = 0; i < list.Count(); ++i) {
      const loggen::TExpectedCommand& want = expected[i];
      SCOPED_TRACE("command " + std::to_string(i + 1) + " line " + std::to_string(want.Line));
      ASSERT_EQ(list[i].RequestTimeMs(), want.RequestMs);
      ASSERT_EQ(list[i].AnswerTimeMs(), want.AnswerMs);
      ASSERT_EQ(list[i].ResponseMs(), want.ResponseMs);
      if (want.ResponseMs)
        responses.insert(*want.ResponseMs);
      else
        ++unanswered;
    }
    // Both kinds are there, and the times vary.
    EXPECT_GT(unanswered, 20u);
    EXPECT_GT(responses.size(), 40u);
    if (options.StartMs != loggen::TOptions::kDefaultStartMs) {
      EXPECT_EQ(expected.front().Time.substr(0, 10), "31.12.2024");
      EXPECT_EQ(expected.back().Time.substr(0, 10), "01.01.2025");
    }
  }
}

TEST_F(LogLoaderTest, FailuresComeOutOfTheCall) {
  // A missing file fails before anything is read, with the reader's message.
  std::string missing = (FDir / "missing.log").string();
  std::string readerMessage;
  try {
    TTextLineReader reader(missing);
  } catch (const EQuillonError& e) {
    readerMessage = e.what();
  }
  ASSERT_FALSE(readerMessage.empty());
  TCommandList list;
  try {
    LoadLog(TLogSource::File(missing), list);
    ADD_FAILURE() << "no error";
  } catch (const EQuillonError& e) {
    EXPECT_EQ(e.what(), readerMessage);
  }

  // A failing formatter or writer stops every stage; its exception comes out.
  std::string file = Generate(9, 30000);
  for (bool inWriter : {false, true}) {
    SCOPED_TRACE(inWriter);
    EXPECT_THROW(LoadLogFormatted(
                     TLogSource::File(file),
                     [&](TCommand&, std::uint64_t n, std::string& out) {
                       if (!inWriter && n == 5000) throw std::runtime_error("format");
                       out += 'x';
                     },
                     [&](std::string_view) {
                       if (inWriter) throw std::runtime_error("write");
                     }),
                 std::runtime_error);
  }
}

}  // namespace
}  // namespace quillon
