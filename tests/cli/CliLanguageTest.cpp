// quillon-cli's own texts in the languages it speaks: English with the build folder's
// catalogue under LANGUAGE=en, and under Russian settings (or none) the Russian texts the
// program has always printed, kept in tests/cli/texts.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "ShellRun.h"
#ifdef QUILLON_CLI_DEVICES
#include "ChildProcess.h"
#endif

namespace {

namespace fs = std::filesystem;

// One output of the program: its name in tests/cli/texts, the arguments (SAMPLE stands for
// samples/sample.log, DEVICE for the emulator's address).
struct TOutputCase {
  const char* Name;
  std::vector<std::string> Args;
  // replay, status and emulate, and the program's help that lists them: builds with the
  // driver only
  bool Devices = false;
};

const TOutputCase kOutputs[] = {
    {"help", {"--help"}, true},
    {"list-help", {"list", "--help"}},
    {"stats-help", {"stats", "--help"}},
    {"show-help", {"show", "--help"}},
    {"save-help", {"save", "--help"}},
    {"diff-help", {"diff", "--help"}},
    {"replay-help", {"replay", "--help"}, true},
    {"status-help", {"status", "--help"}, true},
    {"emulate-help", {"emulate", "--help"}, true},
    {"stats", {"stats", "SAMPLE"}},
    {"diff", {"diff", "SAMPLE", "SAMPLE"}},
    {"replay-dry-run", {"replay", "--dry-run", "SAMPLE", "--count", "12"}, true},
    {"status", {"status", "--device", "DEVICE"}, true},
};

std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

class CliLanguageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* source = std::getenv("QUILLON_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    FSource = source;
    FConfig = fs::temp_directory_path() / ("quillon-cli-language-" + std::to_string(getpid()));
    fs::create_directories(FConfig);
    // The emulator and the Russian runs speak the source language whatever the caller's.
    ::unsetenv("LANGUAGE");
  }
  void TearDown() override {
#ifdef QUILLON_CLI_DEVICES
    if (FEmulator) {
      FEmulator->Signal(SIGTERM);
      FEmulator->Wait();
    }
#endif
    fs::remove_all(FConfig);
  }

  // stdout and stderr of the program under the environment given (VARIABLE=VALUE ...), its
  // own path written as "quillon-cli".
  std::string Run(const TOutputCase& c, const std::string& environment) {
    std::string command = "env -u LANGUAGE XDG_CONFIG_HOME=" + Quoted(FConfig.string()) + " " +
                          environment + " " + QUILLON_CLI;
    for (const std::string& arg : c.Args) {
      std::string value = arg;
      if (arg == "SAMPLE") value = (FSource / "samples" / "sample.log").string();
      if (arg == "DEVICE") value = Device();
      command += ' ';
      command += Quoted(value);
    }
    command += " 2>&1";
    std::string out = quillon::test::RunShell(command).Out;
    const std::string program = QUILLON_CLI;
    for (std::size_t at; (at = out.find(program)) != std::string::npos;)
      out.replace(at, program.size(), "quillon-cli");
    return out;
  }

  // The emulator on a free port, started once.
  std::string Device() {
#ifdef QUILLON_CLI_DEVICES
    if (FDevice.empty()) {
      FEmulator = std::make_unique<quillon::test::TChild>(
          std::vector<std::string>{"emulate", "--listen", "127.0.0.1:0", "--byte-timeout-ms", "1"},
          FConfig.string());
      EXPECT_TRUE(FEmulator->WaitFor("слушает "));
      const std::string out = FEmulator->Output();
      const std::size_t at = out.find("слушает ") + std::string("слушает ").size();
      FDevice = "tcp://" + out.substr(at, out.find('\n', at) - at);
    }
#endif
    return FDevice;
  }

  static bool Built([[maybe_unused]] const TOutputCase& c) {
#ifdef QUILLON_CLI_DEVICES
    return true;
#else
    return !c.Devices;
#endif
  }

  std::string Expected(const TOutputCase& c) {
    std::ifstream in(FSource / "tests" / "cli" / "texts" / (std::string(c.Name) + ".txt"),
                     std::ios::binary);
    EXPECT_TRUE(in.good()) << c.Name;
    return {std::istreambuf_iterator<char>(in), {}};
  }

  fs::path FSource;
  fs::path FConfig;
  std::string FDevice;
#ifdef QUILLON_CLI_DEVICES
  std::unique_ptr<quillon::test::TChild> FEmulator;
#endif
};

// Without a language, with Russian chosen, and in a Russian locale: today's texts to the byte.
TEST_F(CliLanguageTest, RussianOutputsAreTheSourceTexts) {
  for (const TOutputCase& c : kOutputs) {
    if (!Built(c)) continue;
    const std::string expected = Expected(c);
    for (const char* environment : {"LC_ALL=C.UTF-8", "LC_ALL=C.UTF-8 LANGUAGE=ru",
                                    "LC_ALL=ru_RU.UTF-8", "LC_ALL=C LANGUAGE=ru"}) {
      SCOPED_TRACE(std::string(c.Name) + " under " + environment);
      EXPECT_EQ(Run(c, environment), expected);
    }
  }
}

// Under LANGUAGE=en with the build folder's catalogue no Russian text is left: every text
// of these outputs is the program's own, none comes from a device.
TEST_F(CliLanguageTest, EnglishOutputsHaveNoRussianText) {
  // The subcommand list names "list" by a text of the catalogue.
  if (Run(kOutputs[0], "LC_ALL=C.UTF-8 LANGUAGE=en").find("Список команд журнала") !=
      std::string::npos)
    GTEST_SKIP() << "the catalogue of the build folder has no English texts of quillon-cli yet";
  for (const TOutputCase& c : kOutputs) {
    if (!Built(c)) continue;
    for (const char* environment :
         {"LC_ALL=C.UTF-8 LANGUAGE=en", "LC_ALL=ru_RU.UTF-8 LANGUAGE=en"}) {
      SCOPED_TRACE(std::string(c.Name) + " under " + environment);
      const std::string out = Run(c, environment);
      EXPECT_FALSE(out.empty());
      EXPECT_FALSE(quillon::test::HasCyrillic(out)) << out;
    }
  }
}

}  // namespace
