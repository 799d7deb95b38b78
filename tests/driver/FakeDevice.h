// A register played from a script, on a TCP port of 127.0.0.1 or on the master side of a
// pseudo-terminal. The script lists what the host must send and what the device answers;
// every difference is written down and reported by Finish().
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/Bytes.h"

namespace quillon::test {

class TFakeDevice {
 public:
  // Answers a request payload with an answer payload.
  using TResponder = std::function<TBytes(const TBytes& request)>;

  // How long the device keeps quiet before it reacts, as a real one does for at least one
  // byte timeout.
  static constexpr int kReactDelay = 20;  // ms
  // The longest wait for the host's bytes before a step counts as failed.
  static constexpr int kExpectWait = 3000;  // ms

  static std::unique_ptr<TFakeDevice> ListenTcp();
  static std::unique_ptr<TFakeDevice> OpenPty();
  ~TFakeDevice();

  // "tcp://127.0.0.1:PORT" or "serial:/dev/pts/N?baud=115200".
  std::string Uri() const;

  // Script steps, run in order once Start() is called.
  TFakeDevice& Expect(TBytes bytes);
  TFakeDevice& ExpectFrame(TBytesView payload);
  TFakeDevice& Send(TBytes bytes);
  TFakeDevice& SendFrame(TBytesView payload);
  // Drops the connection, then takes the next one (TCP only).
  TFakeDevice& Reconnect();
  // Closes the connection or the pseudo-terminal's master side for good.
  TFakeDevice& Hangup();
  // Serves whole exchanges with `responder` until Finish(): ENQ gets NAK, a good frame ACK
  // and the answer frame, which the host must acknowledge.
  TFakeDevice& Serve(TResponder responder);

  void Start();
  // Stops the device and answers what went wrong: empty when the host spoke as scripted,
  // finished the script and sent nothing more.
  std::string Finish();
  // The requests that Serve() answered.
  std::vector<TBytes> Served() const;
  // Waits until the device has dropped `count` connections in all (false after kExpectWait).
  bool WaitForDisconnects(int count);

 private:
  struct TStep;
  TFakeDevice() = default;
  void Run();
  bool ReadBytes(std::size_t count, TBytes& out, int waitMs);
  bool WriteBytes(TBytesView bytes);
  bool Accept();
  void RunServe(const TResponder& responder);
  void Fail(const std::string& text);

  bool FPty = false;
  int FListenFd = -1;
  int FFd = -1;
  int FPort = 0;
  std::string FSlavePath;
  std::vector<TStep> FSteps;
  std::thread FThread;
  std::atomic<bool> FStop{false};
  mutable std::mutex FLock;
  std::string FFailures;
  std::vector<TBytes> FServed;
  std::condition_variable FChanged;
  int FDisconnects = 0;
};

}  // namespace quillon::test
