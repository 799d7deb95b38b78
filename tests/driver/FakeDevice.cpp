#include "FakeDevice.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>

#include "core/BinUtils.h"
#include "core/KorvanProtocol1.h"
#include "core/KorvanProtocol2.h"
#include "core/KorvanProtocol3.h"

namespace quillon::test {

namespace {

using TClock = std::chrono::steady_clock;

int RemainingMs(TClock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

struct TFakeDevice::TStep {
  enum TKind { skExpect, skSend, skReconnect, skHangup, skServe, skServeProtocol } Kind;
  TBytes Bytes;
  TResponder Responder;
  int Protocol = 0;
  std::vector<TFrameStep> Plan;
};

std::unique_ptr<TFakeDevice> TFakeDevice::ListenTcp() {
  std::unique_ptr<TFakeDevice> device(new TFakeDevice());
  device->FListenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (device->FListenFd < 0) return nullptr;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  if (bind(device->FListenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(device->FListenFd, 4) != 0 ||
      getsockname(device->FListenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    return nullptr;
  device->FPort = ntohs(address.sin_port);
  return device;
}

std::unique_ptr<TFakeDevice> TFakeDevice::OpenPty() {
  std::unique_ptr<TFakeDevice> device(new TFakeDevice());
  device->FPty = true;
  device->FFd = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (device->FFd < 0 || grantpt(device->FFd) != 0 || unlockpt(device->FFd) != 0) return nullptr;
  const char* name = ptsname(device->FFd);
  if (name == nullptr) return nullptr;
  device->FSlavePath = name;
  return device;
}

TFakeDevice::~TFakeDevice() {
  Finish();
  if (FFd >= 0) close(FFd);
  if (FListenFd >= 0) close(FListenFd);
}

std::string TFakeDevice::Uri() const {
  if (FPty) return SerialUri(115200);
  return "tcp://127.0.0.1:" + std::to_string(FPort);
}

std::string TFakeDevice::SerialUri(int baud) const {
  return "serial:" + FSlavePath + "?baud=" + std::to_string(baud);
}

TFakeDevice& TFakeDevice::Expect(TBytes bytes) {
  FSteps.push_back({TStep::skExpect, std::move(bytes), nullptr, 0, {}});
  return *this;
}

TFakeDevice& TFakeDevice::ExpectFrame(TBytesView payload) {
  return Expect(TKorvanProtocol1::Encode(payload));
}

TFakeDevice& TFakeDevice::Send(TBytes bytes) {
  FSteps.push_back({TStep::skSend, std::move(bytes), nullptr, 0, {}});
  return *this;
}

TFakeDevice& TFakeDevice::SendFrame(TBytesView payload) {
  return Send(TKorvanProtocol1::Encode(payload));
}

TFakeDevice& TFakeDevice::Reconnect() {
  FSteps.push_back({TStep::skReconnect, {}, nullptr, 0, {}});
  return *this;
}

TFakeDevice& TFakeDevice::Hangup() {
  FSteps.push_back({TStep::skHangup, {}, nullptr, 0, {}});
  return *this;
}

TFakeDevice& TFakeDevice::Serve(TResponder responder) {
  FSteps.push_back({TStep::skServe, {}, std::move(responder), 0, {}});
  return *this;
}

TFakeDevice& TFakeDevice::ServeProtocol(int protocol, TResponder responder,
                                        std::vector<TFrameStep> steps) {
  FSteps.push_back({TStep::skServeProtocol, {}, std::move(responder), protocol, std::move(steps)});
  return *this;
}

void TFakeDevice::Start() {
  FThread = std::thread([this] { Run(); });
}

std::string TFakeDevice::Finish() {
  FStop = true;
  if (FThread.joinable()) FThread.join();
  std::lock_guard lock(FLock);
  return FFailures;
}

std::vector<TBytes> TFakeDevice::Served() const {
  std::lock_guard lock(FLock);
  return FServed;
}

std::vector<TFakeDevice::TFrameSeen> TFakeDevice::Frames() const {
  std::lock_guard lock(FLock);
  return FFrames;
}

int TFakeDevice::Syncs() const {
  std::lock_guard lock(FLock);
  return FSyncs;
}

bool TFakeDevice::WaitForDisconnects(int count) {
  std::unique_lock lock(FLock);
  return FChanged.wait_for(lock, std::chrono::milliseconds(kExpectWait),
                           [&] { return FDisconnects >= count; });
}

void TFakeDevice::Fail(const std::string& text) {
  std::lock_guard lock(FLock);
  if (!FFailures.empty()) FFailures += "; ";
  FFailures += text;
}

bool TFakeDevice::Accept() {
  pollfd entry{FListenFd, POLLIN, 0};
  if (poll(&entry, 1, kExpectWait) != 1) return false;
  FFd = accept4(FListenFd, nullptr, nullptr, SOCK_CLOEXEC);
  return FFd >= 0;
}

bool TFakeDevice::ReadBytes(std::size_t count, TBytes& out, int waitMs) {
  const auto deadline = TClock::now() + std::chrono::milliseconds(waitMs);
  while (out.size() < count) {
    int left = RemainingMs(deadline);
    pollfd entry{FFd, POLLIN, 0};
    int ready = poll(&entry, 1, std::min(left, 20));
    if (ready == 1) {
      std::uint8_t buffer[256];
      std::size_t want = std::min(count - out.size(), sizeof buffer);
      ssize_t got = read(FFd, buffer, want);
      if (got > 0) {
        out.append(buffer, static_cast<std::size_t>(got));
        continue;
      }
      // A pty master reads EIO while no one holds the other side open.
      if (!(FPty && got < 0 && errno == EIO)) return false;
      usleep(2000);
    }
    if (left == 0 || FStop) return false;
  }
  return true;
}

bool TFakeDevice::WriteBytes(TBytesView bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    // A host that has gone must not end the test program with SIGPIPE.
    ssize_t put = FPty ? write(FFd, bytes.data() + done, bytes.size() - done)
                       : send(FFd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (put <= 0) return false;
    done += static_cast<std::size_t>(put);
  }
  return true;
}

// The device side of one protocol, whole exchanges at a time.
class TFakeDevice::TProtocolServer {
 public:
  TProtocolServer(TFakeDevice& device, const TStep& step)
      : D(device), FProtocol(step.Protocol), FResponder(step.Responder), FPlan(step.Plan) {}

  void Run() {
    while (!D.FStop) {
      std::uint8_t first = 0;
      int got = ReadByte(first, 20);
      if (got == 0) continue;
      if (got < 0) {
        if (!NextConnection()) return;
        continue;
      }
      bool going = FProtocol == 1   ? Exchange1(first)
                   : FProtocol == 2 ? Exchange2(first)
                                    : Exchange3(first);
      if (!going) return;
    }
  }

 private:
  // 1: a byte; 0: none within waitMs (or the device stops); -1: the host has gone.
  int ReadByte(std::uint8_t& byte, int waitMs) {
    const auto deadline = TClock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
      int left = RemainingMs(deadline);
      pollfd entry{D.FFd, POLLIN, 0};
      if (poll(&entry, 1, std::min(left, 20)) == 1) {
        ssize_t got = read(D.FFd, &byte, 1);
        if (got == 1) return 1;
        // A pty master reads EIO while no one holds the other side open.
        if (!(D.FPty && got < 0 && errno == EIO)) return -1;
        usleep(2000);
      }
      if (left == 0 || D.FStop) return 0;
    }
  }

  bool Broken(const std::string& text) {
    D.Fail("protocol " + std::to_string(FProtocol) + ": " + text);
    return false;
  }

  // The host has gone: the next connection, with nothing remembered from this one.
  bool NextConnection() {
    if (D.FPty) return Broken("the pseudo-terminal failed");
    close(D.FFd);
    D.FFd = -1;
    {
      std::lock_guard lock(D.FLock);
      ++D.FDisconnects;
    }
    D.FChanged.notify_all();
    FHasLast = false;
    while (!D.FStop) {
      pollfd entry{D.FListenFd, POLLIN, 0};
      if (poll(&entry, 1, 20) != 1) continue;
      D.FFd = accept4(D.FListenFd, nullptr, nullptr, SOCK_CLOEXEC);
      return D.FFd >= 0;
    }
    return false;
  }

  // The line's time for `bytes` that came in.
  void WaitLine(std::size_t bytes) const {
    if (D.FLineBaud > 0)
      std::this_thread::sleep_for(
          std::chrono::microseconds(static_cast<std::int64_t>(bytes) * 10'000'000 / D.FLineBaud));
  }

  // Sends at the line's pace: each byte when it would have crossed the line.
  void Write(TBytesView bytes) {
    std::this_thread::sleep_for(std::chrono::milliseconds(kReactDelay));
    if (D.FLineBaud <= 0) {
      D.WriteBytes(bytes);
      return;
    }
    const auto start = TClock::now();
    const auto perByte = std::chrono::microseconds(10'000'000 / D.FLineBaud);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      std::this_thread::sleep_until(start + perByte * static_cast<int>(i + 1));
      if (!D.WriteBytes(bytes.substr(i, 1))) return;
    }
  }

  // Waits, and answers false when the device stops or the host hangs up meanwhile.
  bool Delay(int ms) {
    const auto deadline = TClock::now() + std::chrono::milliseconds(ms);
    while (TClock::now() < deadline) {
      if (D.FStop) return false;
      std::uint8_t byte = 0;
      if (!D.FPty && recv(D.FFd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
  }

  TFrameStep NextStep(const TBytes& data, std::uint32_t number) {
    std::lock_guard lock(D.FLock);
    D.FFrames.push_back({data, number});
    return FSeen < FPlan.size() ? FPlan[FSeen++] : TFrameStep();
  }

  // Carries the request out, unless it repeats the last one carried out.
  TBytes Execute(const TBytes& data, std::uint32_t number) {
    if (FProtocol != 1 && FHasLast && number == FLastNumber) return FLastAnswer;
    TBytes answer = FResponder(data);
    {
      std::lock_guard lock(D.FLock);
      D.FServed.push_back(data);
    }
    FHasLast = true;
    FLastNumber = number;
    FLastAnswer = answer;
    return answer;
  }

  TBytes AnswerFrame(const TBytes& answer, std::uint32_t number, TFault fault) const {
    if (FProtocol == 2) {
      TKorvanFrame2 frame;
      frame.Data = answer;
      frame.Number =
          static_cast<std::int32_t>(fault == sfOtherNumber ? (number + 1) & 0xFFFF : number);
      if (fault != sfBadCrc) return TKorvanProtocol2::Encode(frame);
      TBytes body = IntToBytes(static_cast<std::int64_t>(answer.size() + 2), 2) +
                    IntToBytes(frame.Number, 2) + answer;
      const std::uint16_t wrong = Crc16Ccitt(body) ^ 0x5A5A;
      return MakeBytes({kProtocol2Start}) + TKorvanProtocol2::Stuffing(body + IntToBytes(wrong, 2));
    }
    TKorvanFrame3 frame;
    frame.Data = answer;
    frame.Number = static_cast<std::int32_t>(fault == sfOtherNumber ? (number + 1) & 0xFF : number);
    TBytes bytes = TKorvanProtocol3::Encode(frame);
    if (fault == sfBadCrc) bytes.back() ^= 0x5A;
    return bytes;
  }

  // A request of protocol 2 or 3 as its step says.
  bool Answer(const TBytes& data, std::uint32_t number) {
    const TFrameStep step = NextStep(data, number);
    if (step.Fault == sfIgnore) return true;
    if (step.Fault == sfHangup) return NextConnection();
    if (FProtocol == 3) Write(MakeBytes({kProtocol3Ack}));
    const TBytes answer = Execute(data, number);
    if (step.DelayMs > 0 && !Delay(step.DelayMs)) return !D.FStop && NextConnection();
    Write(AnswerFrame(answer, number, step.Fault));
    return true;
  }

  bool Exchange1(std::uint8_t first) {
    if (first == kENQ) {
      WaitLine(1);
      Write(MakeBytes({kNAK}));
      return true;
    }
    if (first != kSTX) return Broken("unexpected byte " + BytesToHex(MakeBytes({first})));
    TBytes raw(1, first);
    if (!D.ReadBytes(2, raw, 200) || !D.ReadBytes(raw[1] + 3u, raw, 2000))
      return Broken("incomplete frame [" + BytesToHex(raw) + "]");
    const std::size_t size = raw.size();
    TBytes data;
    if (!TKorvanProtocol1::Decode(raw, data)) return Broken("corrupt frame");
    WaitLine(size);
    const TFrameStep step = NextStep(data, 0);
    if (step.Fault == sfIgnore) return true;
    if (step.Fault == sfHangup) return NextConnection();
    if (step.Fault != sfNone) return Broken("that fault is not played in protocol 1");
    Write(MakeBytes({kACK}));
    const TBytes answer = Execute(data, 0);
    if (step.DelayMs > 0 && !Delay(step.DelayMs)) return !D.FStop && NextConnection();
    Write(TKorvanProtocol1::Encode(answer));
    std::uint8_t ack = 0;
    int got = ReadByte(ack, kExpectWait);
    if (got < 0) return NextConnection();
    if (got == 0 || ack != kACK) return D.FStop || Broken("the answer was not acknowledged");
    return true;
  }

  bool Exchange2(std::uint8_t first) {
    if (first != kProtocol2Start)
      return Broken("unexpected byte " + BytesToHex(MakeBytes({first})));
    TBytes raw(1, first);
    TBytes body;
    TProtocol2Unstuffer unstuffer;
    while (body.size() < 2 || body.size() < (body[0] | body[1] << 8) + 4u) {
      if (!D.ReadBytes(raw.size() + 1, raw, 200))
        return Broken("incomplete frame [" + BytesToHex(raw) + "]");
      if (raw.back() == kProtocol2Start) return Broken("start byte inside a frame");
      if (auto value = unstuffer.Feed(raw.back())) body.push_back(*value);
    }
    TKorvanFrame2 frame;
    if (!TKorvanProtocol2::Decode(raw, frame)) return Broken("corrupt frame");
    WaitLine(raw.size());
    if (!frame.Data.empty()) return Answer(frame.Data, frame.Number & 0xFFFF);
    {
      std::lock_guard lock(D.FLock);
      ++D.FSyncs;
    }
    Write(TKorvanProtocol2::Encode(TKorvanFrame2()));
    return true;
  }

  bool Exchange3(std::uint8_t first) {
    if (first != kProtocol3Start)
      return Broken("unexpected byte " + BytesToHex(MakeBytes({first})));
    TBytes raw(1, first);
    if (!D.ReadBytes(5, raw, 200) || !D.ReadBytes((raw[3] | raw[4] << 8) + 7u, raw, 5000))
      return Broken("incomplete frame [" + BytesToHex(raw) + "]");
    TKorvanFrame3 frame;
    if (!TKorvanProtocol3::Decode(raw, frame)) return Broken("corrupt frame");
    WaitLine(raw.size());
    return Answer(frame.Data, frame.Number & 0xFF);
  }

  TFakeDevice& D;
  int FProtocol;
  TResponder FResponder;
  std::vector<TFrameStep> FPlan;
  std::size_t FSeen = 0;
  bool FHasLast = false;
  std::uint32_t FLastNumber = 0;
  TBytes FLastAnswer;
};

void TFakeDevice::Run() {
  if (!FPty && !Accept()) {
    Fail("no connection from the host");
    return;
  }
  for (std::size_t i = 0; i < FSteps.size(); ++i) {
    const TStep& step = FSteps[i];
    const std::string where = "step " + std::to_string(i + 1) + ": ";
    switch (step.Kind) {
      case TStep::skExpect: {
        TBytes got;
        bool complete = ReadBytes(step.Bytes.size(), got, kExpectWait);
        if (!complete || got != step.Bytes) {
          Fail(where + "expected [" + BytesToHex(step.Bytes) + "], got [" + BytesToHex(got) + "]" +
               (complete ? "" : " before the wait ran out"));
          return;
        }
        break;
      }
      case TStep::skSend:
        std::this_thread::sleep_for(std::chrono::milliseconds(kReactDelay));
        if (!WriteBytes(step.Bytes)) {
          Fail(where + "could not send [" + BytesToHex(step.Bytes) + "]");
          return;
        }
        break;
      case TStep::skReconnect:
        close(FFd);
        FFd = -1;
        {
          std::lock_guard lock(FLock);
          ++FDisconnects;
        }
        FChanged.notify_all();
        if (!Accept()) {
          Fail(where + "the host did not connect again");
          return;
        }
        break;
      case TStep::skHangup:
        close(FFd);
        FFd = -1;
        return;
      case TStep::skServe:
        RunServe(step.Responder);
        return;
      case TStep::skServeProtocol:
        TProtocolServer(*this, step).Run();
        return;
    }
  }
  // The script is over: the host must not have sent anything more.
  while (!FStop) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  TBytes extra;
  ReadBytes(1, extra, 20);
  if (!extra.empty()) Fail("the host sent more than scripted: [" + BytesToHex(extra) + "]");
}

void TFakeDevice::RunServe(const TResponder& responder) {
  while (!FStop) {
    TBytes first;
    if (!ReadBytes(1, first, 20)) continue;
    std::this_thread::sleep_for(std::chrono::milliseconds(kReactDelay));
    if (first[0] == quillon::kENQ) {
      WriteBytes(MakeBytes({quillon::kNAK}));
      continue;
    }
    TBytes head;
    if (first[0] != quillon::kSTX || !ReadBytes(1, head, 200)) {
      Fail("serve: unexpected byte [" + BytesToHex(first) + "]");
      return;
    }
    TBytes frame = first + head;
    if (!ReadBytes(static_cast<std::size_t>(head[0]) + 3, frame, 200)) {
      Fail("serve: incomplete frame [" + BytesToHex(frame) + "]");
      return;
    }
    TBytes request;
    if (!TKorvanProtocol1::Decode(frame, request)) {
      Fail("serve: corrupt frame");
      return;
    }
    {
      std::lock_guard lock(FLock);
      FServed.push_back(request);
    }
    WriteBytes(MakeBytes({quillon::kACK}));
    std::this_thread::sleep_for(std::chrono::milliseconds(kReactDelay));
    WriteBytes(TKorvanProtocol1::Encode(responder(request)));
    TBytes ack;
    if (!ReadBytes(1, ack, kExpectWait) || ack[0] != quillon::kACK) {
      Fail("serve: the answer was not acknowledged");
      return;
    }
  }
}

}  // namespace quillon::test
