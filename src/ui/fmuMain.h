// The main window: loads driver logs, lists their commands, shows the details of one,
// searches and saves the list, asks the register for its status and plays commands back.
#pragma once

#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "core/untCommand.h"
#include "driver/Driver.h"
#include "player/untQuillon.h"
#include "ui/MainSettings.h"
#include "ui/MainWindowLayout.h"
#include "ui/PlaybackController.h"

class QTimer;

namespace quillon {

class TCommandModel;
class TComparisonController;
class TDiagnosticsPanel;
class TDifferingRowsModel;
class TFilterController;
class TLogFollowController;
class TLogLoadController;
class TSearchController;
class TShownRowsModel;
class TStatisticsDialog;
struct TComparisonRun;
struct TFilterRun;
struct TFollowBatch;
struct TLoadedLog;
struct TParseDiagnostic;

enum class TFollowChange;

class TfmMain : public QMainWindow, private IPlaybackView {
  Q_OBJECT

 public:
  // Shows a modal message box and answers the button pressed; tests replace it.
  using TMessageBox = std::function<QMessageBox::StandardButton(
      QMessageBox::Icon icon, const QString& title, const QString& text,
      QMessageBox::StandardButtons buttons)>;
  // Creates the driver when the window first needs it.
  using TDriverFactory = std::function<std::unique_ptr<IDriver>()>;

  // The settings are read from settingsPath and written back there when the window closes.
  explicit TfmMain(QWidget* parent = nullptr, const QString& settingsPath = SettingsFilePath());
  ~TfmMain() override;

  void SetMessageBox(TMessageBox messageBox) { FMessageBox = std::move(messageBox); }
  void SetDriverFactory(TDriverFactory factory) { FDriverFactory = std::move(factory); }

  // Loads a log file or the clipboard text; the list fills when the parse on the worker ends
  // (WaitForLoad). Refused (false) while a playback or another load runs.
  // A file is read in the encoding chosen (LogEncoding) unless it has a byte-order mark.
  bool LoadLogFile(const QString& fileName);
  bool PasteFromClipboard();
  // The encoding of the log files opened; kept in the settings. Another one reads the file
  // the list was loaded from again.
  void SetLogEncoding(TLogEncoding encoding);
  TLogEncoding LogEncoding() const { return FSettings.LogEncoding; }
  // The language of the texts (a code of kLanguageChoices, "" as the system's), written to
  // the settings at once; the program speaks it from its next start, which a message box
  // says the first time the choice leaves the language the window started in.
  void SetLanguageChoice(const QString& code);
  QString LanguageChoice() const { return FSettings.Language; }
  // Following the file the list was loaded from ("Следить за файлом"): the commands its
  // driver appends come into the list within a second, the selection and the place in the
  // list kept (the list goes on to the end only when it stood at the end), the display
  // filter's rows among them shown. They wait while a playback, a load or a walk over the
  // list runs. A file truncated or replaced is loaded again, with a note in the status.
  void SetFollowing(bool on);
  bool Following() const;
  // Processes events until no load runs.
  void WaitForLoad();
  bool Loading() const;

  // The actions of the buttons and the popup menu. The search and the error search walk
  // the rows the list shows on a worker, from the current row on; the row found is
  // selected when the walk ends (WaitForSearch). An empty search text does nothing.
  void Search();
  void SearchBackward();
  void FindError();
  void FindPreviousError();
  bool SearchRunning() const;
  void CancelSearch();
  // Processes events until no search runs.
  void WaitForSearch();
  // The clipboard gets the selected rows as the saved list has them, or their request and
  // answer in hex ("-> ..." and "<- ..." lines).
  void CopySelected();
  void CopySelectedHex();
  bool SaveToFile(const QString& fileName);
  // Starts the status request; its reply is shown when it comes.
  void GetStatus();
  bool StatusPending() const;
  // The driver's properties dialog; the settings are kept in the driver's own file.
  void ShowProperties();
  void StartAll();
  void StartFromPosition();
  void StartCurrentLine();
  void StartSelected();
  // Stops a playback and processes events until it has ended.
  void StopAndWait();
  bool Finished() const;

