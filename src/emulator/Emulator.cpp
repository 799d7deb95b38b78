#include "emulator/Emulator.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <utility>

#include "core/BinUtils.h"
#include "core/CommandCode.h"
#include "core/Errors.h"
#include "core/Translate.h"
#include "emulator/EmulatorLink.h"
#include "parser/ShortValueFormat.h"

namespace quillon {

namespace {

// How long the emulator waits for the rest of a frame, and for the host's reply to the
// last answer before it disconnects on purpose: this many byte timeouts, at least kMinWaitMs.
constexpr int kWaitByteTimeouts = 20;
constexpr int kMinWaitMs = 200;
// How often the emulator looks whether a program has opened its terminal.
constexpr int kTerminalLookMs = 20;
// Pacing sends the bytes of this much line time at once.
constexpr auto kPacingStep = std::chrono::milliseconds(10);

using TClock = std::chrono::steady_clock;

bool Every(int k, std::uint64_t n) {
  return k > 0 && n % static_cast<std::uint64_t>(k) == 0;
}

std::string ErrnoText(int error) {
  return std::strerror(error);
}

// Waits for one of the descriptors; answers poll's result (0 on time-out), retrying on EINTR.
int PollFds(pollfd* fds, nfds_t count, int timeoutMs) {
  const auto deadline = TClock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  for (;;) {
    const int rc = poll(fds, count, timeoutMs);
    if (rc >= 0 || errno != EINTR) return rc;
    if (timeoutMs >= 0) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now()).count();
      timeoutMs = left > 0 ? static_cast<int>(left) : 0;
    }
  }
}

std::string AddressText(const sockaddr* address) {
  char host[INET6_ADDRSTRLEN] = {};
  std::string text;
  std::uint16_t port = 0;
  if (address->sa_family == AF_INET6) {
    const auto* a = reinterpret_cast<const sockaddr_in6*>(address);
    inet_ntop(AF_INET6, &a->sin6_addr, host, sizeof host);
    text.append(1, '[').append(host).append(1, ']');
    port = ntohs(a->sin6_port);
  } else {
    const auto* a = reinterpret_cast<const sockaddr_in*>(address);
    inet_ntop(AF_INET, &a->sin_addr, host, sizeof host);
    text.append(host);
    port = ntohs(a->sin_port);
  }
  text.append(1, ':').append(std::to_string(port));
  return text;
}

void CheckOption(const char* name, int value) {
  if (value < 0)
    throw EQuillonError(FormatShortValue(Tr("Недопустимое значение параметра %s: %s"),
                                         {name, std::to_string(value)}));
}

}  // namespace

std::string FaultNames(unsigned faults) {
  static const std::pair<unsigned, const char*> kNames[] = {
      {efBusy, "busy"},       {efDelay, "delay-ms"},        {efNak, "nak-every"},
      {efDrop, "drop-every"}, {efGarbage, "garbage-every"}, {efDisconnect, "disconnect-after"},
  };
  std::string text;
  for (const auto& [bit, name] : kNames) {
    if ((faults & bit) == 0) continue;
    if (!text.empty()) text += ", ";
    text += name;
  }
  return text;
}

std::string FormatExchange(const TExchange& exchange) {
  std::string line = BytesToHex(exchange.Request);
  line += " -> ";
  if (exchange.Kind == ekSync) return "Sync -> Sync";
  if (exchange.Refused)
    line += "NAK";
  else if (exchange.Answered)
    line += BytesToHex(exchange.Answer);
  else
    line += Tr("нет ответа");
  if (exchange.Kind == ekBadFrame) line += Tr(" (неверный кадр)");
  if (exchange.Kind == ekResend) line += Tr(" (повтор ответа)");
  if (exchange.Source == asLog || exchange.LogAnswerMissing)
    line += FormatShortValue(Tr(" (журнал, строка %s)"), {std::to_string(exchange.LogLine)});
  if (exchange.LogAnswerMissing && !exchange.AnswerTooLong) line += Tr(" (в журнале нет ответа)");
  if (exchange.Source == asBuiltIn) line += Tr(" (встроенный регистратор)");
  if (exchange.AnswerTooLong) {
    if (exchange.FrameLimit == kProtocol1MaxData)
      line += Tr(" (ответ длиннее 255 байт не помещается в кадр)");
    else
      line += FormatShortValue(Tr(" (ответ длиннее %s байт не помещается в кадр)"),
                               {std::to_string(exchange.FrameLimit)});
  }
  if (exchange.Faults != 0)
    line += FormatShortValue(Tr("  [сбой: %s]"), {FaultNames(exchange.Faults)});
  return line;
}

