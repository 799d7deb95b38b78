#include "core/LogLoader.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "core/Errors.h"
#include "core/TextFile.h"

namespace quillon {

TLogSource TLogSource::File(std::string fileName, TLogEncoding encoding) {
  TLogSource source;
  source.FIsFile = true;
  source.FFileName = std::move(fileName);
  source.FEncoding = encoding;
  return source;
}

TLogSource TLogSource::Text(std::string text) {
  TLogSource source;
  source.FText = std::move(text);
  return source;
}

namespace {

// A queue between two threads that holds at most `capacity` items. The consumer may stop
// it early: the producer's next Push then fails and it gives up.
template <typename T>
class TChannel {
 public:
  explicit TChannel(std::size_t capacity) : FCapacity(capacity) {}

  bool Push(T&& item) {
    std::unique_lock lock(FMutex);
    FChanged.wait(lock, [&] { return FItems.size() < FCapacity || FStopped; });
    if (FStopped) return false;
    FItems.push_back(std::move(item));
    FChanged.notify_all();
    return true;
  }
  // False once the producer has closed the channel and every item has been taken.
  bool Pop(T& item) {
    std::unique_lock lock(FMutex);
    FChanged.wait(lock, [&] { return !FItems.empty() || FClosed || FStopped; });
    if (FItems.empty() || FStopped) return false;
    item = std::move(FItems.front());
    FItems.pop_front();
    FChanged.notify_all();
    return true;
  }
  void Close() {
    std::lock_guard lock(FMutex);
    FClosed = true;
    FChanged.notify_all();
  }
  void Stop() {
    std::lock_guard lock(FMutex);
    FStopped = true;
    FChanged.notify_all();
  }

 private:
  std::mutex FMutex;
  std::condition_variable FChanged;
  std::deque<T> FItems;
  std::size_t FCapacity;
  bool FClosed = false;
  bool FStopped = false;
};

// Lines read and converted to UTF-8, one after another in one text.
struct TLineBatch {
  std::string Text;
  std::vector<std::size_t> Ends;  // where each line ends in Text
  std::uint64_t BytesRead = 0;    // of the source, once this batch was read
  std::string ReadError;          // reading failed after the lines of this batch
  void Clear() {
    Text.clear();
    Ends.clear();
    ReadError.clear();
  }
};

constexpr std::size_t kBatchText = 1 << 20;
constexpr std::size_t kBatchesInFlight = 4;

// The lines of text already in memory, split at CR LF, LF and CR.
class TMemoryLines {
 public:
  explicit TMemoryLines(std::string_view text) : FText(text) {}
  bool Next(std::string_view& line) {
    if (FPos >= FText.size()) return false;
    std::size_t end = FText.find_first_of("\r\n", FPos);
    if (end == std::string_view::npos) {
      line = FText.substr(FPos);
      FPos = FText.size();
      return true;
    }
    line = FText.substr(FPos, end - FPos);
    FPos = end + 1;
    if (FText[end] == '\r' && FPos < FText.size() && FText[FPos] == '\n') ++FPos;
    return true;
  }
  std::uint64_t BytesRead() const { return FPos; }
  std::uint64_t Size() const { return FText.size(); }

 private:
  std::string_view FText;
  std::size_t FPos = 0;
};

// Reads the lines of a source on a thread of its own and hands them over in batches. A
// file is opened by the constructor, on the calling thread, so that its error comes first.
class TLineFeed {
 public:
  explicit TLineFeed(const TLogSource& source) : FFull(kBatchesInFlight) {
    if (source.IsFile()) {
      FFile = std::make_unique<TTextLineReader>(source.FileName(), source.Encoding());
      FTotal = FFile->FileSize();
    } else {
      FMemory.emplace(source.Content());
      FTotal = FMemory->Size();
    }
    for (std::size_t i = 0; i < kBatchesInFlight; ++i) FFree.push_back(TLineBatch());
    FThread = std::thread([this] { Run(); });
  }
  ~TLineFeed() {
    FFull.Stop();
    {
      std::lock_guard lock(FFreeMutex);
      FStopped = true;
      FFreeChanged.notify_all();
    }
    FThread.join();
  }
  TLineFeed(const TLineFeed&) = delete;
  TLineFeed& operator=(const TLineFeed&) = delete;

  std::uint64_t Total() const { return FTotal; }