  // Writes the settings now (closing the window does it too).
  void SaveSettings();

  // The answer comparison. The list's column "Сравнение" shown or hidden; while it is shown
  // (or the filter is on) the details pane lists the differing answer fields too.
  void SetComparisonColumnVisible(bool visible);
  // Only the rows whose played answer differs from the logged one. The verdicts of the
  // whole list are computed on a worker first; the rows go when it is done
  // (WaitForComparison).
  void SetOnlyDiffering(bool on);
  bool OnlyDiffering() const;
  // Starts writing the comparison of every command to fileName, one JSON line each,
  // on a worker; refused (false) during a playback, a load or another comparison.
  bool SaveComparisonReport(const QString& fileName);
  // The user's volatile answer fields (besides the built-in ones); kept in the settings.
  void SetVolatileFieldNames(const QStringList& names);
  QStringList VolatileFieldNames() const { return FSettings.VolatileFields; }
  bool ComparisonRunning() const;
  // Processes events until no comparison runs.
  void WaitForComparison();

  // The list's time columns (TCommandModel::colDelta, colResponse) shown or hidden; kept
  // in the settings.
  void SetTimeColumnVisible(int column, bool visible);

  // The display filter: the expression of the line above the list, as if typed there. A
  // bad one shows its fault beside the line and leaves the rows as they are; a good one is
  // matched against every command on a worker (WaitForFilter), a newer text cancelling an
  // older run; an empty one shows every command.
  void SetFilterText(const QString& text);
  QString FilterText() const;
  bool FilterRunning() const;
  void CancelFilter();
  // Processes events until no filter run goes on.
  void WaitForFilter();

  // The rows the list shows now (after the display filter and "only differing" answers),
  // as ascending command rows of Commands(); ShownRowsChanged tells when they change.
  std::vector<int> ShownRows() const;
  // Selects the command row and shows it; false when the list does not show it.
  bool SelectCommandRow(int row);
  // Opens the statistics of the shown rows (a dialog beside the window; a point or a row
  // picked there selects its command). It closes when another log is loaded.
  TStatisticsDialog* ShowStatistics();
  // The command rows selected in the list, ascending.
  std::vector<int> SelectedCommandRows() const;

  const TCommandList& Commands() const { return FCommands; }
  TCommandModel* Model() const { return FModel; }
  TQuillon& Player();

 signals:
  // The rows the list shows are others now (a filter came or went, a log was loaded).
  void ShownRowsChanged();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void ConnectControls();
  void ApplySettings();
  QMessageBox::StandardButton Ask(QMessageBox::Icon icon, const QString& title, const QString& text,
                                  QMessageBox::StandardButtons buttons);
  // Empties the list and shows that a load runs.
  void StartLoad();
  void LoadFinished(const std::shared_ptr<TLoadedLog>& log);
  // The damaged records of the log just loaded: counted beside the status and listed in
  // their panel; none hides both.
  void ShowDiagnostics(std::vector<TParseDiagnostic> diagnostics);
  // A record picked in that panel: selects the command nearest to its log line.
  void SelectDiagnosticLine(qint64 line);
  // A file dropped on the window or on one of its text boxes; refused while a playback runs.
  void LoadDroppedFile(const QString& fileName);
  // Tells, once the drop or the paste has returned, that a new log waits for the playback.
  void RefuseNewLogDuringPlayback();
  // The command row whose details the pane is to show for the selection, -1 for none.
  int DetailsRow() const;
  // The selection or its current row moved: the details follow unless they show that row.
  void SelectionMoved();
  void ShowSelectedDetails();
  // The lines under the details that list the differing fields of the row's answer.
  QString ComparisonDetails(int row) const;
  // The view's index of a command's row (invalid while the filter hides it), and back.
  QModelIndex ViewIndex(int row) const;
  int CommandRow(const QModelIndex& viewIndex) const;
  void ConnectSelection();
  // Puts the "only differing" filter between the list and its model, or takes it away.
  void InstallFilter(bool on);
  // Puts the models between the list and the commands: the display filter's rows (null:
  // every command) and, above them, the "only differing" filter.
  void InstallViewModels(std::shared_ptr<const std::vector<int>> rows, bool differing);
  // The rows the list shows, null for every command (the walks' form).
  std::shared_ptr<const std::vector<int>> ShownRowSet() const;
  // The display filter's line changed: checks it and starts the matching.
  void ApplyFilter();
  void FilterFinished(const std::shared_ptr<TFilterRun>& run);
  void ShowFilterState(const QString& text, bool fault);
  void EndFilterProgress();
  // Looks for the search line's text, ahead or back.
  void StartSearch(bool backward);
  // Walks the shown rows for the first that matches, ahead or back.
  void Walk(std::function<bool(const TCommand& command)> matches, bool backward);
  void SearchFound(int row);
  void SearchEndReached();
  void SearchEnded();
  // Esc: cancels a search or a filter run, else stops a playback.
  void StopWhatRuns();
  void ComparisonFinished(const std::shared_ptr<TComparisonRun>& run);
  void SaveComparisonDialog();
  void EditVolatileFields();
  int CurrentRow() const;
  void SelectRow(int row);
  // The search question: Ok goes on.
  bool AskRestart(const QString& title, const QString& text);
  void OpenFileDialog();
  void SaveFileDialog();
  IDriver& GetDriver();
  void Start(TStartKind kind);
  // Turns the controls that would disturb a playback off, or on again.
  void SetPlaying(bool playing);
  // Turns the controls that change the list, the settings or start the device on or off.
  void EnableControls(bool enabled);
  // Selects and marks the row of a played command (the previous one gets its picture
  // back) and moves the progress bar; false when the index is not a row.
  bool MarkPlayedRow(int index);

