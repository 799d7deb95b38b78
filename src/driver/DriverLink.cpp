#include "driver/DriverLink.h"

#include "core/KorvanProtocol1.h"
#include "driver/Driver.h"

namespace quillon {

namespace {

enum TFrameStatus { fsOk, fsBad, fsTimeout, fsClosed };

// Where an exchange stands.
enum TStage {
  stIdle,       // the request has not gone out
  stUncertain,  // the request went out and got neither ACK nor NAK
  stAccepted,   // the device acknowledged the request: its answer frame follows
  stRefused,    // the answer frame was bad and refused: it must be asked for again
};

// The largest number of stray bytes swallowed while waiting for the line to go quiet.
constexpr int kMaxDrainBytes = 4096;

class TSession {
 public:
  TSession(ITransport& transport, const TLinkTimeouts& timeouts)
      : FTransport(transport), FTimeouts(timeouts) {}

  int Run(TBytesView request, TBytes& answer) {
    const TBytes frame = TKorvanProtocol1::Encode(request);
    TStage stage = stIdle;
    int noReply = 0;
    int sends = 0;
    int badAnswers = 0;
    int oldAnswers = 0;

    FTransport.Discard();
    for (;;) {
      if (stage == stAccepted) {
        TFrameStatus got = ReadFrame(answer, FTimeouts.AnswerTimeout);
        if (got == fsClosed) return Lost();
        if (got == fsTimeout) return deTimeout;
        if (got == fsOk) return Send(kACK) ? 0 : Lost();
        // A corrupt frame: let the rest of it pass, refuse it and ask for it again.
        if (Drain() == rsClosed || !Send(kNAK)) return Lost();
        if (++badAnswers >= TLink1::kMaxBadAnswers) return deBadFrames;
        stage = stRefused;
        continue;
      }

      // Ask the device for its state.
      if (!Send(kENQ)) return Lost();
      std::uint8_t reply = 0;
      TReadStatus status = FTransport.ReadByte(reply, FTimeouts.ReplyWait());
      if (status == rsClosed) return Lost();
      if (status == rsTimeout || (reply != kACK && reply != kNAK)) {
        if (status == rsByte && Drain() == rsClosed) return Lost();
        if (++noReply >= TLink1::kMaxNoReply) return deTimeout;
        continue;
      }

      if (reply == kACK) {
        if (stage != stIdle) {
          // The answer to our request is ready.
          stage = stAccepted;
          continue;
        }
        // An answer left over from an earlier command: take it off the device and drop it.
        TBytes old;
        TFrameStatus got = ReadFrame(old, FTimeouts.AnswerTimeout);
        if (got == fsClosed) return Lost();
        if (got == fsTimeout) {
          if (++noReply >= TLink1::kMaxNoReply) return deTimeout;
          continue;
        }
        if (got == fsBad && Drain() == rsClosed) return Lost();
        // Acknowledged even when damaged: it is not ours, and the device may forget it.
        if (!Send(kACK)) return Lost();
        if (++oldAnswers >= TLink1::kMaxOldAnswers) return deBadFrames;
        continue;
      }

      // NAK: the device holds no answer and waits for a command.
      if (stage == stRefused) {
        // It had accepted the request and no longer has its answer; sending the request
        // again could carry the command out twice.
        return deBadFrames;
      }
      for (;;) {
        if (sends >= TLink1::kMaxRequestSends) return deBadFrames;
        ++sends;
        if (!FTransport.Write(frame, FTimeouts.AnswerTimeout)) return Lost();
        status = FTransport.ReadByte(reply, FTimeouts.ReplyWait());
        if (status == rsClosed) return Lost();
        if (status == rsByte && reply == kNAK) continue;  // bad check byte: send it again
        break;
      }
      if (status == rsByte && reply == kACK) {
        stage = stAccepted;
        continue;
      }
      // Silence or a stray byte: whether the device took the request is known only after
      // asking again.
      if (status == rsByte && Drain() == rsClosed) return Lost();
      stage = stUncertain;
      if (++noReply >= TLink1::kMaxNoReply) return deTimeout;
    }
  }

 private:
  // Reads one frame; the first byte may take up to firstByteWait, the others a byte timeout.
  TFrameStatus ReadFrame(TBytes& payload, int firstByteWait) {
    std::uint8_t byte = 0;
    TReadStatus status = FTransport.ReadByte(byte, firstByteWait);
    if (status != rsByte) return status == rsClosed ? fsClosed : fsTimeout;
    if (byte != kSTX) return fsBad;
    TBytes raw(1, kSTX);
    status = FTransport.ReadByte(byte, FTimeouts.ByteTimeout);
    if (status != rsByte) return status == rsClosed ? fsClosed : fsBad;
    raw.push_back(byte);
    const std::size_t total = static_cast<std::size_t>(byte) + 3;
    while (raw.size() < total) {
      status = FTransport.ReadByte(byte, FTimeouts.ByteTimeout);
      if (status != rsByte) return status == rsClosed ? fsClosed : fsBad;
      raw.push_back(byte);
    }
    return TKorvanProtocol1::Decode(raw, payload) ? fsOk : fsBad;
  }

  // Swallows bytes until the line has been quiet for one byte timeout.
  TReadStatus Drain() {
    std::uint8_t byte = 0;
    for (int i = 0; i < kMaxDrainBytes; ++i) {
      TReadStatus status = FTransport.ReadByte(byte, FTimeouts.ByteTimeout);
      if (status != rsByte) return status;
    }
    return rsTimeout;
  }

  bool Send(std::uint8_t control) {
    const std::uint8_t byte = control;
    return FTransport.Write(TBytesView(&byte, 1), FTimeouts.AnswerTimeout);
  }

  int Lost() {
    FTransport.Close();
    return deNoConnection;
  }

  ITransport& FTransport;
  TLinkTimeouts FTimeouts;
};

}  // namespace

int TLink1::Exchange(ITransport& transport, TBytesView request, const TLinkTimeouts& timeouts,
                     TBytes& answer) {
  answer.clear();
  TSession session(transport, timeouts);
  int result = session.Run(request, answer);
  if (result != 0) answer.clear();
  return result;
}

}  // namespace quillon
