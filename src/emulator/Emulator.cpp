#include "emulator/Emulator.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
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
#include "core/KorvanProtocol1.h"
#include "core/Translate.h"
#include "parser/ShortValueFormat.h"

namespace quillon {

namespace {

// How long the emulator waits for the rest of a frame, and for the host's reply to the
// last answer before it disconnects on purpose: this many byte timeouts, at least kMinWaitMs.
constexpr int kWaitByteTimeouts = 20;
constexpr int kMinWaitMs = 200;

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
  if (exchange.Refused)
    line += "NAK";
  else if (exchange.Answered)
    line += BytesToHex(exchange.Answer);
  else
    line += Tr("нет ответа");
  if (exchange.Kind == ekBadFrame) line += Tr(" (неверный кадр)");
  if (exchange.Kind == ekResend) line += Tr(" (повтор ответа)");
  if (exchange.Source == asLog)
    line += FormatShortValue(Tr(" (журнал, строка %s)"), {std::to_string(exchange.LogLine)});
  if (exchange.Source == asBuiltIn) line += Tr(" (встроенный регистратор)");
  if (exchange.AnswerTooLong) line += Tr(" (ответ длиннее 255 байт не помещается в кадр)");
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

// The state of one connection.
struct TEmulator::TConnection {
  int Fd = -1;
  TBytes Input;                   // bytes received and not yet handled
  std::optional<TExchange> Held;  // the answer the host has not acknowledged yet
  int Exchanges = 0;              // request frames on this connection
  bool Closed = false;
  bool CloseWhenSettled = false;  // close once the host has replied to the last answer
  TClock::time_point Deadline{};  // of an incomplete frame, or of CloseWhenSettled

