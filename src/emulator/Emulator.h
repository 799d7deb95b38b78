// A fiscal register on a TCP port or a pseudo-terminal, so that the driver and the player
// can be tried without hardware. It speaks the device side of the link protocol 1 (ENQ, ACK,
// NAK and frames of 02, LEN, payload, XOR check byte), 2 or 3 (numbered frames, see
// EmulatorNumberedLink.h), answers from a driver log or from a small built-in register, and
// can misbehave on request.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "core/Bytes.h"
#include "core/KorvanProtocol1.h"
#include "emulator/EmulatedRegister.h"

namespace quillon {

// Faults the emulator was asked for, as they applied to one exchange (bit flags).
enum TEmulatorFault : unsigned {
  efBusy = 1u << 0,        // answered "busy" (result 50) instead of the real answer
  efDelay = 1u << 1,       // the answer was held back
  efNak = 1u << 2,         // a good request frame was refused with NAK (protocols 2 and 3: ignored)
  efDrop = 1u << 3,        // the request was accepted and never answered
  efGarbage = 1u << 4,     // the answer frame went out with a wrong check value
  efDisconnect = 1u << 5,  // the connection is closed after this exchange
};

enum TExchangeKind : std::uint8_t {
  ekRequest,   // a request frame with a good check byte
  ekResend,    // the held answer sent again after the host's ENQ (protocols 2 and 3: after
               // a request with the number of the last one)
  ekBadFrame,  // a frame with a wrong check byte, or one that never completed
  ekSync,      // protocols 2 and 3: a frame with no payload, answered with one
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
  // The longest payload of a frame of the link, for AnswerTooLong.
  std::size_t FrameLimit = kProtocol1MaxData;
  // The log holds no answer to the recorded command of LogLine, so the built-in register
  // answered; also when it was too long (AnswerTooLong).
  bool LogAnswerMissing = false;
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
  std::string LogFile;  // answers recorded in this driver log; empty: built-in only
  // The encoding of that log when it has no byte-order mark.
  TLogEncoding LogEncoding = TLogEncoding::Auto;
  int Busy = 0;             // answer result 50 this many times before each real answer
  int DelayMs = 0;          // extra wait before each answer frame
  int NakEvery = 0;         // refuse every K-th good request frame with NAK
  int DropEvery = 0;        // never answer every K-th accepted request
  int GarbageEvery = 0;     // send every K-th answer frame with a wrong check byte
  int DisconnectAfter = 0;  // close the connection after K exchanges
  int ByteTimeoutMs = 50;   // the wait before every reaction; 0: none
  // The link protocol, 1, 2 or 3; 0: the one the log's commands were recorded in (1 without
  // a log, or when the log has no commands of these).
  int Protocol = 0;
  // Serve a pseudo-terminal instead of TCP (Listen is then not used); see TerminalPath.
  bool Pty = false;
  // Send no faster than a line of this speed (10 bits a byte); 0: as fast as possible.
  int Baud = 0;
  // Close a TCP connection over which nothing came for this long; 0: never.
  int IdleTimeoutS = 300;
  // Called on a serving thread for every exchange, before its last byte goes out; never
  // two calls at once.
  std::function<void(const TExchange&)> OnExchange;
  // Called on a serving thread when a connection opens or closes; never at once with
  // another call of OnNotice or OnExchange.
  std::function<void(const std::string&)> OnNotice;
};

// Splits a listen address; false when it is malformed (no port, port past 65535).
bool ParseListenAddress(std::string_view text, std::string& host, std::uint16_t& port);

// The emulated register. It serves every connection at once, each on a thread of its own,
// with its own position in the log (which wraps, see TRecordedAnswers) and its own link
// state. Counting faults (nak-every, drop-every, garbage-every, busy) count over all
// connections together; disconnect-after counts each connection afresh.
//
// With Pty it serves a pseudo-terminal instead: one client, the program that opens the
// terminal. It stays open when that program closes it, for the next one; a client that
// closes it ends a connection as a TCP client's close does. Over the terminal
// disconnect-after cannot hang up: it ends the connection's state (position, held answer)
// and what follows is a new connection. Idle clients of the terminal are not dropped.
class TEmulator {
 public:
  // Checks the options and reads the log. Raises EQuillonError.
  explicit TEmulator(TEmulatorOptions options);
  // Stops and waits for the thread of Start.
  ~TEmulator();
  TEmulator(const TEmulator&) = delete;
  TEmulator& operator=(const TEmulator&) = delete;

  // Opens the listening socket (once) and answers its port; with Pty opens the terminal
  // instead (see TerminalPath) and answers 0. Raises EQuillonError.
  std::uint16_t Listen();
  // The address actually listened on, "HOST:PORT"; empty before Listen or with Pty.
  std::string LocalAddress() const;
  // With Pty, the path of the terminal's slave side, "/dev/pts/N"; empty before Listen.
  std::string TerminalPath() const;
  // Serves connections until Stop. Opens the socket first when Listen was not called.
  // Raises EQuillonError when the socket fails.
  void Run();
  // Listen, then Run on a thread of its own; answers the port (0 with Pty).
  std::uint16_t Start();
  // Makes Run return soon and closes the current connection and the listening socket.
  // Safe from any thread and from a signal handler, and more than once. A stopped
  // emulator does not serve again: Run then returns at once.
  void Stop();
  // Waits for the thread of Start to end and raises the error that ended it, if any.
  void Wait();

  // Commands read from the log.
  std::size_t RecordedCount() const { return FRecorded.Count(); }
  // The link protocol spoken: 1, 2 or 3.
  int Protocol() const { return FProtocol; }

 private:
  class TConnection;
  struct TWorker;
  // What the counting faults ask of one request frame.
  struct TRequestFaults {
    bool Refuse = false;  // nak-every
    bool Drop = false;    // drop-every
    bool Busy = false;    // busy
  };

  bool Stopping() const { return FStop.load(std::memory_order_acquire); }
  bool Pause(int ms) const;  // false when stopped meanwhile
  bool PauseUntil(std::chrono::steady_clock::time_point until) const;
  // Serves one connection until it closes, the client leaves or the emulator stops.
  void Serve(TConnection& c);
  void RunSockets();
  void RunTerminal();
  void OpenTerminal();
  void ReapWorkers(bool all);
  TRequestFaults CountRequest();
  bool CountAnswerFrame();
  void Report(const TExchange& exchange) const;
  void Notice(const std::string& text) const;
  void CloseListener();

  TEmulatorOptions FOptions;
  TEmulatedRegister FRegister;
  TRecordedAnswers FRecorded;  // each connection plays a copy of its own
  int FProtocol = 1;
  std::atomic<bool> FStop{false};
  int FWakeRead = -1;  // a byte in this pipe wakes every wait once Stop was called
  int FWakeWrite = -1;
  int FListenFd = -1;
  int FTerminalFd = -1;  // the pseudo-terminal's master side
  std::string FLocalAddress;
  std::string FTerminalPath;
  // Counters of the counting faults, over all connections.
  std::mutex FFaultMutex;
  std::uint64_t FRequestFrames = 0;
  std::uint64_t FAcceptedRequests = 0;
  std::uint64_t FAnswerFrames = 0;
  int FBusyLeft = 0;
  mutable std::mutex FReportMutex;  // one OnExchange or OnNotice at a time
  std::list<TWorker> FWorkers;      // a thread per connection, on Run's thread only
  std::thread FThread;
  std::exception_ptr FThreadError;
};

}  // namespace quillon