bool ParseListenAddress(std::string_view text, std::string& host, std::uint16_t& port) {
  std::string_view portText = text;
  host.clear();
  if (const std::size_t colon = text.rfind(':'); colon != std::string_view::npos) {
    std::string_view hostText = text.substr(0, colon);
    portText = text.substr(colon + 1);
    if (hostText.size() >= 2 && hostText.front() == '[' && hostText.back() == ']')
      hostText = hostText.substr(1, hostText.size() - 2);
    else if (hostText.find(':') != std::string_view::npos)
      return false;  // a bare IPv6 address needs brackets
    host = hostText;
  }
  if (portText.empty() || portText.size() > 5) return false;
  unsigned value = 0;
  for (char c : portText) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value > 65535) return false;
  if (host.empty()) host = "127.0.0.1";
  port = static_cast<std::uint16_t>(value);
  return true;
}

// One connection: a TCP client or the program on the terminal.
class TEmulator::TConnection final : public IEmulatorPeer {
 public:
  TConnection(TEmulator& owner, int fd, bool terminal)
      : FOwner(owner), FFd(fd), FTerminal(terminal), FRecorded(owner.FRecorded) {
    switch (owner.FProtocol) {
      case 2:
        FLink = MakeEmulatorLink2(*this);
        break;
      case 3:
        FLink = MakeEmulatorLink3(*this);
        break;
      default:
        FLink = MakeEmulatorLink1(*this);
    }
  }

  int Fd() const { return FFd; }
  bool Terminal() const { return FTerminal; }
  IEmulatorLink& Link() { return *FLink; }
  TBytes Input;  // bytes received and not yet handled

  TRequestDecision Execute(TBytes request, std::size_t frameLimit) override;
  bool ResendFaults(TExchange& exchange) override;
  bool React() override { return Wait(FOwner.FOptions.ByteTimeoutMs); }
  bool Send(TBytesView bytes) override;
  bool SendAnswer(TBytesView frame) override {
    return Wait(FOwner.FOptions.DelayMs) && Send(frame);
  }
  void Report(const TExchange& exchange) override { FOwner.Report(exchange); }
  void Close() override { FClosed = true; }
  bool Closed() const override { return FClosed; }
  void CloseWhenSettled() override { FSettling = true; }
  bool Settling() const override { return FSettling; }

 private:
  bool Wait(int ms) {
    if (!FOwner.Pause(ms)) FClosed = true;
    return !FClosed;
  }
  bool Write(TBytesView bytes);

  TEmulator& FOwner;
  int FFd;
  bool FTerminal;
  TRecordedAnswers FRecorded;  // this connection's position in the log
  std::unique_ptr<IEmulatorLink> FLink;
  int FExchanges = 0;  // request frames on this connection
  bool FClosed = false;
  bool FSettling = false;
  TClock::time_point FLineFree{};  // when the paced line has sent what it was given
};