  bool Send(TBytesView bytes) {
    std::size_t done = 0;
    while (done < bytes.size() && !Closed) {
      const ssize_t n = send(Fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
      if (n > 0)
        done += static_cast<std::size_t>(n);
      else if (n < 0 && errno == EINTR)
        continue;
      else
        Closed = true;
    }
    return !Closed;
  }
  bool SendByte(std::uint8_t b) { return Send(TBytesView(&b, 1)); }
};

TEmulator::TEmulator(TEmulatorOptions options) : FOptions(std::move(options)) {
  CheckOption("busy", FOptions.Busy);
  CheckOption("delay-ms", FOptions.DelayMs);
  CheckOption("nak-every", FOptions.NakEvery);
  CheckOption("drop-every", FOptions.DropEvery);
  CheckOption("garbage-every", FOptions.GarbageEvery);
  CheckOption("disconnect-after", FOptions.DisconnectAfter);
  CheckOption("byte-timeout", FOptions.ByteTimeoutMs);
  std::string host;
  std::uint16_t port = 0;
  if (!ParseListenAddress(FOptions.Listen, host, port))
    throw EQuillonError(
        FormatShortValue(Tr("Неверный адрес для приёма соединений: %s"), {FOptions.Listen}));
  if (!FOptions.LogFile.empty()) FRecorded = TRecordedAnswers::FromLogFile(FOptions.LogFile);
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
  CloseListener();
  close(FWakeRead);
  close(FWakeWrite);
}

std::uint16_t TEmulator::Listen() {
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
      if (bind(fd, a->ai_addr, a->ai_addrlen) == 0 && listen(fd, 4) == 0) {
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

std::string TEmulator::LocalAddress() const {
  return FLocalAddress;
}

void TEmulator::CloseListener() {
  if (FListenFd >= 0) close(FListenFd);
  FListenFd = -1;
}

void TEmulator::Run() {
  Listen();
  while (!Stopping()) {
    pollfd fds[2] = {{FListenFd, POLLIN, 0}, {FWakeRead, POLLIN, 0}};
    if (PollFds(fds, 2, -1) < 0) throw EQuillonError(ErrnoText(errno));
    if (fds[1].revents != 0) break;
    if ((fds[0].revents & POLLIN) == 0) continue;
    sockaddr_storage peer{};
    socklen_t size = sizeof peer;
    const int fd = accept4(FListenFd, reinterpret_cast<sockaddr*>(&peer), &size, SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED || errno == EAGAIN) continue;
      throw EQuillonError(ErrnoText(errno));
    }
    const int on = 1;  // every byte of the link goes out at once
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    Notice(
        FormatShortValue(Tr("Соединение с %s"), {AddressText(reinterpret_cast<sockaddr*>(&peer))}));
    Serve(fd);
    close(fd);
    Notice(Tr("Соединение закрыто"));
  }
  CloseListener();
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

void TEmulator::Report(const TExchange& exchange) const {
  if (FOptions.OnExchange) FOptions.OnExchange(exchange);
}

void TEmulator::Notice(const std::string& text) const {
  if (FOptions.OnNotice) FOptions.OnNotice(text);
}

void TEmulator::Serve(int fd) {
  TConnection c;
  c.Fd = fd;
  const auto waitLimit = std::chrono::milliseconds(std::max<std::int64_t>(
      kMinWaitMs, std::int64_t{kWaitByteTimeouts} * std::max(FOptions.ByteTimeoutMs, 1)));
  std::uint8_t buffer[4096];
  while (!c.Closed && !Stopping()) {
    const bool waiting = !c.Input.empty() || c.CloseWhenSettled;
    int timeout = -1;
    if (waiting) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(c.Deadline - TClock::now());
      timeout = static_cast<int>(std::clamp<std::int64_t>(left.count(), 0, INT_MAX));
    }
    pollfd fds[2] = {{fd, POLLIN, 0}, {FWakeRead, POLLIN, 0}};
    const int rc = PollFds(fds, 2, timeout);
    if (rc < 0 || fds[1].revents != 0) return;
    if (rc == 0) {
      if (c.CloseWhenSettled) return;
      // The rest of the frame never came.
      OnBadFrame(c, std::exchange(c.Input, TBytes()));
      continue;
    }
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    c.Input.append(buffer, static_cast<std::size_t>(n));
    ProcessInput(c);
    c.Deadline = TClock::now() + waitLimit;
  }
}

void TEmulator::ProcessInput(TConnection& c) {
  while (!c.Input.empty() && !c.Closed && !Stopping()) {
    switch (c.Input[0]) {
      case kENQ:
        c.Input.erase(0, 1);
        OnEnq(c);
        break;
      case kACK:
      case kNAK:
        // ACK drops the held answer; after NAK it waits for the host's next ENQ.
        if (c.Input[0] == kACK) c.Held.reset();
        c.Input.erase(0, 1);
        if (c.CloseWhenSettled) c.Closed = true;
        break;
      case kSTX: {
        if (c.Input.size() < 2 || c.Input.size() < c.Input[1] + 3u) return;  // not all here
        TBytes request;
        std::size_t consumed = 0;
        if (TKorvanProtocol1::Decode(c.Input, request, consumed)) {
          c.Input.erase(0, consumed);
          OnRequest(c, std::move(request));
        } else {
          const std::size_t size = c.Input[1] + 3u;
          TBytes raw = c.Input.substr(0, size);
          c.Input.erase(0, size);
          OnBadFrame(c, std::move(raw));
        }
        break;
      }
      default:
        c.Input.erase(0, 1);  // line noise
    }
  }
}

void TEmulator::OnEnq(TConnection& c) {
  if (!Pause(FOptions.ByteTimeoutMs)) return;
  if (!c.Held) {
    c.SendByte(kNAK);
    return;
  }
  TExchange exchange = *c.Held;
  exchange.Kind = ekResend;
  exchange.Faults = 0;
  const bool garbage = Every(FOptions.GarbageEvery, ++FAnswerFrames);
  if (garbage) exchange.Faults |= efGarbage;
  if (FOptions.DelayMs > 0) exchange.Faults |= efDelay;
  Report(exchange);
  if (c.SendByte(kACK)) SendAnswerFrame(c, exchange.Answer, garbage);
}

void TEmulator::OnRequest(TConnection& c, TBytes request) {
  TExchange exchange;
  exchange.Request = std::move(request);
  ++FRequestFrames;
  ++c.Exchanges;
  const bool last = FOptions.DisconnectAfter > 0 && c.Exchanges >= FOptions.DisconnectAfter;
  if (last) exchange.Faults |= efDisconnect;
  if (!Pause(FOptions.ByteTimeoutMs)) return;

  if (Every(FOptions.NakEvery, FRequestFrames)) {
    exchange.Refused = true;
    exchange.Faults |= efNak;
    Report(exchange);
    c.SendByte(kNAK);
    if (last) c.Closed = true;
    return;
  }
  c.Held.reset();  // a new request: the host gave up on the old answer
  if (Every(FOptions.DropEvery, ++FAcceptedRequests)) {
    exchange.Faults |= efDrop;
    Report(exchange);
    c.SendByte(kACK);
    if (last) c.Closed = true;
    return;
  }

  if (FBusyLeft > 0) {
    --FBusyLeft;
    exchange.Faults |= efBusy;
    exchange.Answered = true;
    exchange.Answer = ResultAnswer(exchange.Request, kResultPrinting);
  } else {
    FBusyLeft = FOptions.Busy;
    if (const TRecordedCommand* recorded = FRecorded.Take(exchange.Request)) {
      exchange.Source = asLog;
      exchange.LogLine = recorded->LineNumber;
      exchange.AnswerTooLong = recorded->Answer.size() > kProtocol1MaxData;
      exchange.Answered = !recorded->Answer.empty() && !exchange.AnswerTooLong;
      if (exchange.Answered) exchange.Answer = recorded->Answer;
    } else {
      exchange.Source = asBuiltIn;
      exchange.Answered = true;
      exchange.Answer = FRegister.Answer(exchange.Request);
    }
  }

  bool garbage = false;
  if (exchange.Answered) {
    garbage = Every(FOptions.GarbageEvery, ++FAnswerFrames);
    if (garbage) exchange.Faults |= efGarbage;
    if (FOptions.DelayMs > 0) exchange.Faults |= efDelay;
    c.Held = exchange;
  }
  Report(exchange);
  if (!c.SendByte(kACK)) return;
  if (exchange.Answered) SendAnswerFrame(c, exchange.Answer, garbage);
  if (last) {
    if (exchange.Answered)
      c.CloseWhenSettled = true;  // let the host read the answer and reply to it first
    else
      c.Closed = true;
  }
}

void TEmulator::OnBadFrame(TConnection& c, TBytes raw) {
  TExchange exchange;
  exchange.Kind = ekBadFrame;
  exchange.Request = std::move(raw);
  exchange.Refused = true;
  if (!Pause(FOptions.ByteTimeoutMs)) return;
  Report(exchange);
  c.SendByte(kNAK);
}

bool TEmulator::SendAnswerFrame(TConnection& c, const TBytes& payload, bool garbage) {
  if (!Pause(FOptions.DelayMs)) return false;
  TBytes frame = TKorvanProtocol1::Encode(payload);
  if (garbage) frame.back() ^= 0xFF;
  return c.Send(frame);
}

}  // namespace quillon
