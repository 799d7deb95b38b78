// Loads a log for the window on a worker thread through the core's log loader, reports the
// progress in percent and hands the commands over on the thread of the controller. Holds
// no widgets.
#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "core/LogLoader.h"
#include "core/untCommand.h"

namespace quillon {

// What one load gave.
struct TLoadedLog {
  TCommandList Commands;
  std::vector<TParseDiagnostic> Diagnostics;
  QString SourceName;  // the file name, or the name given for a text
  QString OpenError;   // the log could not be read at all: no commands
  QString ReadError;   // reading failed midway: the commands read before are kept
  // The lines read.
  std::int64_t Lines = 0;
};

// One damaged log record as the window lists it: "Строка N: message".
QString DiagnosticText(const TParseDiagnostic& diagnostic);
// The damaged log records in short: at most 20, then how many more.
QString DiagnosticsText(const std::vector<TParseDiagnostic>& diagnostics);
// The command nearest to a log line: the last one whose request began on that line or
// before it, else the first after it; -1 when there is none. rows (ascending rows of
// commands, null: every command) are the ones to choose from. The commands come in the
// order of their lines, so this is a binary search.
int NearestCommandRow(const TCommandList& commands, const std::vector<int>* rows,
                      std::int64_t line);

class TLogLoadController : public QObject {
  Q_OBJECT

 public:
  explicit TLogLoadController(QObject* parent = nullptr);
  // Cancels the loads still running and waits for their threads.
  ~TLogLoadController() override;

  // Starts loading a file (read in `encoding` unless it has a byte-order mark), or text (the
  // clipboard) under the name sourceName. A load still running is cancelled first: it
  // reports nothing more.
  void LoadFile(const QString& fileName, TLogEncoding encoding = TLogEncoding::Auto);
  void LoadText(const QString& text, const QString& sourceName);
  // Cancels the running load; it reports nothing more.
  void Cancel();
  // A load runs that has not reported Finished yet.
  bool Loading() const { return FCurrent != 0; }

 signals:
  // 0..100 while a load runs.
  void Progress(int percent);
  // Once per load that was not cancelled.
  void Finished(std::shared_ptr<TLoadedLog> log);

 private:
  struct TJob;
  // Reads a file (in the encoding `file`) or the text itself (no `file`).
  void Start(std::optional<TLogEncoding> file, const QString& fileNameOrText,
             const QString& sourceName);
  void JobEnded(std::uint64_t id, const std::shared_ptr<TLoadedLog>& log);

  std::vector<std::unique_ptr<TJob>> FJobs;  // threads not joined yet
  std::uint64_t FLastId = 0;
  std::uint64_t FCurrent = 0;  // the id of the load that reports, 0: none
};

}  // namespace quillon
