// Protocol 3, device side: frames of 82, a good request frame acknowledged with the single
// byte 06 before its answer frame, a bad one not at all; the rules of numbers and sessions
// are TNumberedLink's.
#include <utility>

#include "core/KorvanProtocol3.h"
#include "emulator/EmulatorNumberedLink.h"

namespace quillon {

namespace {

class TEmulatorLink3 final : public TNumberedLink {
 public:
  explicit TEmulatorLink3(IEmulatorPeer& peer) : TNumberedLink(peer) {}

  void Process(TBytes& input) override {
    while (!input.empty() && !FPeer.Closed()) {
      if (input[0] != kProtocol3Start) {
        input.erase(0, 1);  // line noise, or the host's own acknowledgements
        continue;
      }
      const std::size_t size = TKorvanProtocol3::FrameSize(input);
      if (size == 0 || input.size() < size) return;  // not all here
      TBytes raw = input.substr(0, size);
      input.erase(0, size);
      TKorvanFrame3 frame;
      if (TKorvanProtocol3::Decode(raw, frame))
        OnFrame(std::move(frame.Data), frame.Number);
      else
        OnBadFrame(std::move(raw));
    }
  }

 protected:
  bool Acknowledge() override { return FPeer.Send(TBytesView(&kProtocol3Ack, 1)); }
  TBytes AnswerFrame(const TBytes& payload, std::int32_t number, bool garbage) const override {
    TBytes frame = TKorvanProtocol3::Encode(TKorvanFrame3{payload, number});
    if (garbage) frame.back() ^= 0xFF;
    return frame;
  }
  std::size_t FrameLimit() const override { return kProtocol3MaxData; }
};

}  // namespace

std::unique_ptr<IEmulatorLink> MakeEmulatorLink3(IEmulatorPeer& peer) {
  return std::make_unique<TEmulatorLink3>(peer);
}

}  // namespace quillon
