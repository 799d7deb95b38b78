// The link layer of protocol version 3: numbered frames (82, CRC-16/CMS), no stuffing.
//
//   host request, number N -> device 06 (kProtocol3Ack): the frame was good; then the
//               answer, number N. A request without its 06 in time (a bad frame gets none)
//               is sent again with the same N; so is one whose answer came corrupt or with
//               another number: a device that has carried N out answers it again instead
//               of carrying it out twice.
//
// Frame numbers: each new request takes the number after the last one sent, from 1 to
// 0xFF (the frame's 8 bits) and then from 1 again; 0 is never used. They run on across
// reopenings of the link, so that a new request never carries the number of the one
// before it, which the device would take for that request sent again.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/Bytes.h"
#include "core/KorvanProtocol3.h"
#include "driver/DriverLink.h"
#include "driver/DriverTransport.h"

namespace quillon {

// What a protocol 3 link remembers between exchanges.
struct TLink3State {
  std::uint32_t LastNumber = 0;  // the number of the last request sent; 0: none yet
};

class TLink3 {
 public:
  static constexpr int kProtocol = 3;
  static constexpr std::size_t kMaxRequest = kProtocol3MaxData;

  // How often each step is tried before the exchange is given up.
  static constexpr int kMaxNoAck = 3;         // request without its 06
  static constexpr int kMaxBadAnswers = 5;    // corrupt answer frames
  static constexpr int kMaxOtherAnswers = 5;  // good frames that are not the answer

  // Sends `request` (1 to kMaxRequest bytes) and reads its answer. Answers 0 with the
  // payload in `answer`, or a negative TDriverError: deBadRequest (no bytes),
  // deRequestTooLong, deNoConnection (link lost; the transport is then closed), deTimeout,
  // deBadFrames. The transport must be open.
  static int Exchange(ITransport& transport, TBytesView request, const TLinkTimeouts& timeouts,
                      TLink3State& state, TBytes& answer, ILinkTrace* trace = nullptr);

  // The rules of the protocol, in one place.
  // The number of the request after the one numbered `last`.
  static std::uint32_t NextNumber(std::uint32_t last) {
    return last >= kProtocol3NumberMask ? 1 : last + 1;
  }
  // Whether a good frame is the answer to the request numbered `number`.
  static bool IsAnswerTo(const TKorvanFrame3& frame, std::uint32_t number) {
    return (static_cast<std::uint32_t>(frame.Number) & kProtocol3NumberMask) == number;
  }
};

}  // namespace quillon
