#include "cli/DeviceCommands.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <thread>

#include "core/Errors.h"
#include "core/LogLoader.h"
#include "driver/DeviceAddress.h"
#include "driver/DriverSettings.h"
#include "driver/TarvexDriver.h"
#include "player/PlaybackTexts.h"
#include "player/untQuillon.h"

namespace quillon::cli {

namespace {

// A bad device address is a usage error (exit status 2).
bool CheckAddress(const std::string& device) {
  TDeviceAddress address;
  std::string error;
  if (TDeviceAddress::TryParse(device, address, error)) return true;
  std::fprintf(stderr, "%s\n", error.c_str());
  return false;
}

// The driver with the saved settings (timeouts, passwords) and the given address.
std::unique_ptr<TDriver> MakeDriver(const std::string& device) {
  TDriverSettings settings;
  LoadDriverSettings(DefaultDriverSettingsPath(), settings);
  settings.Address = device;
  return std::make_unique<TDriver>(settings);
}

std::vector<std::string> ExceptionLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t comma = text.find(',', start);
    if (comma == std::string::npos) comma = text.size();
    std::string line = text.substr(start, comma - start);
    std::size_t first = line.find_first_not_of(' ');
    if (first != std::string::npos) lines.push_back(line.substr(first));
    start = comma + 1;
  }
  return lines;
}

// Reads a yes/no answer from the terminal; gives up (no) when the playback is stopped.
bool AskToContinue(const std::string& message, const TQuillon& player) {
  std::printf("Ошибка: %s\nПродолжить? [y/n] ", message.c_str());
  std::fflush(stdout);
  std::string answer;
  for (;;) {
    pollfd fd{STDIN_FILENO, POLLIN, 0};
    int ready = ::poll(&fd, 1, 200);
    if (player.StopRequested()) {
      std::printf("\n");
      return false;
    }
    if (ready <= 0) continue;
    char c = 0;
    if (::read(STDIN_FILENO, &c, 1) <= 0) return false;
    if (c == '\n') break;
    answer.push_back(c);
  }
  return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y' || answer.rfind("д", 0) == 0 ||
                             answer.rfind("Д", 0) == 0);
}

// Turns Ctrl+C (and a termination request) into a stop after the command in progress.
class TStopOnSignal {
 public:
  explicit TStopOnSignal(std::function<void()> onStop) : FOnStop(std::move(onStop)) {
    sigemptyset(&FSignals);
    sigaddset(&FSignals, SIGINT);
    sigaddset(&FSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &FSignals, &FOld);
    FWatcher = std::thread([this] {
      timespec wait{0, 100 * 1000 * 1000};
      while (!FDone.load()) {
        if (sigtimedwait(&FSignals, nullptr, &wait) > 0) {
          std::fprintf(stderr, "Остановка после текущей команды...\n");
          FOnStop();
        }
      }
    });
  }
  ~TStopOnSignal() {
    FDone = true;
    FWatcher.join();
    pthread_sigmask(SIG_SETMASK, &FOld, nullptr);
  }

 private:
  std::function<void()> FOnStop;
  sigset_t FSignals{}, FOld{};
  std::atomic<bool> FDone{false};
  std::thread FWatcher;
};

}  // namespace

std::vector<TSubcommand> AddDeviceCommands(CLI::App& app) {
  auto replayOptions = std::make_shared<TReplayOptions>();
  TReplayOptions& o = *replayOptions;
  auto* replay = app.add_subcommand("replay", "Воспроизвести команды журнала на ККТ");
  replay->add_option("LOGFILE", o.LogFile, "Файл журнала")->required();
  replay
      ->add_option("--device", o.Device, "ККТ: tcp://HOST:PORT или serial:/dev/ttyUSB0?baud=115200")
      ->required();
  replay->add_option("--from", o.From, "С команды номер N (с 1)")->check(CLI::PositiveNumber);
  replay->add_option("--count", o.Count, "Сколько команд (0 - до конца)")
      ->check(CLI::NonNegativeNumber);
  replay->add_flag("--loop", o.Loop, "Зациклить воспроизведение (до Ctrl+C)");
  replay->add_flag("--ignore-device-errors", o.IgnoreDeviceErrors, "Игнорировать ошибки ККТ");
  replay->add_option("--except", o.Except,
                     "Коды команд, которые не отправлять, через запятую (по умолчанию \"FF 0A\")");
  auto* yes = replay->add_flag_callback(
      "--yes", [&o] { o.Answer = 1; }, "После ошибки продолжать, не спрашивая");
  auto* no = replay->add_flag_callback(
      "--no", [&o] { o.Answer = -1; }, "После ошибки останавливаться, не спрашивая");
  yes->excludes(no);

  auto statusDevice = std::make_shared<std::string>();
  auto* status = app.add_subcommand("status", "Запрос состояния ККТ");
  status->add_option("--device", *statusDevice, "ККТ: tcp://HOST:PORT или serial:...")->required();

  return {{replay, [replayOptions] { return RunReplay(*replayOptions); }},
          {status, [statusDevice] { return RunStatus(*statusDevice); }}};
}

