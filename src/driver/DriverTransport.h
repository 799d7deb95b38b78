// Byte links to the register: a TCP connection or a serial port, used in blocking mode.
// A transport belongs to the thread that created it and is used on that thread only; its
// waits can be cut short from any other thread through a TInterrupt.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "core/Bytes.h"
#include "driver/DeviceAddress.h"

namespace quillon {

enum TReadStatus { rsByte, rsTimeout, rsClosed };

class ITransport {
 public:
  virtual ~ITransport() = default;

  // Connects or opens the port; on failure answers false with a message in `error`.
  virtual bool Open(int timeoutMs, std::string& error) = 0;
  virtual void Close() = 0;
  // Whether the link is up as far as is known without waiting.
  virtual bool IsOpen() = 0;
  // Writes everything; false when the link is down or the bytes did not go out in time.
  virtual bool Write(TBytesView data, int timeoutMs) = 0;
  // Waits up to timeoutMs for one byte.
  virtual TReadStatus ReadByte(std::uint8_t& byte, int timeoutMs) = 0;
  // Throws away whatever has arrived and not been read yet, without waiting.
  virtual void Discard() = 0;
};

// Ends the waits of the transports that watch it, from any thread: while it is raised, a
// read or write in progress or to come gives up within kInterruptSlice ms as if the link
// had gone down, and an open fails.
class TInterrupt {
 public:
  // The longest stretch a transport waits without looking at the interrupt.
  static constexpr int kInterruptSlice = 20;  // ms

  void Raise() { FRaised.store(true); }
  void Clear() { FRaised.store(false); }
  bool Raised() const { return FRaised.load(); }

 private:
  std::atomic<bool> FRaised{false};
};

// The transport for `address`; with `interrupt` its waits end early once it is raised (the
// interrupt must outlive the transport).
std::unique_ptr<ITransport> CreateTransport(const TDeviceAddress& address,
                                            const TInterrupt* interrupt = nullptr);

}  // namespace quillon