  // Feeds every line to the parser. Stops early when `control` cancels; returns false then.
  bool ParseAll(TLogParser& parser, const TLogLoadControl& control, TLogLoadResult& result) {
    TLineBatch batch;
    while (FFull.Pop(batch)) {
      if (control.Cancel != nullptr && control.Cancel->load(std::memory_order_relaxed))
        return false;
      std::string_view text = batch.Text;
      std::size_t from = 0;
      for (std::size_t end : batch.Ends) {
        parser.ParseLine(text.substr(from, end - from));
        from = end;
      }
      if (control.Progress) control.Progress(batch.BytesRead, FTotal);
      if (!batch.ReadError.empty()) {
        result.ReadError = batch.ReadError;
        return true;
      }
      batch.Clear();
      Recycle(std::move(batch));
    }
    return !(control.Cancel != nullptr && control.Cancel->load());
  }

 private:
  bool NextLine(std::string_view& line) { return FFile ? FFile->Next(line) : FMemory->Next(line); }
  std::uint64_t BytesRead() const { return FFile ? FFile->BytesRead() : FMemory->BytesRead(); }

  bool TakeFree(TLineBatch& batch) {
    std::unique_lock lock(FFreeMutex);
    FFreeChanged.wait(lock, [&] { return !FFree.empty() || FStopped; });
    if (FStopped) return false;
    batch = std::move(FFree.front());
    FFree.pop_front();
    return true;
  }
  void Recycle(TLineBatch&& batch) {
    std::lock_guard lock(FFreeMutex);
    FFree.push_back(std::move(batch));
    FFreeChanged.notify_all();
  }

  void Run() {
    TLineBatch batch;
    if (!TakeFree(batch)) return;
    std::string_view line;
    try {
      while (NextLine(line)) {
        batch.Text.append(line);
        batch.Ends.push_back(batch.Text.size());
        if (batch.Text.size() >= kBatchText) {
          batch.BytesRead = BytesRead();
          if (!FFull.Push(std::move(batch)) || !TakeFree(batch)) return;
        }
      }
    } catch (const std::exception& e) {
      batch.ReadError = e.what();
      if (batch.ReadError.empty()) batch.ReadError = "?";
    }
    batch.BytesRead = BytesRead();
    if (!batch.Ends.empty() || !batch.ReadError.empty()) FFull.Push(std::move(batch));
    FFull.Close();
  }

  std::unique_ptr<TTextLineReader> FFile;
  std::optional<TMemoryLines> FMemory;
  std::uint64_t FTotal = 0;
  TChannel<TLineBatch> FFull;
  std::mutex FFreeMutex;
  std::condition_variable FFreeChanged;
  std::deque<TLineBatch> FFree;
  bool FStopped = false;
  std::thread FThread;
};

// Runs the parser over the feed into the sink; the sink's last command is handed over too.
TLogLoadResult ParseFeed(TLineFeed& feed, TStreamingCommandSink& sink,
                         const TLogLoadControl& control) {
  TLogLoadResult result;
  TLogParser parser(sink);
  if (!feed.ParseAll(parser, control, result)) {
    result.Cancelled = true;
  } else {
    parser.Finish();
    sink.Flush();
  }
  result.Lines = parser.LineCount();
  result.Diagnostics = parser.Diagnostics();
  return result;
}

}  // namespace

TLogLoadResult LoadLog(const TLogSource& source, const TCommandCallback& onCommand,
                       const TLogLoadControl& control) {
  TLineFeed feed(source);
  std::uint64_t number = 0;
  TStreamingCommandSink sink([&](TCommand& command) { onCommand(command, ++number); });
  TLogLoadResult result = ParseFeed(feed, sink, control);
  result.Commands = number;
  return result;
}

TLogLoadResult LoadLog(const TLogSource& source, TCommandList& list,
                       const TLogLoadControl& control) {
  list.Clear();
  TLineFeed feed(source);
  TCommandListSink sink(list);
  TLogLoadResult result;
  TLogParser parser(sink);
  if (!feed.ParseAll(parser, control, result))
    result.Cancelled = true;
  else
    parser.Finish();
  result.Lines = parser.LineCount();
  result.Diagnostics = parser.Diagnostics();
  result.Commands = list.Count();
  return result;
}

namespace {

// Commands on their way from the parser to the formatting workers and, as text, on to
// the writer.
struct TCommandBatch {
  std::uint64_t Sequence = 0;
  std::uint64_t FirstNumber = 1;
  std::vector<TCommand> Commands;
  std::string Text;
};

constexpr std::size_t kCommandsPerBatch = 1024;

// Shared state of the formatting stages. The first failure of any stage stops all of them.
class TFormatStages {
 public:
  explicit TFormatStages(std::size_t maxPending) : FMaxPending(maxPending) {}

