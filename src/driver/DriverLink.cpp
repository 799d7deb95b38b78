#include "driver/DriverLink.h"

#include <algorithm>
#include <climits>

#include "core/KorvanProtocol1.h"
#include "driver/Driver.h"
#include "driver/DriverLinkIo.h"

namespace quillon {

namespace {

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
  TSession(ITransport& transport, const TLinkTimeouts& timeouts, ILinkTrace* trace)
      : FIo(transport, timeouts, trace, TLink1::kProtocol) {}

  int Run(TBytesView request, TBytes& answer) {
    const TLinkTimeouts& timeouts = FIo.Timeouts();
    const TBytes frame = TKorvanProtocol1::Encode(request);
    TStage stage = stIdle;
    int noReply = 0;
    int sends = 0;
    int badAnswers = 0;
    int oldAnswers = 0;

    FIo.Discard();
    for (;;) {
      if (stage == stAccepted) {
        TFrameStatus got = ReadFrame(answer, timeouts.AnswerWait(0));
        if (got == fsClosed) return FIo.Lost();
        if (got == fsTimeout) return deTimeout;
        if (got == fsOk) return FIo.SendByte(kACK) ? 0 : FIo.Lost();
        // A corrupt frame: let the rest of it pass, refuse it and ask for it again.
        if (FIo.Drain() == rsClosed || !FIo.SendByte(kNAK)) return FIo.Lost();
        if (++badAnswers >= TLink1::kMaxBadAnswers) return deBadFrames;
        stage = stRefused;
        continue;
      }

      // Ask the device for its state.
      if (!FIo.SendByte(kENQ)) return FIo.Lost();
      std::uint8_t reply = 0;
      TReadStatus status = ReadReply(reply, timeouts.ReplyWait(1));
      if (status == rsClosed) return FIo.Lost();
      if (status == rsTimeout || (reply != kACK && reply != kNAK)) {
        if (status == rsByte && FIo.Drain() == rsClosed) return FIo.Lost();
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
        TFrameStatus got = ReadFrame(old, timeouts.AnswerWait(0));
        if (got == fsClosed) return FIo.Lost();
        if (got == fsTimeout) {
          if (++noReply >= TLink1::kMaxNoReply) return deTimeout;
          continue;
        }
        if (got == fsBad && FIo.Drain() == rsClosed) return FIo.Lost();
        // Acknowledged even when damaged: it is not ours, and the device may forget it.
        if (!FIo.SendByte(kACK)) return FIo.Lost();
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
        if (!FIo.Send(frame)) return FIo.Lost();
        status = ReadReply(reply, timeouts.ReplyWait(frame.size()));
        if (status == rsClosed) return FIo.Lost();
        if (status == rsByte && reply == kNAK) continue;  // bad check byte: send it again
        break;
      }
      if (status == rsByte && reply == kACK) {
        stage = stAccepted;
        continue;
      }
      // Silence or a stray byte: whether the device took the request is known only after
      // asking again.
      if (status == rsByte && FIo.Drain() == rsClosed) return FIo.Lost();
      stage = stUncertain;
      if (++noReply >= TLink1::kMaxNoReply) return deTimeout;
    }
  }

 private:
  // Reads the one control byte of a reply.
  TReadStatus ReadReply(std::uint8_t& reply, int waitMs) {
    TReadStatus status = FIo.ReadByte(reply, waitMs);
    if (status == rsByte) FIo.Received(TBytesView(&reply, 1));
    return status;
  }

  // Reads one frame; the first byte may take up to firstByteWait, the others a byte wait.
  TFrameStatus ReadFrame(TBytes& payload, int firstByteWait) {
    TBytes raw;
    TFrameStatus status = ReadFrameBytes(FIo, kSTX, firstByteWait, raw, [](const TBytes& bytes) {
      return bytes.size() >= 2 && bytes.size() >= static_cast<std::size_t>(bytes[1]) + 3;
    });
    if (status != fsOk) return status;
    return TKorvanProtocol1::Decode(raw, payload) ? fsOk : fsBad;
  }

  TLinkIo FIo;
};

}  // namespace

int TLinkTimeouts::WireTime(std::size_t bytes) const {
  if (BaudRate <= 0) return 0;
  const long long bits = static_cast<long long>(std::min<std::size_t>(bytes, INT_MAX)) * 10;
  const long long ms = (bits * 1000 + BaudRate - 1) / BaudRate;
  return static_cast<int>(std::min<long long>(ms, INT_MAX / 4));
}

bool TLinkIo::Send(TBytesView bytes) {
  if (FTrace != nullptr) FTrace->Sent(FProtocol, bytes);
  return FTransport.Write(bytes, FTimeouts.WriteWait(bytes.size()));
}

void TLinkIo::Received(TBytesView bytes) {
  if (FTrace != nullptr && !bytes.empty()) FTrace->Received(FProtocol, bytes);
}

TReadStatus TLinkIo::Drain() {
  TBytes swallowed;
  TReadStatus status = rsTimeout;
  for (int i = 0; i < kMaxDrainBytes; ++i) {
    std::uint8_t byte = 0;
    status = FTransport.ReadByte(byte, FTimeouts.ByteWait());
    if (status != rsByte) break;
    swallowed.push_back(byte);
  }
  Received(swallowed);
  return status == rsByte ? rsTimeout : status;
}

int TLinkIo::Lost() {
  FTransport.Close();
  return deNoConnection;
}

int TLink1::Exchange(ITransport& transport, TBytesView request, const TLinkTimeouts& timeouts,
                     TBytes& answer, ILinkTrace* trace) {
  answer.clear();
  if (request.size() > kMaxRequest) return deRequestTooLong;
  TSession session(transport, timeouts, trace);
  int result = session.Run(request, answer);
  if (result != 0) answer.clear();
  return result;
}

}  // namespace quillon
