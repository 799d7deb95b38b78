// A register played from a script, on a TCP port of 127.0.0.1 or on the master side of a
// pseudo-terminal. The script lists what the host must send and what the device answers;
// every difference is written down and reported by Finish(). Or the device side of
// protocol 1, 2 or 3 serving whole exchanges, with faults planned frame by frame.
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

  // What the device does with one request frame (a Sync does not count) in ServeProtocol.
  enum TFault {
    sfNone,         // answers it
    sfBadCrc,       // the answer goes out with a broken CRC (protocols 2, 3)
    sfOtherNumber,  // the answer goes out with the number after the request's (2, 3)
    sfIgnore,       // takes the frame for damaged: nothing comes back (protocol 3: no 06)
    sfHangup,       // drops the connection instead of answering; TCP takes the next one
  };
  struct TFrameStep {
    TFault Fault = sfNone;
    int DelayMs = 0;  // before the answer; cut short when the host hangs up
  };
  // A request frame as it came in.
  struct TFrameSeen {
    TBytes Data;
    std::uint32_t Number = 0;  // 0 in protocol 1
  };

  static std::unique_ptr<TFakeDevice> ListenTcp();
  static std::unique_ptr<TFakeDevice> OpenPty();
  ~TFakeDevice();

  // "tcp://127.0.0.1:PORT" or "serial:/dev/pts/N?baud=115200".
  std::string Uri() const;
  // The pseudo-terminal's URI with another speed.
  std::string SerialUri(int baud) const;
  // Makes the device as slow as a line of `baud`: each byte it sends takes 10 / baud s, and
  // it reacts to a frame only when the frame would have come in over such a line.
  void SetLineSpeed(int baud) { FLineBaud = baud; }

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
  // Serves the device side of `protocol` (1, 2, 3) with `responder` until Finish(), the
  // n-th request frame treated as steps[n] says (sfNone past the end). Protocol 2 answers a
  // Sync with a frame of empty payload. A frame of 2 or 3 that carries the number of the
  // last request carried out on the connection is not carried out again: its answer is
  // sent again. A host that breaks the protocol is reported by Finish().
  TFakeDevice& ServeProtocol(int protocol, TResponder responder,
                             std::vector<TFrameStep> steps = {});

  void Start();
  // Stops the device and answers what went wrong: empty when the host spoke as scripted,
  // finished the script and sent nothing more.
  std::string Finish();
  // The requests that Serve() and ServeProtocol() carried out.
  std::vector<TBytes> Served() const;
  // The request frames that ServeProtocol() received, repeats included, and the Syncs.
  std::vector<TFrameSeen> Frames() const;
  int Syncs() const;
  // Waits until the device has dropped `count` connections in all (false after kExpectWait).
  bool WaitForDisconnects(int count);

 private:
  struct TStep;
  class TProtocolServer;
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
  std::vector<TFrameSeen> FFrames;
  int FSyncs = 0;
  std::condition_variable FChanged;
  int FDisconnects = 0;
  int FLineBaud = 0;
};

}  // namespace quillon::test