TRequestDecision TEmulator::TConnection::Execute(TBytes request, std::size_t frameLimit) {
  TRequestDecision d;
  TExchange& exchange = d.Exchange;
  exchange.Request = std::move(request);
  exchange.FrameLimit = frameLimit;
  const TRequestFaults faults = FOwner.CountRequest();
  ++FExchanges;
  const int disconnectAfter = FOwner.FOptions.DisconnectAfter;
  d.Last = disconnectAfter > 0 && FExchanges >= disconnectAfter;
  if (d.Last) exchange.Faults |= efDisconnect;
  if (!React()) return d;

  if (faults.Refuse) {
    d.Outcome = roRefused;
    exchange.Faults |= efNak;
    return d;
  }
  if (faults.Drop) {
    d.Outcome = roDropped;
    exchange.Faults |= efDrop;
    return d;
  }
  d.Outcome = roAnswered;
  exchange.Answered = true;
  if (faults.Busy) {
    exchange.Faults |= efBusy;
    exchange.Answer = ResultAnswer(exchange.Request, kResultPrinting);
  } else if (const TRecordedCommand* recorded = FRecorded.Take(exchange.Request)) {
    exchange.Source = asLog;
    exchange.LogLine = recorded->LineNumber;
    exchange.AnswerTooLong = recorded->Answer.size() > frameLimit;
    if (recorded->Answer.empty() || exchange.AnswerTooLong) {
      // Silence would only keep the host waiting for its time-out.
      exchange.LogAnswerMissing = true;
      exchange.Source = asBuiltIn;
      exchange.Answer = FOwner.FRegister.Answer(exchange.Request);
    } else {
      exchange.Answer = recorded->Answer;
    }
  } else {
    exchange.Source = asBuiltIn;
    exchange.Answer = FOwner.FRegister.Answer(exchange.Request);
  }
  d.Garbage = FOwner.CountAnswerFrame();
  if (d.Garbage) exchange.Faults |= efGarbage;
  if (FOwner.FOptions.DelayMs > 0) exchange.Faults |= efDelay;
  return d;
}

bool TEmulator::TConnection::ResendFaults(TExchange& exchange) {
  exchange.Faults = 0;
  const bool garbage = FOwner.CountAnswerFrame();
  if (garbage) exchange.Faults |= efGarbage;
  if (FOwner.FOptions.DelayMs > 0) exchange.Faults |= efDelay;
  return garbage;
}

