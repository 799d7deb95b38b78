// The link layer of protocol version 2: numbered frames (8F, stuffed body, CRC-16/CCITT),
// no control bytes.
//
//   host Sync (a frame of empty payload) -> device a frame of empty payload: the session is
//               open. The host syncs before its first request, and again after the link was
//               lost or opened anew.
//   host request, number N -> device answer, number N. An answer with a bad CRC or another
//               number, or none in time, is dropped and the request sent again with the
//               same N: a device that has carried N out answers it again instead of
//               carrying it out twice.
//
// Frame numbers: each new request takes the number after the last one sent, from 1 to
// 0xFFFF (the frame's 16 bits) and then from 1 again; 0 is never used. They run on across
// syncs and reopenings, so that a new request never carries the number of the one before
// it, which the device would take for that request sent again.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/Bytes.h"
#include "core/KorvanProtocol2.h"
#include "driver/DriverLink.h"
#include "driver/DriverTransport.h"

namespace quillon {

// What a protocol 2 link remembers between exchanges.
struct TLink2State {
  std::uint32_t LastNumber = 0;  // the number of the last request sent; 0: none yet
  bool Synced = false;           // the device answered a Sync on the link as it is open
};

class TLink2 {
 public:
  static constexpr int kProtocol = 2;
  static constexpr std::size_t kMaxRequest = kProtocol2MaxData;

  // How often each step is tried before the exchange is given up.
  static constexpr int kMaxSyncs = 3;         // Sync without its answer
  static constexpr int kMaxSilences = 2;      // request without any answer in time
  static constexpr int kMaxBadAnswers = 5;    // corrupt answer frames
  static constexpr int kMaxOtherAnswers = 5;  // good frames that are not the answer

  // Sends `request` (1 to kMaxRequest bytes), syncing first when `state` says so, and
  // reads its answer. Answers 0 with the payload in `answer`, or a negative TDriverError:
  // deBadRequest (no bytes: that is a Sync), deRequestTooLong, deNoConnection (link lost;
  // the transport is then closed), deTimeout, deBadFrames. The transport must be open.
  static int Exchange(ITransport& transport, TBytesView request, const TLinkTimeouts& timeouts,
                      TLink2State& state, TBytes& answer, ILinkTrace* trace = nullptr);

  // The rules of the protocol, in one place.
  // The number of the request after the one numbered `last`.
  static std::uint32_t NextNumber(std::uint32_t last) {
    return last >= kProtocol2NumberMask ? 1 : last + 1;
  }
  // Whether a good frame is the device's answer to a Sync.
  static bool IsSyncAnswer(const TKorvanFrame2& frame) { return frame.Data.empty(); }
  // Whether a good frame is the answer to the request numbered `number`.
  static bool IsAnswerTo(const TKorvanFrame2& frame, std::uint32_t number) {
    return !frame.Data.empty() &&
           (static_cast<std::uint32_t>(frame.Number) & kProtocol2NumberMask) == number;
  }
};

}  // namespace quillon
