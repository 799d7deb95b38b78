#include "cli/DeviceCommands.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <thread>

#include "cli/DiffCommand.h"
#include "core/Errors.h"
#include "core/LinkProtocol.h"
#include "core/LogLoader.h"
#include "driver/DeviceAddress.h"
#include "driver/DriverSettings.h"
#include "driver/TarvexDriver.h"
#include "parser/ShortValueFormat.h"
#include "player/PlayPlan.h"
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

// The saved settings (timeouts, passwords, protocol, trace) with the given address, and the
// protocol and trace file when given.
TDriverSettings DriverSettings(const std::string& device, int protocol,
                               const std::string& traceFile) {
  TDriverSettings settings;
  LoadDriverSettings(DefaultDriverSettingsPath(), settings);
  settings.Address = device;
  if (protocol != 0) settings.Protocol = protocol;
  if (!traceFile.empty()) settings.TraceFile = traceFile;
  return settings;
}

std::unique_ptr<TDriver> MakeDriver(const std::string& device, int protocol = 0,
                                    const std::string& traceFile = {}) {
  return std::make_unique<TDriver>(DriverSettings(device, protocol, traceFile));
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

// The first character of text (UTF-8); a Latin capital as its small letter.
std::string FirstLetter(std::string_view text) {
  std::size_t length = text.empty() ? 0 : 1;
  while (length < text.size() && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80)
    ++length;
  std::string letter(text.substr(0, length));
  if (length == 1 && letter[0] >= 'A' && letter[0] <= 'Z') letter[0] = letter[0] - 'A' + 'a';
  return letter;
}

// An answer that starts with "y" or "д" (either case), or with the first letter of the word
// for "да" in the language the question was asked in.
bool IsYes(std::string_view answer) {
  if (answer.empty()) return false;
  const std::string letter = FirstLetter(answer);
  return letter == "y" || letter == "д" || letter == "Д" || letter == FirstLetter(Tr("да"));
}

// Reads a yes/no answer from the terminal; gives up (no) when the playback is stopped.
bool AskToContinue(const std::string& message, const TQuillon& player) {
  const std::string question = FormatShortValue(Tr("Ошибка: %s\nПродолжить? [y/n] "), {message});
  std::fwrite(question.data(), 1, question.size(), stdout);
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
  return IsYes(answer);
}

// Turns Ctrl+C (and a termination request) into a stop of the playback; a second one ends
// the program at once.
class TStopOnSignal {
 public:
  explicit TStopOnSignal(std::function<void()> onStop) : FOnStop(std::move(onStop)) {
    sigemptyset(&FSignals);
    sigaddset(&FSignals, SIGINT);
    sigaddset(&FSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &FSignals, &FOld);
    FWatcher = std::thread([this] {
      timespec wait{0, 100 * 1000 * 1000};
      bool stopping = false;
      while (!FDone.load()) {
        if (sigtimedwait(&FSignals, nullptr, &wait) <= 0) continue;
        if (stopping) {
          std::fflush(stdout);
          std::fprintf(stderr, "%s\n", Tr("Прервано").c_str());
          std::_Exit(kExitInterrupted);
        }
        stopping = true;
        std::fprintf(stderr, "%s\n", Tr("Остановка после текущей команды...").c_str());
        FOnStop();
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
  auto* replay = app.add_subcommand("replay", Tr("Воспроизвести команды журнала на ККТ"));
  replay->add_option("LOGFILE", o.LogFile, Tr("Файл журнала"))->required();
  AddEncodingOption(*replay, o.LogEncoding);
  // Required unless --dry-run: checked after the parse, with the parser's own message.
  replay->add_option("--device", o.Device,
                     Tr("ККТ: tcp://HOST:PORT или serial:/dev/ttyUSB0?baud=115200"));
  replay->add_option("--from", o.From, Tr("С команды номер N (с 1)"))->check(CLI::PositiveNumber);
  replay->add_option("--count", o.Count, Tr("Сколько команд (0 - до конца)"))
      ->check(CLI::NonNegativeNumber);
  replay->add_flag("--loop", o.Loop, Tr("Зациклить воспроизведение (до Ctrl+C)"));
  replay->add_flag("--ignore-device-errors", o.IgnoreDeviceErrors, Tr("Игнорировать ошибки ККТ"));
  replay->add_option("--except", o.Except,
                     Tr("Коды команд, которые не отправлять, через запятую (по умолчанию "
                        "\"FF 0A\")"));
  auto* yes = replay->add_flag_callback(
      "--yes", [&o] { o.Answer = 1; }, Tr("После ошибки продолжать, не спрашивая"));
  auto* no = replay->add_flag_callback(
      "--no", [&o] { o.Answer = -1; }, Tr("После ошибки останавливаться, не спрашивая"));
  yes->excludes(no);
  replay
      ->add_option("--protocol", o.Protocol,
                   Tr("Протокол обмена 1, 2 или 3 (по умолчанию как в журнале)"))
      ->check(CLI::Range(1, 3));
  replay->add_option("--trace", o.TraceFile, Tr("Записать обмен с ККТ в файл в формате журнала"));
  replay->add_flag("--dry-run", o.DryRun,
                   Tr("Не обращаясь к ККТ, показать, что будет отправлено и что пропущено"));
  replay->add_option("--report", o.ReportFile,
                     Tr("Записать сравнение ответов ККТ с журналом в файл (JSON Lines)"));
  replay->add_flag("--fail-on-diff", o.FailOnDiff,
                   Tr("Ответ ККТ, отличный от ответа в журнале, считать ошибкой"));
  replay
      ->add_option("--ignore-field", o.IgnoreFields,
                   Tr("Поле ответа, отличия в котором не считаются (можно повторять)"))
      ->allow_extra_args(false);

  auto statusDevice = std::make_shared<std::string>();
  auto statusProtocol = std::make_shared<int>(0);
  auto* status = app.add_subcommand("status", Tr("Запрос состояния ККТ"));
  status->add_option("--device", *statusDevice, Tr("ККТ: tcp://HOST:PORT или serial:..."))
      ->required();
  status->add_option("--protocol", *statusProtocol, Tr("Протокол обмена 1, 2 или 3"))
      ->check(CLI::Range(1, 3));

  return {{replay,
           [replayOptions, &app] {
             if (replayOptions->Device.empty() && !replayOptions->DryRun) {
               app.exit(CLI::RequiredError("--device"));
               return 2;
             }
             return RunReplay(*replayOptions);
           }},
          {status,
           [statusDevice, statusProtocol] { return RunStatus(*statusDevice, *statusProtocol); }}};
}

namespace {

// The replay's range as the player's 0-based first index.
int FirstIndex(const TReplayOptions& options) {
  return std::max(options.From, 1) - 1;
}

// What would be sent, without the device: one line a command of the range, then the counts.
// 1 when some command cannot be sent.
int DryRun(const TReplayOptions& options, const TCommandList& commands,
           const std::vector<std::string>& exceptions) {
  // The driver decides the protocol as it would for the playback; it opens no link for it.
  const TDriverSettings settings = DriverSettings(options.Device, options.Protocol, {});
  TDriver driver(settings);
  const int recorded =
      TQuillon::RecordedProtocol(commands, &exceptions, FirstIndex(options), options.Count);
  driver.SetLogProtocol(recorded);
  const int protocol = driver.UsedProtocol();
  if (settings.Protocol == 0 && recorded != 0)
    PrintLine(FormatShortValue(Tr("Протокол %s (как в журнале)"), {std::to_string(protocol)}));
  else
    PrintLine(FormatShortValue(Tr("Протокол %s"), {std::to_string(protocol)}));
  std::size_t send = 0, skipped = 0, refused = 0;
  for (const TPlannedCommand& entry :
       PlanPlayback(commands, &exceptions, FirstIndex(options), options.Count, protocol)) {
    std::string line = CommandRunStatus(commands, std::to_string(entry.Index));
    switch (entry.Step) {
      case TPlanStep::Send:
        ++send;
        break;
      case TPlanStep::Unselected:
        ++skipped;
        line += Tr(": пропускается (не выбрана)");
        break;
      case TPlanStep::Excepted:
        ++skipped;
        line += Tr(": пропускается (команда-исключение)");
        break;
      case TPlanStep::Empty:
        ++refused;
        line += Tr(": не может быть отправлена: пустой запрос");
        break;
      case TPlanStep::TooLong:
        ++refused;
        line += FormatShortValue(
            Tr(": не может быть отправлена: %s байт, в кадре протокола %s не больше %s"),
            {std::to_string(entry.Size), std::to_string(protocol),
             std::to_string(MaxFrameData(protocol))});
        break;
    }
    PrintLine(line);
  }
  PrintLine(
      FormatShortValue(Tr("Будет отправлено: %s, пропущено: %s, не может быть отправлено: %s"),
                       {std::to_string(send), std::to_string(skipped), std::to_string(refused)}));
  return refused == 0 ? 0 : kExitFailed;
}

}  // namespace

int RunReplay(const TReplayOptions& options) {
  if (!options.DryRun && !CheckAddress(options.Device)) return 2;
  TQuillon player;
  // A stop from here on is kept for the playback below, however early it comes.
  player.BeginPlayback();
  std::atomic<bool> interrupted{false};
  // Signals are blocked before any other thread starts, so that every thread inherits it and
  // only the watcher sees Ctrl+C.
  TStopOnSignal stop([&] {
    interrupted = true;
    player.StopPlaying();
  });

  TCommandList commands;
  TLogLoadResult loaded = LoadLog(TLogSource::File(options.LogFile, options.LogEncoding), commands);
  if (!loaded.ReadError.empty()) throw EQuillonError(loaded.ReadError);
  for (const auto& d : loaded.Diagnostics)
    std::fprintf(stderr, "line %lld: %s\n", static_cast<long long>(d.LineNumber),
                 d.Message.c_str());
  if (options.From > 1 && static_cast<std::size_t>(options.From) > commands.Count()) {
    const std::string message =
        FormatShortValue(Tr("В журнале %s команд, команды %s нет"),
                         {std::to_string(commands.Count()), std::to_string(options.From)});
    std::fprintf(stderr, "%s\n", message.c_str());
    return 2;
  }

  for (const auto& command : commands) {
    command->Selected = true;
    command->Played = false;
    command->SetPlayedAnswerData({});
  }
  std::vector<std::string> exceptions = ExceptionLines(options.Except);
  if (options.DryRun) return DryRun(options, commands, exceptions);
  // Created before the playback, so that a bad name does not cost a replay.
  TReportFile report;
  if (!options.ReportFile.empty() && !report.Open(options.ReportFile)) return kExitFailed;
  std::unique_ptr<TDriver> driver = MakeDriver(options.Device, options.Protocol, options.TraceFile);

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
      PrintLine(FormatShortValue(Tr("Ошибка: %s (ошибка ККТ, продолжаем)"), {message}));
      goOn = true;
    } else if (options.Answer != 0) {
      goOn = options.Answer > 0;
      PrintLine(FormatShortValue(Tr("Ошибка: %s\nПродолжить? %s"),
                                 {message, goOn ? Tr("да") : Tr("нет")}));
    } else if (::isatty(STDIN_FILENO) != 0) {
      goOn = AskToContinue(message, player);
    } else {
      PrintLine(FormatShortValue(
          Tr("Ошибка: %s\nПродолжить? нет (ответить некому; --yes или --no)"), {message}));
      goOn = false;
    }
    player.SetPlayMode(goOn ? pmContinue : pmStop);
  });

  player.PlayLog(*driver, commands, &exceptions, FirstIndex(options), options.Count, options.Loop);

  std::size_t played = 0, failed = 0, skipped = 0;
  const std::int64_t last =
      TQuillon::LastIndex(commands.Count(), FirstIndex(options), options.Count);
  for (std::int64_t i = FirstIndex(options); i <= last; ++i) {
    const TCommand& command = commands[static_cast<std::size_t>(i)];
    if (!command.Played) {
      ++skipped;
      continue;
    }
    ++played;
    std::string answer = command.PlayedAnswerData();
    if (answer.empty() || TCommand::GetResCode(answer) != 0) ++failed;
  }
  PrintLine(
      FormatShortValue(Tr("Сыграно: %s, с ошибкой: %s, пропущено: %s"),
                       {std::to_string(played), std::to_string(failed), std::to_string(skipped)}));
  bool answersDiffer = false;
  if (report.IsOpen() || options.FailOnDiff) {
    const TVolatileFields volatileFields = VolatileFieldsWith(options.IgnoreFields);
    TVerdictCounts counts{};
    for (std::int64_t i = FirstIndex(options); i <= last; ++i) {
      const TCommand& command = commands[static_cast<std::size_t>(i)];
      const TAnswerComparison comparison = CompareAnswers(command, volatileFields);
      ++counts[comparison.Verdict];
      answersDiffer = answersDiffer || AnswerDiffers(comparison.Verdict);
      if (!report.IsOpen()) continue;
      AppendComparisonJson(report.Buffer(), static_cast<std::uint64_t>(i) + 1, command, comparison);
      report.MaybeFlush();
    }
    PrintLine(VerdictCountsLine(counts));
    if (!report.Close()) return kExitFailed;
  }
  if (interrupted) return kExitInterrupted;
  return failed == 0 && !endedByError && !(options.FailOnDiff && answersDiffer) ? 0 : kExitFailed;
}

int RunStatus(const std::string& device, int protocol) {
  if (!CheckAddress(device)) return 2;
  std::unique_ptr<TDriver> driver = MakeDriver(device, protocol);
  driver->SetPassword(driver->SysAdminPassword());
  int result = driver->GetECRStatus();
  if (result != 0) {
    PrintLine(FormatShortValue(Tr("Запрос состояния: Ошибка: %s, %s"),
                               {std::to_string(result), driver->ResultCodeDescription()}));
    return 1;
  }
  PrintLine(Tr("Запрос состояния: Успешно"));
  PrintLine(FormatShortValue(Tr("Режим   : %s, %s"),
                             {std::to_string(driver->ECRMode()), driver->ECRModeDescription()}));
  PrintLine(FormatShortValue(Tr("Подрежим: %s, %s"), {std::to_string(driver->ECRAdvancedMode()),
                                                      driver->ECRAdvancedModeDescription()}));
  return 0;
}

}  // namespace quillon::cli