int RunReplay(const TReplayOptions& options) {
  if (!CheckAddress(options.Device)) return 2;
  TQuillon player;
  std::atomic<bool> interrupted{false};
  // Signals are blocked before any other thread starts, so that every thread inherits it and
  // only the watcher sees Ctrl+C.
  TStopOnSignal stop([&] {
    interrupted = true;
    player.StopPlaying();
  });

  TCommandList commands;
  TLogLoadResult loaded = LoadLog(TLogSource::File(options.LogFile), commands);
  if (!loaded.ReadError.empty()) throw EQuillonError(loaded.ReadError);
  for (const auto& d : loaded.Diagnostics)
    std::fprintf(stderr, "line %lld: %s\n", static_cast<long long>(d.LineNumber),
                 d.Message.c_str());
  std::unique_ptr<TDriver> driver = MakeDriver(options.Device);

  for (const auto& command : commands) {
    command->Selected = true;
    command->Played = false;
    command->SetPlayedAnswerData({});
  }
  std::vector<std::string> exceptions = ExceptionLines(options.Except);
  bool endedByError = false;
  auto onRun = TNotifyBus::Instance().Subscribe("CommandRun", [&](const std::string& message) {
    PrintLine(CommandRunStatus(commands, message));
  });
  auto onError = TNotifyBus::Instance().Subscribe("Error", [&](const std::string& message) {
    endedByError = true;
    PrintLine(ErrorStatus(commands, message));
  });
  auto onQuery = TNotifyBus::Instance().Subscribe("ErrorQuery", [&](const std::string& message) {
    bool goOn;
    if (options.IgnoreDeviceErrors && ExtractErrorCode(message) > 0) {
      PrintLine("Ошибка: " + message + " (ошибка ККТ, продолжаем)");
      goOn = true;
    } else if (options.Answer != 0) {
      goOn = options.Answer > 0;
      PrintLine("Ошибка: " + message + "\nПродолжить? " + (goOn ? "да" : "нет"));
    } else if (::isatty(STDIN_FILENO) != 0) {
      goOn = AskToContinue(message, player);
    } else {
      PrintLine("Ошибка: " + message + "\nПродолжить? нет (ответить некому; --yes или --no)");
      goOn = false;
    }
    player.SetPlayMode(goOn ? pmContinue : pmStop);
  });

  if (!interrupted)
    player.PlayLog(*driver, commands, &exceptions, std::max(options.From, 1) - 1, options.Count,
                   options.Loop);

  std::size_t played = 0, failed = 0, skipped = 0;
  std::size_t first = static_cast<std::size_t>(std::max(options.From, 1) - 1);
  std::size_t last = commands.Count();
  if (options.Count > 0) last = std::min(last, first + static_cast<std::size_t>(options.Count));
  for (std::size_t i = first; i < last; ++i) {
    const TCommand& command = commands[i];
    if (!command.Played) {
      ++skipped;
      continue;
    }
    ++played;
    std::string answer = command.PlayedAnswerData();
    if (answer.empty() || TCommand::GetResCode(answer) != 0) ++failed;
  }
  std::printf("Сыграно: %zu, с ошибкой: %zu, пропущено: %zu\n", played, failed, skipped);
  std::fflush(stdout);
  return failed == 0 && !endedByError ? 0 : 1;
}

int RunStatus(const std::string& device) {
  if (!CheckAddress(device)) return 2;
  std::unique_ptr<TDriver> driver = MakeDriver(device);
  driver->SetPassword(driver->SysAdminPassword());
  int result = driver->GetECRStatus();
  if (result != 0) {
    PrintLine("Запрос состояния: Ошибка: " + std::to_string(result) + ", " +
              driver->ResultCodeDescription());
    return 1;
  }
  PrintLine("Запрос состояния: Успешно");
  PrintLine("Режим   : " + std::to_string(driver->ECRMode()) + ", " + driver->ECRModeDescription());
  PrintLine("Подрежим: " + std::to_string(driver->ECRAdvancedMode()) + ", " +
            driver->ECRAdvancedModeDescription());
  return 0;
}

}  // namespace quillon::cli
