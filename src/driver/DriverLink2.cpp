#include "driver/DriverLink2.h"

#include <chrono>
#include <optional>

#include "core/Errors.h"
#include "driver/Driver.h"
#include "driver/DriverLinkIo.h"

namespace quillon {

namespace {

using TClock = std::chrono::steady_clock;

class TSession {
 public:
  TSession(ITransport& transport, const TLinkTimeouts& timeouts, ILinkTrace* trace,
           TLink2State& state)
      : FIo(transport, timeouts, trace, TLink2::kProtocol), FState(state) {}

  int Run(TBytesView request, TBytes& answer) {
    FIo.Discard();
    if (!FState.Synced) {
      if (int result = Sync(); result != 0) return result;
    }
    TKorvanFrame2 out;
    out.Data = TBytes(request);
    const std::uint32_t number = TLink2::NextNumber(FState.LastNumber);
    out.Number = static_cast<std::int32_t>(number);
    FState.LastNumber = number;
    const TBytes frame = TKorvanProtocol2::Encode(out);

    int silences = 0;
    int badAnswers = 0;
    int otherAnswers = 0;
    for (;;) {
      if (!FIo.Send(frame)) return Lost();
      TKorvanFrame2 got;
      TFrameStatus status = ReadFrame(got, FIo.Timeouts().AnswerWait(frame.size()));
      if (status == fsClosed) return Lost();
      if (status == fsTimeout) {
        if (++silences >= TLink2::kMaxSilences) return deTimeout;
        continue;
      }
      if (status == fsBad) {
        if (FIo.Drain() == rsClosed) return Lost();
        if (++badAnswers >= TLink2::kMaxBadAnswers) return deBadFrames;
        continue;
      }
      if (TLink2::IsAnswerTo(got, number)) {
        answer = std::move(got.Data);
        return 0;
      }
      if (++otherAnswers >= TLink2::kMaxOtherAnswers) return deBadFrames;
    }
  }

 private:
  // Opens the session. The device answers a Sync at once; frames still on their way from
  // before are dropped while its answer is awaited.
  int Sync() {
    const TBytes frame = TKorvanProtocol2::Encode(TKorvanFrame2());
    int silences = 0;
    int badAnswers = 0;
    int otherAnswers = 0;
    for (;;) {
      if (!FIo.Send(frame)) return Lost();
      const auto deadline =
          TClock::now() + std::chrono::milliseconds(FIo.Timeouts().ReplyWait(frame.size()));
      for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now());
        TKorvanFrame2 got;
        TFrameStatus status =
            left.count() > 0 ? ReadFrame(got, static_cast<int>(left.count())) : fsTimeout;
        if (status == fsClosed) return Lost();
        if (status == fsTimeout) {
          if (++silences >= TLink2::kMaxSyncs) return deTimeout;
          break;
        }
        if (status == fsBad) {
          if (FIo.Drain() == rsClosed) return Lost();
          if (++badAnswers >= TLink2::kMaxBadAnswers) return deBadFrames;
          break;
        }
        if (TLink2::IsSyncAnswer(got)) {
          FState.Synced = true;
          return 0;
        }
        if (++otherAnswers >= TLink2::kMaxOtherAnswers) return deBadFrames;
      }
    }
  }

  // Reads one frame: the start byte within firstByteWait, then the stuffed body up to the
  // end its LEN gives. A start byte inside the body (it stands for nothing else) or a bad
  // escape ends the frame as broken.
  TFrameStatus ReadFrame(TKorvanFrame2& frame, int firstByteWait) {
    TProtocol2FrameTracker tracker;
    bool broken = false;
    auto complete = [&](const TBytes& raw) {
      if (raw.size() == 1) return false;
      const TProtocol2FrameTracker::TStep step = tracker.Feed(raw.back());
      broken =
          step == TProtocol2FrameTracker::tsBadEscape || step == TProtocol2FrameTracker::tsNewStart;
      return step != TProtocol2FrameTracker::tsMore;
    };
    TBytes raw;
    TFrameStatus status = ReadFrameBytes(FIo, kProtocol2Start, firstByteWait, raw, complete);
    if (status != fsOk) return status;
    if (broken) return fsBad;
    try {
      return TKorvanProtocol2::Decode(raw, frame) ? fsOk : fsBad;
    } catch (const EQuillonError&) {
      return fsBad;
    }
  }

  int Lost() {
    FState.Synced = false;
    return FIo.Lost();
  }

  TLinkIo FIo;
  TLink2State& FState;
};

}  // namespace

int TLink2::Exchange(ITransport& transport, TBytesView request, const TLinkTimeouts& timeouts,
                     TLink2State& state, TBytes& answer, ILinkTrace* trace) {
  answer.clear();
  if (request.empty()) return deBadRequest;
  if (request.size() > kMaxRequest) return deRequestTooLong;
  TSession session(transport, timeouts, trace, state);
  int result = session.Run(request, answer);
  if (result != 0) {
    answer.clear();
    // Whatever went wrong may have ended the device's session as well.
    state.Synced = false;
  }
  return result;
}

}  // namespace quillon
