// What the link layers of the three protocols do alike on the wire: write and read with
// the waits of TLinkTimeouts, report every piece of traffic to the trace, swallow stray
// bytes, give the link up when it is lost. For the link modules only.
#pragma once

#include <cstdint>

#include "core/Bytes.h"
#include "driver/DriverLink.h"
#include "driver/DriverTransport.h"

namespace quillon {

// How reading a frame ended.
enum TFrameStatus { fsOk, fsBad, fsTimeout, fsClosed };

class TLinkIo {
 public:
  TLinkIo(ITransport& transport, const TLinkTimeouts& timeouts, ILinkTrace* trace, int protocol)
      : FTransport(transport), FTimeouts(timeouts), FTrace(trace), FProtocol(protocol) {}

  const TLinkTimeouts& Timeouts() const { return FTimeouts; }

  // Throws away what has come in and not been read, without waiting.
  void Discard() { FTransport.Discard(); }
  // Writes a frame or a control byte; false when the link is down.
  bool Send(TBytesView bytes);
  bool SendByte(std::uint8_t byte) { return Send(TBytesView(&byte, 1)); }
  // Reads one byte and reports nothing: the caller reports the piece it belongs to.
  TReadStatus ReadByte(std::uint8_t& byte, int waitMs) { return FTransport.ReadByte(byte, waitMs); }
  // Reports bytes that came in as one piece (nothing for none).
  void Received(TBytesView bytes);
  // Swallows bytes until the line has been quiet for a byte wait, and reports them.
  TReadStatus Drain();
  // Closes the transport and answers deNoConnection.
  int Lost();

 private:
  ITransport& FTransport;
  const TLinkTimeouts& FTimeouts;
  ILinkTrace* FTrace;
  int FProtocol;
};

// Reads a frame whose first byte comes within firstByteWait and each further one within a
// byte wait, and reports it. `complete(raw)` tells, after each byte, whether the frame has
// all its bytes, or has shown that it is broken and is to be read no further. Answers fsOk
// when it did (the caller checks the frame), fsBad for a first byte other than `start` or a
// pause inside the frame; `raw` holds what was read. When `raw` comes in with a byte, that
// is the first byte, read already.
template <class TComplete>
TFrameStatus ReadFrameBytes(TLinkIo& io, std::uint8_t start, int firstByteWait, TBytes& raw,
                            TComplete&& complete) {
  std::uint8_t byte = 0;
  if (raw.empty()) {
    TReadStatus first = io.ReadByte(byte, firstByteWait);
    if (first != rsByte) return first == rsClosed ? fsClosed : fsTimeout;
    raw.push_back(byte);
  }
  raw.resize(1);
  TReadStatus status = rsByte;
  TFrameStatus result = raw[0] == start ? fsOk : fsBad;
  while (result == fsOk && !complete(raw)) {
    status = io.ReadByte(byte, io.Timeouts().ByteWait());
    if (status != rsByte) {
      result = status == rsClosed ? fsClosed : fsBad;
      break;
    }
    raw.push_back(byte);
  }
  io.Received(raw);
  return result;
}

}  // namespace quillon
