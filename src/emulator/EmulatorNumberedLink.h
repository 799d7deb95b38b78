// What protocols 2 and 3 share on the device side: numbered frames, each answer carrying
// the number of its request, no control bytes of the host. A request whose number is the
// number of the last request executed on this connection is not executed again: the answer
// given to it goes out again (the host sends it once more after a bad or mismatched answer).
// A frame with an empty payload opens a session ("Sync") and is answered with one; it
// forgets the last number. A bad frame gets no answer at all.
#pragma once

#include <cstdint>
#include <optional>

#include "emulator/EmulatorLink.h"

namespace quillon {

class TNumberedLink : public IEmulatorLink {
 public:
  void Incomplete(TBytes& input) override;

 protected:
  explicit TNumberedLink(IEmulatorPeer& peer) : FPeer(peer) {}

  // A frame with a good check value.
  void OnFrame(TBytes payload, std::int32_t number);
  void OnBadFrame(TBytes raw);

  // The protocol's reply to a good request frame before its answer (none by default);
  // false when the connection is gone.
  virtual bool Acknowledge() { return true; }
  // The answer frame; `garbage`: with a broken check value.
  virtual TBytes AnswerFrame(const TBytes& payload, std::int32_t number, bool garbage) const = 0;
  // The longest payload of a frame.
  virtual std::size_t FrameLimit() const = 0;

  IEmulatorPeer& FPeer;

 private:
  void OnSync(std::int32_t number);
  void OnResend(std::int32_t number);
  void OnRequest(TBytes request, std::int32_t number);

  std::optional<std::int32_t> FLastNumber;  // of the last request executed
  TExchange FHeld;                          // what it got
};

}  // namespace quillon