  void StartFollowing();
  void StopFollowing();
  // Something reads the commands on another thread now (the player, a load, a walk).
  bool ListInUse() const;
  // Adds what the followed file gained, unless the list is in use: then a little later.
  void TakeFollowed();
  void AddFollowed(TFollowBatch& batch);
  void FollowEnded(TFollowChange change, const QString& error);
  // Loads the followed file again (it was truncated or replaced).
  void ReloadFollowed();

  // IPlaybackView
  void PlaybackStarting() override;
  void PlaybackEnded() override;
  void ShowPlayedCommand(int index, const QString& status) override;
  void ShowFailedCommand(int index, const QString& status) override;
  bool AskContinue(const QString& title, const QString& text) override;
  void ShowStatus(const TStatusReply& reply) override;

  TCommandList FCommands;
  TCommandModel* FModel = nullptr;
  std::unique_ptr<IDriver> FDriver;
  std::unique_ptr<TPlaybackController> FPlayback;
  TDriverFactory FDriverFactory;
  TMessageBox FMessageBox;
  QString FSettingsPath;
  TMainSettings FSettings;
  int FLastIndex = -1;
  int FLastStateIndex = -1;
  TLogLoadController* FLoader = nullptr;
  TLogFollowController* FFollow = nullptr;
  QTimer* FFollowRetry = nullptr;  // takes the followed commands once the list is free
  std::size_t FFinalRows = 0;      // the rows the followed file can change no more
  std::int64_t FLoadedLines = 0;   // the lines of the file the load read
  bool FFollowGone = false;        // truncated or replaced during a playback
  bool FFollowReloading = false;   // the load now is of a truncated or replaced file
  QString FShownText;              // the expression the display filter's rows are of
  QString FLogFile;                // the file the list was loaded from; empty for the clipboard
  bool FSettingsSaved = false;
  QString FStartLanguage;             // the language of the settings the window started with
  bool FLanguageNoticeShown = false;  // the next start's language has been told
  TComparisonController* FComparison = nullptr;
  TDifferingRowsModel* FDiffering = nullptr;  // while the filter is installed
  QPointer<TStatisticsDialog> FStatistics;    // while one is open
  TShownRowsModel* FShown = nullptr;          // while the display filter is on
  TFilterController* FFilter = nullptr;
  TSearchController* FSearch = nullptr;
  bool FSearchBackward = false;  // the way the last walk went
  int FDetailsRow = -1;          // the row the details pane shows, -1: something else

  TMainWindowLayout FUi;
};

}  // namespace quillon
