// The link layer of protocol version 1: one request frame out, one answer frame back, with
// the ENQ / ACK / NAK handshake around them. Also what the link layers of all three
// protocols share: their timeouts and the trace of their traffic.
//
//   host ENQ -> device NAK: ready for a command; ACK: it still holds an answer, which the
//               host reads, acknowledges and drops before asking again.
//   host frame -> device ACK: accepted; NAK: bad check byte, the host sends it again.
//   device frame -> host ACK: taken; NAK: bad frame, and the host asks for it again with ENQ.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/Bytes.h"
#include "core/KorvanProtocol1.h"
#include "driver/DriverTransport.h"

namespace quillon {

struct TLinkTimeouts {
  int ByteTimeout = 50;       // ms: the longest pause between two bytes of a frame
  int AnswerTimeout = 10000;  // ms: the longest wait for the first byte of an answer frame
  // The speed of a serial line, for the time bytes take on the wire; 0 on TCP, where that
  // time counts for nothing.
  int BaudRate = 0;

  // The ms that `bytes` take on the wire at BaudRate, ten bits a byte (start bit, eight
  // data bits, stop bit), rounded up; 0 without a baud rate.
  int WireTime(std::size_t bytes) const;
  // The wait for a control byte (or a short frame) in reply to `sentBytes` just written.
  // The device keeps quiet for at least one byte timeout before it reacts; the rest covers
  // its reaction and the way there and back, and on a serial line the time the request and
  // the first byte of the reply take on the wire.
  int ReplyWait(std::size_t sentBytes) const {
    return 2 * ByteTimeout + 100 + WireTime(sentBytes + 1);
  }
  // The wait for the first byte of an answer frame to a request of `sentBytes` just written
  // (0 when the device has it already).
  int AnswerWait(std::size_t sentBytes) const { return AnswerTimeout + WireTime(sentBytes + 1); }
  // The longest pause between two bytes of a frame as they come in.
  int ByteWait() const { return ByteTimeout + WireTime(1); }
  // How long writing `bytes` may take.
  int WriteWait(std::size_t bytes) const { return AnswerTimeout + WireTime(bytes); }
};

// Where a link layer reports its traffic as it goes: each frame, control byte or run of
// stray bytes, in one piece, in the order it went out or came in.
class ILinkTrace {
 public:
  virtual ~ILinkTrace() = default;
  virtual void Sent(int protocol, TBytesView bytes) = 0;
  virtual void Received(int protocol, TBytesView bytes) = 0;
};

class TLink1 {
 public:
  static constexpr int kProtocol = 1;
  // The longest request: LEN is one byte.
  static constexpr std::size_t kMaxRequest = kProtocol1MaxData;

  // How often each step is tried before the exchange is given up.
  static constexpr int kMaxNoReply = 3;       // control byte missing
  static constexpr int kMaxRequestSends = 5;  // request frame refused with NAK
  static constexpr int kMaxBadAnswers = 5;    // corrupt answer frames
  static constexpr int kMaxOldAnswers = 5;    // answers left over from earlier commands

  // Sends `request` (1 to kMaxRequest bytes) and reads its answer frame. Answers 0 with the
  // payload in `answer`, or a negative TDriverError: deRequestTooLong, deNoConnection (link
  // lost), deTimeout, deBadFrames. The transport must be open; after deNoConnection it is
  // closed. With a trace, every byte on the wire is reported to it.
  static int Exchange(ITransport& transport, TBytesView request, const TLinkTimeouts& timeouts,
                      TBytes& answer, ILinkTrace* trace = nullptr);
};

}  // namespace quillon
