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

namespace quillon::test {

namespace {

using TClock = std::chrono::steady_clock;

int RemainingMs(TClock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

struct TFakeDevice::TStep {
  enum TKind { skExpect, skSend, skReconnect, skHangup, skServe } Kind;
  TBytes Bytes;
  TResponder Responder;
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
  if (FPty) return "serial:" + FSlavePath + "?baud=115200";
  return "tcp://127.0.0.1:" + std::to_string(FPort);
}

TFakeDevice& TFakeDevice::Expect(TBytes bytes) {
  FSteps.push_back({TStep::skExpect, std::move(bytes), nullptr});
  return *this;
}

TFakeDevice& TFakeDevice::ExpectFrame(TBytesView payload) {
  return Expect(TKorvanProtocol1::Encode(payload));
}

TFakeDevice& TFakeDevice::Send(TBytes bytes) {
  FSteps.push_back({TStep::skSend, std::move(bytes), nullptr});
  return *this;
}

TFakeDevice& TFakeDevice::SendFrame(TBytesView payload) {
  return Send(TKorvanProtocol1::Encode(payload));
}

TFakeDevice& TFakeDevice::Reconnect() {
  FSteps.push_back({TStep::skReconnect, {}, nullptr});
  return *this;
}

TFakeDevice& TFakeDevice::Hangup() {
  FSteps.push_back({TStep::skHangup, {}, nullptr});
  return *this;
}

TFakeDevice& TFakeDevice::Serve(TResponder responder) {
  FSteps.push_back({TStep::skServe, {}, std::move(responder)});
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
    ssize_t put = write(FFd, bytes.data() + done, bytes.size() - done);
    if (put <= 0) return false;
    done += static_cast<std::size_t>(put);
  }
  return true;
}

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
