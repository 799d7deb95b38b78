// The device side of a link protocol, one module per protocol (EmulatorLink1/2/3.cpp): how
// requests are cut out of the bytes the host sends, how they are acknowledged, refused and
// answered, and how an answer is sent again. What a request gets (the log, the built-in
// register, the faults) is decided by the emulator's connection, the link's peer.
#pragma once

#include <cstddef>
#include <memory>

#include "core/Bytes.h"
#include "emulator/Emulator.h"

namespace quillon {

// What the emulator made of one request.
enum TRequestOutcome : std::uint8_t {
  roRefused,   // nak-every: refused as if the frame were bad
  roDropped,   // drop-every: accepted and never answered
  roAnswered,  // Exchange.Answer is to be sent
};

struct TRequestDecision {
  TRequestOutcome Outcome = roAnswered;
  TExchange Exchange;    // to be reported before the last byte goes out
  bool Garbage = false;  // send the answer frame with a broken check value
  bool Last = false;     // disconnect-after: close the connection after this exchange
};

// One connection as a link sees it. Every call comes from the connection's own thread.
class IEmulatorPeer {
 public:
  virtual ~IEmulatorPeer() = default;

  // Waits the byte timeout (the pause before every reaction) and decides what the request
  // gets; answers longer than frameLimit are not taken from the log.
  virtual TRequestDecision Execute(TBytes request, std::size_t frameLimit) = 0;
  // The faults of an answer sent again (garbage-every counts it, delay-ms holds it back):
  // sets them in `exchange`, answers whether its frame goes out broken.
  virtual bool ResendFaults(TExchange& exchange) = 0;
  // Waits the byte timeout; false when the emulator stops meanwhile.
  virtual bool React() = 0;
  // Puts bytes on the line at its speed; false when the connection is gone.
  virtual bool Send(TBytesView bytes) = 0;
  // Waits delay-ms, then sends the answer frame.
  virtual bool SendAnswer(TBytesView frame) = 0;
  virtual void Report(const TExchange& exchange) = 0;
  // Closes the connection once the current input is handled.
  virtual void Close() = 0;
  virtual bool Closed() const = 0;
  // Closes the connection once the host has replied to the last answer, or after a while.
  virtual void CloseWhenSettled() = 0;
  virtual bool Settling() const = 0;
};

class IEmulatorLink {
 public:
  virtual ~IEmulatorLink() = default;
  // Handles what is complete at the front of `input` and takes it off; an incomplete frame
  // stays for more bytes.
  virtual void Process(TBytes& input) = 0;
  // The incomplete frame left in `input` never completed.
  virtual void Incomplete(TBytes& input) = 0;
};

// The device side of protocol 1, 2 or 3 for one connection.
std::unique_ptr<IEmulatorLink> MakeEmulatorLink1(IEmulatorPeer& peer);
std::unique_ptr<IEmulatorLink> MakeEmulatorLink2(IEmulatorPeer& peer);
std::unique_ptr<IEmulatorLink> MakeEmulatorLink3(IEmulatorPeer& peer);

}  // namespace quillon
