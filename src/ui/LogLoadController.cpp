#include "ui/LogLoadController.h"

#include <QStringList>
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <thread>

#include "ui/UiText.h"

namespace quillon {

namespace {

// The diagnostics box lists at most this many problems and counts the rest.
constexpr std::size_t kMaxDiagnosticLines = 20;

}  // namespace

QString DiagnosticText(const TParseDiagnostic& diagnostic) {
  return T("Строка %1: %2").arg(diagnostic.LineNumber).arg(Q(diagnostic.Message));
}

QString DiagnosticsText(const std::vector<TParseDiagnostic>& diagnostics) {
  QStringList lines;
  const std::size_t shown = std::min(diagnostics.size(), kMaxDiagnosticLines);
  for (std::size_t i = 0; i < shown; ++i) lines << DiagnosticText(diagnostics[i]);
  if (diagnostics.size() > shown)
    lines << T("... и еще %1").arg(static_cast<qulonglong>(diagnostics.size() - shown));
  return lines.join(QLatin1Char('\n'));
}

int NearestCommandRow(const TCommandList& commands, const std::vector<int>* rows,
                      std::int64_t line) {
  const auto count = static_cast<std::ptrdiff_t>(rows ? rows->size() : commands.Count());
  auto rowAt = [&](std::ptrdiff_t i) { return rows ? (*rows)[i] : static_cast<int>(i); };
  // The first of them begun after the line.
  std::ptrdiff_t low = 0, high = count;
  while (low < high) {
    const std::ptrdiff_t middle = low + (high - low) / 2;
    if (commands[rowAt(middle)].LineNumber() <= line)
      low = middle + 1;
    else
      high = middle;
  }
  if (low > 0) return rowAt(low - 1);
  return count > 0 ? rowAt(0) : -1;
}

struct TLogLoadController::TJob {
  std::uint64_t Id = 0;
  std::atomic<bool> Cancel = false;
  std::thread Thread;
};

TLogLoadController::TLogLoadController(QObject* parent) : QObject(parent) {}

TLogLoadController::~TLogLoadController() {
  for (const auto& job : FJobs) job->Cancel = true;
  for (const auto& job : FJobs) job->Thread.join();
}

void TLogLoadController::LoadFile(const QString& fileName, TLogEncoding encoding) {
  Start(encoding, fileName, fileName);
}

void TLogLoadController::LoadText(const QString& text, const QString& sourceName) {
  Start(std::nullopt, text, sourceName);
}

void TLogLoadController::Cancel() {
  for (const auto& job : FJobs)
    if (job->Id == FCurrent) job->Cancel = true;
  FCurrent = 0;
}

void TLogLoadController::Start(std::optional<TLogEncoding> file, const QString& fileNameOrText,
                               const QString& sourceName) {
  Cancel();
  auto job = std::make_unique<TJob>();
  job->Id = FCurrent = ++FLastId;
  const std::uint64_t id = job->Id;
  const std::atomic<bool>* cancel = &job->Cancel;
  job->Thread = std::thread([this, id, cancel, file, input = fileNameOrText, sourceName] {
    auto log = std::make_shared<TLoadedLog>();
    log->SourceName = sourceName;
    int lastPercent = -1;
    TLogLoadControl control;
    control.Cancel = cancel;
    control.Progress = [&](std::uint64_t done, std::uint64_t total) {
      if (total == 0) return;
      const int percent = static_cast<int>(100 * std::min(done, total) / total);
      if (percent == lastPercent) return;
      lastPercent = percent;
      QMetaObject::invokeMethod(
          this,
          [this, id, percent] {
            if (id == FCurrent) emit Progress(percent);
          },
          Qt::QueuedConnection);
    };
    try {
      // The text is converted here and freed here: a large one takes a while.
      const TLogSource source = file ? TLogSource::File(input.toStdString(), *file)
                                     : TLogSource::Text(input.toStdString());
      const TLogLoadResult result = LoadLog(source, log->Commands, control);
      log->ReadError = Q(result.ReadError);
      log->Lines = result.Lines;
      log->Diagnostics = result.Diagnostics;
    } catch (const std::exception& e) {
      // The log could not be opened: nothing was read.
      log->Commands.Clear();
      log->OpenError = Q(e.what());
    }
    // The commands of a cancelled load are freed here too.
    if (cancel->load()) log.reset();
    QMetaObject::invokeMethod(
        this, [this, id, log] { JobEnded(id, log); }, Qt::QueuedConnection);
  });
  FJobs.push_back(std::move(job));
}

void TLogLoadController::JobEnded(std::uint64_t id, const std::shared_ptr<TLoadedLog>& log) {
  const auto it =
      std::find_if(FJobs.begin(), FJobs.end(), [id](const auto& job) { return job->Id == id; });
  if (it == FJobs.end()) return;
  (*it)->Thread.join();
  const bool reports = !(*it)->Cancel && id == FCurrent;
  FJobs.erase(it);
  if (!reports) return;
  FCurrent = 0;
  emit Finished(log);
}

}  // namespace quillon