bool TEmulator::TConnection::Send(TBytesView bytes) {
  const int baud = FOwner.FOptions.Baud;
  if (baud <= 0) return Write(bytes);
  // Each byte takes 10 bits of line time; a piece is written when the line would have
  // sent its last byte.
  const std::size_t step =
      std::max<std::size_t>(1, static_cast<std::size_t>(baud / 10 * kPacingStep.count() / 1000));
  for (std::size_t at = 0; at < bytes.size() && !FClosed;) {
    const std::size_t n = std::min(step, bytes.size() - at);
    const auto lineTime = std::chrono::nanoseconds(static_cast<std::int64_t>(n) * 10 *
                                                   1'000'000'000 / static_cast<std::int64_t>(baud));
    FLineFree = std::max(FLineFree, TClock::now()) + lineTime;
    if (!FOwner.PauseUntil(FLineFree)) FClosed = true;
    if (!Write(bytes.substr(at, n))) break;
    at += n;
  }
  return !FClosed;
}

bool TEmulator::TConnection::Write(TBytesView bytes) {
  std::size_t done = 0;
  while (done < bytes.size() && !FClosed) {
    const ssize_t n = FTerminal ? write(FFd, bytes.data() + done, bytes.size() - done)
                                : send(FFd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd fds[2] = {{FFd, POLLOUT, 0}, {FOwner.FWakeRead, POLLIN, 0}};
      if (PollFds(fds, 2, -1) < 0 || fds[1].revents != 0) FClosed = true;
    } else {
      FClosed = true;  // the client is gone (EIO: nobody has the terminal open)
    }
  }
  return !FClosed;
}

// A thread serving one TCP connection.
struct TEmulator::TWorker {
  std::thread Thread;
  std::shared_ptr<std::atomic<bool>> Done;
};

TEmulator::TEmulator(TEmulatorOptions options) : FOptions(std::move(options)) {
  CheckOption("busy", FOptions.Busy);
  CheckOption("delay-ms", FOptions.DelayMs);
  CheckOption("nak-every", FOptions.NakEvery);
  CheckOption("drop-every", FOptions.DropEvery);
  CheckOption("garbage-every", FOptions.GarbageEvery);
  CheckOption("disconnect-after", FOptions.DisconnectAfter);
  CheckOption("byte-timeout", FOptions.ByteTimeoutMs);
  CheckOption("baud", FOptions.Baud);
  CheckOption("idle-timeout-s", FOptions.IdleTimeoutS);
  if (FOptions.Protocol < 0 || FOptions.Protocol > 3)
    throw EQuillonError(FormatShortValue(Tr("Недопустимое значение параметра %s: %s"),
                                         {"protocol", std::to_string(FOptions.Protocol)}));
  std::string host;
  std::uint16_t port = 0;
  if (!FOptions.Pty && !ParseListenAddress(FOptions.Listen, host, port))
    throw EQuillonError(
        FormatShortValue(Tr("Неверный адрес для приёма соединений: %s"), {FOptions.Listen}));
  if (!FOptions.LogFile.empty())
    FRecorded = TRecordedAnswers::FromLogFile(FOptions.LogFile, FOptions.LogEncoding);
  FProtocol = FOptions.Protocol != 0 ? FOptions.Protocol
                                     : (FRecorded.Protocol() != 0 ? FRecorded.Protocol() : 1);
  FBusyLeft = FOptions.Busy;

  int fds[2];
  if (pipe(fds) != 0) throw EQuillonError(ErrnoText(errno));
  FWakeRead = fds[0];
  FWakeWrite = fds[1];
  for (int fd : fds) {
    fcntl(fd, F_SETFD, FD_CLOEXEC);
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  }
}

TEmulator::~TEmulator() {
  Stop();
  if (FThread.joinable()) FThread.join();
  ReapWorkers(true);
  CloseListener();
  close(FWakeRead);
  close(FWakeWrite);
}

std::uint16_t TEmulator::Listen() {
  if (FOptions.Pty) {
    OpenTerminal();
    return 0;
  }
  if (FListenFd < 0) {
    std::string host;
    std::uint16_t port = 0;
    ParseListenAddress(FOptions.Listen, host, port);  // checked by the constructor
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (const int rc = getaddrinfo(host.c_str(), service.c_str(), &hints, &found); rc != 0)
      throw EQuillonError(FormatShortValue(Tr("Не удалось открыть адрес %s: %s"),
                                           {FOptions.Listen, gai_strerror(rc)}));
    int error = 0;
    for (addrinfo* a = found; a != nullptr && FListenFd < 0; a = a->ai_next) {
      const int fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
      if (fd < 0) {
        error = errno;
        continue;
      }
      const int on = 1;
      setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
      if (bind(fd, a->ai_addr, a->ai_addrlen) == 0 && listen(fd, 16) == 0) {
        FListenFd = fd;
      } else {
        error = errno;
        close(fd);
      }
    }
    freeaddrinfo(found);
    if (FListenFd < 0)
      throw EQuillonError(FormatShortValue(Tr("Не удалось открыть адрес %s: %s"),
                                           {FOptions.Listen, ErrnoText(error)}));
    sockaddr_storage bound{};
    socklen_t size = sizeof bound;
    getsockname(FListenFd, reinterpret_cast<sockaddr*>(&bound), &size);
    FLocalAddress = AddressText(reinterpret_cast<sockaddr*>(&bound));
  }
  const std::size_t colon = FLocalAddress.rfind(':');
  return static_cast<std::uint16_t>(std::stoul(FLocalAddress.substr(colon + 1)));
}

void TEmulator::OpenTerminal() {
  if (FTerminalFd >= 0) return;
  const int fd = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  char path[128] = {};
  termios mode{};
  const bool opened = fd >= 0 && grantpt(fd) == 0 && unlockpt(fd) == 0 &&
                      ptsname_r(fd, path, sizeof path) == 0 && tcgetattr(fd, &mode) == 0;
  if (opened) {
    cfmakeraw(&mode);  // no echo, no line editing: bytes pass as they are
    tcsetattr(fd, TCSANOW, &mode);
  }
  if (!opened) {
    const int error = errno;
    if (fd >= 0) close(fd);
    throw EQuillonError(
        FormatShortValue(Tr("Не удалось открыть терминал: %s"), {ErrnoText(error)}));
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  FTerminalFd = fd;
  FTerminalPath = path;
}

std::string TEmulator::LocalAddress() const {
  return FLocalAddress;
}

std::string TEmulator::TerminalPath() const {
  return FTerminalPath;
}

void TEmulator::CloseListener() {
  if (FListenFd >= 0) close(FListenFd);
  FListenFd = -1;
  if (FTerminalFd >= 0) close(FTerminalFd);
  FTerminalFd = -1;
}

void TEmulator::Run() {
  Listen();
  if (FOptions.Pty)
    RunTerminal();
  else
    RunSockets();
  CloseListener();
}

void TEmulator::RunSockets() {
  while (!Stopping()) {
    pollfd fds[2] = {{FListenFd, POLLIN, 0}, {FWakeRead, POLLIN, 0}};
    if (PollFds(fds, 2, -1) < 0) {
      const int error = errno;
      ReapWorkers(true);
      throw EQuillonError(ErrnoText(error));
    }
    if (fds[1].revents != 0) break;
    if ((fds[0].revents & POLLIN) == 0) continue;
    ReapWorkers(false);
    sockaddr_storage peer{};
    socklen_t size = sizeof peer;
    const int fd =
        accept4(FListenFd, reinterpret_cast<sockaddr*>(&peer), &size, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED || errno == EAGAIN || errno == EMFILE ||
          errno == ENFILE)
        continue;
      const int error = errno;
      ReapWorkers(true);
      throw EQuillonError(ErrnoText(error));
    }
    const int on = 1;  // every byte of the link goes out at once
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    const std::string peerText = AddressText(reinterpret_cast<sockaddr*>(&peer));
    auto done = std::make_shared<std::atomic<bool>>(false);
    Notice(FormatShortValue(Tr("Соединение с %s"), {peerText}));
    FWorkers.push_back({std::thread([this, fd, done] {
                          try {
                            TConnection c(*this, fd, false);
                            Serve(c);
                          } catch (...) {
                            // Out of memory: this connection ends, the others go on.
                          }
                          close(fd);
                          Notice(Tr("Соединение закрыто"));
                          done->store(true, std::memory_order_release);
                        }),
                        done});
  }
  ReapWorkers(true);
}

void TEmulator::ReapWorkers(bool all) {
  for (auto it = FWorkers.begin(); it != FWorkers.end();) {
    if (all || it->Done->load(std::memory_order_acquire)) {
      it->Thread.join();
      it = FWorkers.erase(it);
    } else {
      ++it;
    }
  }
}

void TEmulator::RunTerminal() {
  while (!Stopping()) {
    pollfd fds[2] = {{FTerminalFd, POLLIN, 0}, {FWakeRead, POLLIN, 0}};
    if (PollFds(fds, 2, -1) < 0) throw EQuillonError(ErrnoText(errno));
    if (fds[1].revents != 0) break;
    if ((fds[0].revents & POLLIN) == 0) {  // nobody has the terminal open
      Pause(kTerminalLookMs);
      continue;
    }
    Notice(FormatShortValue(Tr("Соединение с %s"), {FTerminalPath}));
    {
      TConnection c(*this, FTerminalFd, true);
      Serve(c);
    }
    // What went out after the client stopped reading would reach the next one: read it
    // off from the slave side.
    if (const int slave = open(FTerminalPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        slave >= 0) {
      std::uint8_t buffer[4096];
      while (read(slave, buffer, sizeof buffer) > 0) {
      }
      close(slave);
    }
    Notice(Tr("Соединение закрыто"));
  }
}

std::uint16_t TEmulator::Start() {
  const std::uint16_t port = Listen();
  if (FThread.joinable()) return port;  // already started
  FThread = std::thread([this] {
    try {
      Run();
    } catch (...) {
      FThreadError = std::current_exception();
    }
  });
  return port;
}

void TEmulator::Stop() {
  FStop.store(true, std::memory_order_release);
  const char wake = 1;
  const ssize_t written = write(FWakeWrite, &wake, 1);  // a full pipe wakes as well
  (void)written;
}

void TEmulator::Wait() {
  if (FThread.joinable()) FThread.join();
  if (FThreadError) std::rethrow_exception(std::exchange(FThreadError, nullptr));
}

bool TEmulator::Pause(int ms) const {
  if (ms > 0) {
    pollfd wake{FWakeRead, POLLIN, 0};
    PollFds(&wake, 1, ms);
  }
  return !Stopping();
}

bool TEmulator::PauseUntil(TClock::time_point until) const {
  for (;;) {
    const auto left = until - TClock::now();
    if (left <= TClock::duration::zero() || Stopping()) break;
    // poll counts whole milliseconds; the rest is slept.
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(left).count();
    if (ms > 0)
      Pause(static_cast<int>(std::min<std::int64_t>(ms, INT_MAX)));
    else
      std::this_thread::sleep_for(left);
  }
  return !Stopping();
}

TEmulator::TRequestFaults TEmulator::CountRequest() {
  std::lock_guard lock(FFaultMutex);
  TRequestFaults faults;
  if (Every(FOptions.NakEvery, ++FRequestFrames)) {
    faults.Refuse = true;
  } else if (Every(FOptions.DropEvery, ++FAcceptedRequests)) {
    faults.Drop = true;
  } else if (FBusyLeft > 0) {
    --FBusyLeft;
    faults.Busy = true;
  } else {
    FBusyLeft = FOptions.Busy;
  }
  return faults;
}

bool TEmulator::CountAnswerFrame() {
  std::lock_guard lock(FFaultMutex);
  return Every(FOptions.GarbageEvery, ++FAnswerFrames);
}

void TEmulator::Report(const TExchange& exchange) const {
  std::lock_guard lock(FReportMutex);
  if (FOptions.OnExchange) FOptions.OnExchange(exchange);
}

void TEmulator::Notice(const std::string& text) const {
  std::lock_guard lock(FReportMutex);
  if (FOptions.OnNotice) FOptions.OnNotice(text);
}

void TEmulator::Serve(TConnection& c) {
  const auto waitLimit = std::chrono::milliseconds(std::max<std::int64_t>(
      kMinWaitMs, std::int64_t{kWaitByteTimeouts} * std::max(FOptions.ByteTimeoutMs, 1)));
  const bool idleLimit = !c.Terminal() && FOptions.IdleTimeoutS > 0;
  const auto idleTime = std::chrono::seconds(FOptions.IdleTimeoutS);
  TClock::time_point deadline{};  // of an incomplete frame, or of CloseWhenSettled
  TClock::time_point lastActive = TClock::now();
  std::uint8_t buffer[4096];
  while (!c.Closed() && !Stopping()) {
    const bool waiting = !c.Input.empty() || c.Settling();
    TClock::time_point until = TClock::time_point::max();
    if (waiting) until = deadline;
    if (idleLimit) until = std::min(until, lastActive + idleTime);
    int timeout = -1;
    if (until != TClock::time_point::max()) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - TClock::now());
      timeout = static_cast<int>(std::clamp<std::int64_t>(left.count(), 0, INT_MAX));
    }
    pollfd fds[2] = {{c.Fd(), POLLIN, 0}, {FWakeRead, POLLIN, 0}};
    const int rc = PollFds(fds, 2, timeout);
    if (rc < 0 || fds[1].revents != 0) return;
    if (rc == 0) {
      const auto now = TClock::now();
      if (waiting && now >= deadline) {
        if (c.Settling()) return;
        c.Link().Incomplete(c.Input);  // the rest of the frame never came
        lastActive = TClock::now();
        continue;
      }
      if (idleLimit && now >= lastActive + idleTime) {
        Notice(FormatShortValue(Tr("Клиент молчит %s с: соединение разорвано"),
                                {std::to_string(FOptions.IdleTimeoutS)}));
        return;
      }
      continue;
    }
    if ((fds[0].revents & POLLIN) == 0) return;  // hung up
    const ssize_t n =
        c.Terminal() ? read(c.Fd(), buffer, sizeof buffer) : recv(c.Fd(), buffer, sizeof buffer, 0);
    if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
    if (n <= 0) return;  // closed; on the terminal EIO: the client closed it
    c.Input.append(buffer, static_cast<std::size_t>(n));
    c.Link().Process(c.Input);
    lastActive = TClock::now();
    deadline = lastActive + waitLimit;
  }
}

}  // namespace quillon
