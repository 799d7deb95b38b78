// The link layer of protocol version 1: one request frame out, one answer frame back, with
// the ENQ / ACK / NAK handshake around them.
//
//   host ENQ -> device NAK: ready for a command; ACK: it still holds an answer, which the
//               host reads, acknowledges and drops before asking again.
//   host frame -> device ACK: accepted; NAK: bad check byte, the host sends it again.
//   device frame -> host ACK: taken; NAK: bad frame, and the host asks for it again with ENQ.
#pragma once

#include <cstdint>

#include "core/Bytes.h"
#include "core/KorvanProtocol1.h"
#include "driver/DriverTransport.h"

namespace quillon {

struct TLinkTimeouts {
  int ByteTimeout = 50;       // ms: the longest pause between two bytes of a frame
  int AnswerTimeout = 10000;  // ms: the longest wait for the first byte of an answer frame

  // The wait for a control byte. The device keeps quiet for at least one byte timeout
  // before it reacts; the rest covers its reaction and the way there and back.
  int ReplyWait() const { return 2 * ByteTimeout + 100; }
};

class TLink1 {
 public:
  // How often each step is tried before the exchange is given up.
  static constexpr int kMaxNoReply = 3;       // control byte missing
  static constexpr int kMaxRequestSends = 5;  // request frame refused with NAK
  static constexpr int kMaxBadAnswers = 5;    // corrupt answer frames
  static constexpr int kMaxOldAnswers = 5;    // answers left over from earlier commands

  // Sends `request` (1 to 255 bytes) and reads its answer frame. Answers 0 with the payload
  // in `answer`, or a negative TDriverError: deNoConnection (link lost), deTimeout,
  // deBadFrames. The transport must be open; after deNoConnection it is closed.
  static int Exchange(ITransport& transport, TBytesView request, const TLinkTimeouts& timeouts,
                      TBytes& answer);
};

}  // namespace quillon
