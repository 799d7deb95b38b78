#include "core/LogFollower.h"

#include <sys/stat.h>

#include <algorithm>

namespace quillon {

namespace {

// How many lines a poll reads between looks at its control.
constexpr std::int64_t kLinesPerLook = 4096;

}  // namespace

TLogFollower::TLogFollower(std::string fileName, TLogEncoding encoding, TCommandCallback onFinal)
    : FFileName(std::move(fileName)),
      FEncodingChoice(encoding),
      FOnFinal(std::move(onFinal)),
      FSink([this](TCommand& command) { FOnFinal(command, ++FFinal); }),
      FParser(FSink) {
  Open();
}

TLogFollower::~TLogFollower() = default;

void TLogFollower::Open() {
  FReader = std::make_unique<TTextLineReader>(FFileName, FEncodingChoice);
  FReader->SetFollowing(true);
}

TFollowPoll TLogFollower::Poll(const TLogLoadControl& control) {
  TFollowPoll poll;
  if (FFinished) return poll;
  if (FGone != TFollowChange::None) {
    poll.Change = FGone;
    return poll;
  }
  std::uint64_t size = 0;
  struct stat st {};
  // A name that is gone for a moment (the log being rotated) is not a change yet: what the
  // open file gains is still read.
  if (::stat(FFileName.c_str(), &st) == 0) {
    size = static_cast<std::uint64_t>(st.st_size);
    const TFileId id{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    if (id != FReader->FileId())
      FGone = TFollowChange::Replaced;
    else if (size < FReader->BytesRead())
      FGone = TFollowChange::Truncated;
    if (FGone != TFollowChange::None) {
      poll.Change = FGone;
      return poll;
    }
    // Empty when opened: opened again, so that a byte-order mark written since is seen.
    if (FReader->BytesRead() == 0 && size > 0) Open();
  }
  std::string_view line;
  while (FReader->Next(line)) {
    FParser.ParseLine(line);
    if (++poll.Lines % kLinesPerLook != 0) continue;
    if (control.Progress) control.Progress(FReader->BytesRead(), size);
    if (control.Cancel != nullptr && control.Cancel->load(std::memory_order_relaxed)) {
      poll.Cancelled = true;
      break;
    }
  }
  if (poll.Lines > 0) {
    poll.Change = TFollowChange::Appended;
    if (control.Progress)
      control.Progress(FReader->BytesRead(), std::max(size, FReader->BytesRead()));
  }
  return poll;
}

TCommand* TLogFollower::OpenCommand() {
  const TCommand* last = FSink.LastCommand();
  if (last == nullptr) return nullptr;
  FOpen = *last;
  FParser.PreviewAnswer(*FOpen);
  return &*FOpen;
}

void TLogFollower::Finish() {
  if (FFinished) return;
  FFinished = true;
  if (FGone == TFollowChange::None) {
    FReader->SetFollowing(false);
    std::string_view line;
    while (FReader->Next(line)) FParser.ParseLine(line);
  }
  FParser.Finish();
  FSink.Flush();
}

}  // namespace quillon
