#include "driver/DriverLink3.h"

#include "driver/Driver.h"
#include "driver/DriverLinkIo.h"

namespace quillon {

namespace {

class TSession {
 public:
  TSession(ITransport& transport, const TLinkTimeouts& timeouts, ILinkTrace* trace,
           TLink3State& state)
      : FIo(transport, timeouts, trace, TLink3::kProtocol), FState(state) {}

  int Run(TBytesView request, TBytes& answer) {
    FIo.Discard();
    TKorvanFrame3 out;
    out.Data = TBytes(request);
    const std::uint32_t number = TLink3::NextNumber(FState.LastNumber);
    out.Number = static_cast<std::int32_t>(number);
    FState.LastNumber = number;
    const TBytes frame = TKorvanProtocol3::Encode(out);

    int noAck = 0;
    int badAnswers = 0;
    int otherAnswers = 0;
    for (;;) {
      if (!FIo.Send(frame)) return FIo.Lost();
      std::uint8_t reply = 0;
      TReadStatus status = FIo.ReadByte(reply, FIo.Timeouts().ReplyWait(frame.size()));
      if (status == rsClosed) return FIo.Lost();
      if (status == rsTimeout) {
        if (++noAck >= TLink3::kMaxNoAck) return deTimeout;
        continue;
      }
      TBytes raw;
      TFrameStatus got = fsBad;
      TKorvanFrame3 in;
      if (reply == kProtocol3Ack) {
        FIo.Received(TBytesView(&reply, 1));
        got = ReadFrame(in, raw, FIo.Timeouts().AnswerWait(0));
        if (got == fsTimeout) return deTimeout;
      } else if (reply == kProtocol3Start) {
        // A frame with no 06 before it: a late answer, or ours with its 06 lost.
        raw.push_back(reply);
        got = ReadFrame(in, raw, 0);
      } else {
        FIo.Received(TBytesView(&reply, 1));
        if (FIo.Drain() == rsClosed) return FIo.Lost();
        if (++noAck >= TLink3::kMaxNoAck) return deTimeout;
        continue;
      }
      if (got == fsClosed) return FIo.Lost();
      if (got != fsOk) {
        if (FIo.Drain() == rsClosed) return FIo.Lost();
        if (++badAnswers >= TLink3::kMaxBadAnswers) return deBadFrames;
        continue;
      }
      if (TLink3::IsAnswerTo(in, number)) {
        answer = std::move(in.Data);
        return 0;
      }
      if (++otherAnswers >= TLink3::kMaxOtherAnswers) return deBadFrames;
    }
  }

 private:
  // Reads one frame: its start byte within firstByteWait (unless `raw` holds it already),
  // then the header and as many bytes as its LEN gives.
  TFrameStatus ReadFrame(TKorvanFrame3& frame, TBytes& raw, int firstByteWait) {
    TFrameStatus status =
        ReadFrameBytes(FIo, kProtocol3Start, firstByteWait, raw, [](const TBytes& bytes) {
          const std::size_t size = TKorvanProtocol3::FrameSize(bytes);
          return size != 0 && bytes.size() >= size;
        });
    if (status != fsOk) return status;
    return TKorvanProtocol3::Decode(raw, frame) ? fsOk : fsBad;
  }

  TLinkIo FIo;
  TLink3State& FState;
};

}  // namespace

int TLink3::Exchange(ITransport& transport, TBytesView request, const TLinkTimeouts& timeouts,
                     TLink3State& state, TBytes& answer, ILinkTrace* trace) {
  answer.clear();
  if (request.empty()) return deBadRequest;
  if (request.size() > kMaxRequest) return deRequestTooLong;
  TSession session(transport, timeouts, trace, state);
  int result = session.Run(request, answer);
  if (result != 0) answer.clear();
  return result;
}

}  // namespace quillon
