// Protocol 2, device side: frames of 8F and a stuffed body, no acknowledgement; the rules
// of numbers and sessions are TNumberedLink's.
#include <utility>

#include "core/Errors.h"
#include "core/KorvanProtocol2.h"
#include "emulator/EmulatorNumberedLink.h"

namespace quillon {

namespace {

class TEmulatorLink2 final : public TNumberedLink {
 public:
  explicit TEmulatorLink2(IEmulatorPeer& peer) : TNumberedLink(peer) {}

  void Process(TBytes& input) override {
    while (!input.empty() && !FPeer.Closed()) {
      if (input[0] != kProtocol2Start) {
        input.erase(0, 1);  // line noise
        continue;
      }
      if (!TakeFrame(input)) return;  // not all here
    }
  }

 protected:
  TBytes AnswerFrame(const TBytes& payload, std::int32_t number, bool garbage) const override {
    TBytes frame = TKorvanProtocol2::Encode(TKorvanFrame2{payload, number});
    if (garbage) BreakCrc(frame);
    return frame;
  }
  std::size_t FrameLimit() const override { return kProtocol2MaxData; }

 private:
  // Handles the frame at the front of input; false when it is not complete yet.
  bool TakeFrame(TBytes& input) {
    TProtocol2FrameTracker tracker;
    for (std::size_t i = 1; i < input.size(); ++i) {
      const TProtocol2FrameTracker::TStep step = tracker.Feed(input[i]);
      if (step == TProtocol2FrameTracker::tsNewStart) {  // a new frame: this one broke off
        OnBadFrame(input.substr(0, i));
        input.erase(0, i);
        return true;
      }
      if (step == TProtocol2FrameTracker::tsBadEscape) {
        OnBadFrame(input.substr(0, i + 1));
        input.erase(0, i + 1);
        return true;
      }
      if (step == TProtocol2FrameTracker::tsMore) continue;
      TBytes raw = input.substr(0, i + 1);
      input.erase(0, i + 1);
      TKorvanFrame2 frame;
      if (TKorvanProtocol2::Decode(raw, frame))
        OnFrame(std::move(frame.Data), frame.Number);
      else
        OnBadFrame(std::move(raw));
      return true;
    }
    return false;
  }

  // Changes the last CRC byte of a stuffed frame and keeps the stuffing valid: an escaped
  // byte becomes the other escaped byte, a plain one another plain one.
  static void BreakCrc(TBytes& frame) {
    std::uint8_t& last = frame.back();
    if (frame.size() >= 2 && frame[frame.size() - 2] == kProtocol2Escape) {
      last = last == kProtocol2EscapedStart ? kProtocol2EscapedEscape : kProtocol2EscapedStart;
      return;
    }
    last ^= 0x01;
    if (last == kProtocol2Start || last == kProtocol2Escape) last ^= 0x03;
  }
};

}  // namespace

std::unique_ptr<IEmulatorLink> MakeEmulatorLink2(IEmulatorPeer& peer) {
  return std::make_unique<TEmulatorLink2>(peer);
}

}  // namespace quillon
