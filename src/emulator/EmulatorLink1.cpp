// Protocol 1, device side: the host's ENQ gets NAK (ready) or ACK and the held answer again;
// a request frame gets ACK and the answer frame, a bad one NAK; the host's ACK drops the held
// answer, its NAK keeps it for the next ENQ.
#include <optional>
#include <utility>

#include "core/KorvanProtocol1.h"
#include "emulator/EmulatorLink.h"

namespace quillon {

namespace {

class TEmulatorLink1 final : public IEmulatorLink {
 public:
  explicit TEmulatorLink1(IEmulatorPeer& peer) : FPeer(peer) {}

  void Process(TBytes& input) override {
    while (!input.empty() && !FPeer.Closed()) {
      switch (input[0]) {
        case kENQ:
          input.erase(0, 1);
          OnEnq();
          break;
        case kACK:
        case kNAK:
          // ACK drops the held answer; after NAK it waits for the host's next ENQ.
          if (input[0] == kACK) FHeld.reset();
          input.erase(0, 1);
          if (FPeer.Settling()) FPeer.Close();
          break;
        case kSTX: {
          if (input.size() < 2 || input.size() < input[1] + 3u) return;  // not all here
          TBytes request;
          std::size_t consumed = 0;
          if (TKorvanProtocol1::Decode(input, request, consumed)) {
            input.erase(0, consumed);
            OnRequest(std::move(request));
          } else {
            const std::size_t size = input[1] + 3u;
            TBytes raw = input.substr(0, size);
            input.erase(0, size);
            OnBadFrame(std::move(raw));
          }
          break;
        }
        default:
          input.erase(0, 1);  // line noise
      }
    }
  }

  void Incomplete(TBytes& input) override { OnBadFrame(std::exchange(input, TBytes())); }

 private:
  void OnEnq() {
    if (!FPeer.React()) return;
    if (!FHeld) {
      FPeer.Send(TBytesView(&kNAK, 1));
      return;
    }
    TExchange exchange = *FHeld;
    exchange.Kind = ekResend;
    const bool garbage = FPeer.ResendFaults(exchange);
    FPeer.Report(exchange);
    if (FPeer.Send(TBytesView(&kACK, 1))) SendAnswer(exchange.Answer, garbage);
  }

  void OnRequest(TBytes request) {
    TRequestDecision d = FPeer.Execute(std::move(request), kProtocol1MaxData);
    if (FPeer.Closed()) return;  // stopped meanwhile
    if (d.Outcome == roRefused) {
      d.Exchange.Refused = true;
      FPeer.Report(d.Exchange);
      FPeer.Send(TBytesView(&kNAK, 1));
      if (d.Last) FPeer.Close();
      return;
    }
    FHeld.reset();  // a new request: the host gave up on the old answer
    if (d.Outcome == roAnswered) FHeld = d.Exchange;
    FPeer.Report(d.Exchange);
    if (!FPeer.Send(TBytesView(&kACK, 1))) return;
    if (d.Outcome == roAnswered) SendAnswer(d.Exchange.Answer, d.Garbage);
    if (d.Last) {
      if (d.Outcome == roAnswered)
        FPeer.CloseWhenSettled();  // let the host read the answer and reply to it first
      else
        FPeer.Close();
    }
  }

  void OnBadFrame(TBytes raw) {
    TExchange exchange;
    exchange.Kind = ekBadFrame;
    exchange.Request = std::move(raw);
    exchange.Refused = true;
    if (!FPeer.React()) return;
    FPeer.Report(exchange);
    FPeer.Send(TBytesView(&kNAK, 1));
  }

  void SendAnswer(const TBytes& payload, bool garbage) {
    TBytes frame = TKorvanProtocol1::Encode(payload);
    if (garbage) frame.back() ^= 0xFF;
    FPeer.SendAnswer(frame);
  }

  IEmulatorPeer& FPeer;
  std::optional<TExchange> FHeld;  // the answer the host has not acknowledged yet
};

}  // namespace

std::unique_ptr<IEmulatorLink> MakeEmulatorLink1(IEmulatorPeer& peer) {
  return std::make_unique<TEmulatorLink1>(peer);
}

}  // namespace quillon
