// A fiscal register on a TCP port, so that the driver and the player can be tried without
// hardware. It speaks the device side of the protocol version 1 link layer (ENQ, ACK, NAK
// and frames of 02, LEN, payload, XOR check byte), answers from a driver log or from a
// small built-in register, and can misbehave on request.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "core/Bytes.h"
#include "emulator/EmulatedRegister.h"

namespace quillon {

// Faults the emulator was asked for, as they applied to one exchange (bit flags).
enum TEmulatorFault : unsigned {
  efBusy = 1u << 0,        // answered "busy" (result 50) instead of the real answer
  efDelay = 1u << 1,       // the answer was held back
  efNak = 1u << 2,         // a good request frame was refused with NAK
  efDrop = 1u << 3,        // the request was accepted and never answered
  efGarbage = 1u << 4,     // the answer frame went out with a wrong check byte
  efDisconnect = 1u << 5,  // the connection is closed after this exchange
};

enum TExchangeKind : std::uint8_t {
  ekRequest,   // a request frame with a good check byte
  ekResend,    // the held answer sent again after the host's ENQ
  ekBadFrame,  // a frame with a wrong check byte, or one that never completed
};

enum TAnswerSource : std::uint8_t {
  asNone,     // no answer looked up (refused, dropped, busy, bad frame)
  asLog,      // a command recorded in the log
  asBuiltIn,  // the built-in register
};

// One exchange as the emulator saw it.
struct TExchange {
  TExchangeKind Kind = ekRequest;
  TBytes Request;         // the request payload; for a bad frame the bytes received
  bool Refused = false;   // answered NAK
  bool Answered = false;  // an answer frame was sent
  TBytes Answer;          // its payload (the intact one, also when it was sent corrupt)
  TAnswerSource Source = asNone;
  std::int32_t LogLine = 0;    // line of the recorded command, when Source is asLog
  bool AnswerTooLong = false;  // the recorded answer does not fit a frame: not sent
  unsigned Faults = 0;         // TEmulatorFault bits
};

// One line for the console: request, answer (or "нет ответа", or NAK), where the answer
// came from and the faults that applied.
std::string FormatExchange(const TExchange& exchange);
// The faults as the option names that ask for them: "busy, delay-ms".
std::string FaultNames(unsigned faults);

struct TEmulatorOptions {
  // "HOST:PORT", "[IPv6]:PORT", ":PORT" or "PORT"; without a host the loopback address.
  // Port 0 takes a free port (see TEmulator::Listen).
  std::string Listen = "127.0.0.1:7778";
  std::string LogFile;      // answers recorded in this driver log; empty: built-in only
  int Busy = 0;             // answer result 50 this many times before each real answer
  int DelayMs = 0;          // extra wait before each answer frame
  int NakEvery = 0;         // refuse every K-th good request frame with NAK
  int DropEvery = 0;        // never answer every K-th accepted request
  int GarbageEvery = 0;     // send every K-th answer frame with a wrong check byte
  int DisconnectAfter = 0;  // close the connection after K exchanges
  int ByteTimeoutMs = 50;   // the wait before every reaction
  // Called on the serving thread for every exchange, before its last byte goes out.
  std::function<void(const TExchange&)> OnExchange;
  // Called on the serving thread when a connection opens or closes.
  std::function<void(const std::string&)> OnNotice;
};

// Splits a listen address; false when it is malformed (no port, port past 65535).
bool ParseListenAddress(std::string_view text, std::string& host, std::uint16_t& port);

// The emulated register. It serves one connection at a time; further connections wait
// until the current one closes. Counting faults (nak-every, drop-every, garbage-every,
// busy) and the position in the log carry over from one connection to the next;
// disconnect-after counts each connection afresh.
class TEmulator {
 public:
  // Checks the options and reads the log. Raises EQuillonError.
  explicit TEmulator(TEmulatorOptions options);
  // Stops and waits for the thread of Start.
  ~TEmulator();
  TEmulator(const TEmulator&) = delete;
  TEmulator& operator=(const TEmulator&) = delete;

  // Opens the listening socket (once) and answers its port. Raises EQuillonError.
  std::uint16_t Listen();
  // The address actually listened on, "HOST:PORT"; empty before Listen.
  std::string LocalAddress() const;
  // Serves connections until Stop. Opens the socket first when Listen was not called.
  // Raises EQuillonError when the socket fails.
  void Run();
  // Listen, then Run on a thread of its own; answers the port.
  std::uint16_t Start();
  // Makes Run return soon and closes the current connection and the listening socket.
  // Safe from any thread and from a signal handler, and more than once. A stopped
  // emulator does not serve again: Run then returns at once.
  void Stop();
  // Waits for the thread of Start to end and raises the error that ended it, if any.
  void Wait();

  // Commands read from the log.
  std::size_t RecordedCount() const { return FRecorded.Count(); }

 private:
  struct TConnection;

  bool Stopping() const { return FStop.load(std::memory_order_acquire); }
  bool Pause(int ms) const;  // false when stopped meanwhile
  void Serve(int fd);
  void ProcessInput(TConnection& c);
  void OnEnq(TConnection& c);
  void OnRequest(TConnection& c, TBytes request);
  void OnBadFrame(TConnection& c, TBytes raw);
  bool SendAnswerFrame(TConnection& c, const TBytes& payload, bool garbage);
  void Report(const TExchange& exchange) const;
  void Notice(const std::string& text) const;
  void CloseListener();

  TEmulatorOptions FOptions;
  TEmulatedRegister FRegister;
  TRecordedAnswers FRecorded;
  std::atomic<bool> FStop{false};
  int FWakeRead = -1;  // a byte in this pipe wakes every wait once Stop was called
  int FWakeWrite = -1;
  int FListenFd = -1;
  std::string FLocalAddress;
  // Counters of the counting faults, over all connections.
  std::uint64_t FRequestFrames = 0;
  std::uint64_t FAcceptedRequests = 0;
  std::uint64_t FAnswerFrames = 0;
  int FBusyLeft = 0;
  std::thread FThread;
  std::exception_ptr FThreadError;
};

}  // namespace quillon
