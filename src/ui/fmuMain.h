// The main window: loads driver logs, lists their commands, shows the details of one,
// searches and saves the list, asks the register for its status and plays commands back.
#pragma once

#include <QMainWindow>
#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "core/untCommand.h"
#include "driver/Driver.h"
#include "player/untQuillon.h"
#include "ui/MainSettings.h"
#include "ui/MainWindowLayout.h"
#include "ui/PlaybackController.h"

namespace quillon {

class TCommandModel;
class TComparisonController;
class TDifferingRowsModel;
class TLogLoadController;
struct TComparisonRun;
struct TLoadedLog;

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
  bool LoadLogFile(const QString& fileName);
  bool PasteFromClipboard();
  // Processes events until no load runs.
  void WaitForLoad();
  bool Loading() const;

  // The actions of the buttons and the popup menu.
  void Search();
  void FindError();
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

  const TCommandList& Commands() const { return FCommands; }
  TCommandModel* Model() const { return FModel; }
  TQuillon& Player();

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
  void ShowSelectedDetails();
  // The lines under the details that list the differing fields of the row's answer.
  QString ComparisonDetails(int row) const;
  // The view's index of a command's row (invalid while the filter hides it), and back.
  QModelIndex ViewIndex(int row) const;
  int CommandRow(const QModelIndex& viewIndex) const;
  void ConnectSelection();
  // Puts the filter between the list and its model, or takes it away.
  void InstallFilter(bool on);
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
  bool FSettingsSaved = false;
  TComparisonController* FComparison = nullptr;
  TDifferingRowsModel* FDiffering = nullptr;  // while the filter is installed

  TMainWindowLayout FUi;
};

}  // namespace quillon