  // Parser side: waits while too many batches are on their way. False once stopped.
  bool Submit(TCommandBatch&& batch) {
    std::unique_lock lock(FMutex);
    FChanged.wait(lock, [&] { return FPending < FMaxPending || FStopped; });
    if (FStopped) return false;
    ++FPending;
    FToFormat.push_back(std::move(batch));
    FChanged.notify_all();
    return true;
  }
  void EndOfInput() {
    std::lock_guard lock(FMutex);
    FInputEnded = true;
    FChanged.notify_all();
  }
  // Worker side.
  bool TakeToFormat(TCommandBatch& batch) {
    std::unique_lock lock(FMutex);
    FChanged.wait(lock, [&] { return !FToFormat.empty() || FInputEnded || FStopped; });
    if (FStopped || FToFormat.empty()) return false;
    batch = std::move(FToFormat.front());
    FToFormat.pop_front();
    return true;
  }
  void Formatted(std::uint64_t sequence, std::string&& text) {
    std::lock_guard lock(FMutex);
    FDone.emplace(sequence, std::move(text));
    if (sequence == FNextToWrite) FChanged.notify_all();
  }
  // Writer side: the text of the next batch in order; false when there is none left.
  bool TakeNextText(std::string& text) {
    std::unique_lock lock(FMutex);
    FChanged.wait(lock, [&] {
      return FStopped || FDone.count(FNextToWrite) != 0 || (FInputEnded && FPending == 0);
    });
    auto it = FDone.find(FNextToWrite);
    if (FStopped || it == FDone.end()) return false;
    text = std::move(it->second);
    FDone.erase(it);
    --FPending;
    ++FNextToWrite;
    FChanged.notify_all();
    return true;
  }
  void Fail(std::exception_ptr error) {
    std::lock_guard lock(FMutex);
    if (!FError) FError = error;
    FStopped = true;
    FChanged.notify_all();
  }
  std::exception_ptr Error() {
    std::lock_guard lock(FMutex);
    return FError;
  }

 private:
  std::mutex FMutex;
  std::condition_variable FChanged;
  std::deque<TCommandBatch> FToFormat;
  std::map<std::uint64_t, std::string> FDone;
  std::size_t FPending = 0;  // batches submitted and not yet written
  std::size_t FMaxPending;
  std::uint64_t FNextToWrite = 0;
  bool FInputEnded = false;
  bool FStopped = false;
  std::exception_ptr FError;
};

}  // namespace

TLogLoadResult LoadLogFormatted(const TLogSource& source, const TCommandFormatter& format,
                                const TTextWriter& write, const TLogLoadControl& control) {
  TLineFeed feed(source);  // a file that cannot be opened fails here
  const std::size_t workers = std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 8);
  TFormatStages stages(4 * workers + 4);
  TLogLoadResult result;

  std::thread parsing([&] {
    try {
      std::uint64_t sequence = 0, number = 0;
      TCommandBatch batch;
      batch.Commands.reserve(kCommandsPerBatch);
      struct TStopped {};
      auto submit = [&] {
        // Another stage failed: parsing on would be wasted.
        if (!stages.Submit(std::move(batch))) throw TStopped();
        batch = TCommandBatch();
        batch.Sequence = ++sequence;
        batch.FirstNumber = number + 1;
        batch.Commands.reserve(kCommandsPerBatch);
      };
      TStreamingCommandSink sink([&](TCommand& command) {
        ++number;
        batch.Commands.push_back(std::move(command));
        if (batch.Commands.size() >= kCommandsPerBatch) submit();
      });
      try {
        TLogLoadResult parsed = ParseFeed(feed, sink, control);
        if (!batch.Commands.empty()) submit();
        parsed.Commands = number;
        result = std::move(parsed);
      } catch (const TStopped&) {
      }
    } catch (...) {
      stages.Fail(std::current_exception());
    }
    stages.EndOfInput();
  });

  std::vector<std::thread> pool;
  for (std::size_t i = 0; i < workers; ++i) {
    pool.emplace_back([&] {
      try {
        TCommandBatch batch;
        while (stages.TakeToFormat(batch)) {
          std::uint64_t number = batch.FirstNumber;
          for (TCommand& command : batch.Commands) format(command, number++, batch.Text);
          stages.Formatted(batch.Sequence, std::move(batch.Text));
        }
      } catch (...) {
        stages.Fail(std::current_exception());
      }
    });
  }

  try {
    std::string text;
    while (stages.TakeNextText(text)) write(text);
  } catch (...) {
    stages.Fail(std::current_exception());
  }
  parsing.join();
  for (std::thread& t : pool) t.join();
  if (std::exception_ptr error = stages.Error()) std::rethrow_exception(error);
  return result;
}

}  // namespace quillon
