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
class TLogLoadController;
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

  TMainWindowLayout FUi;
};

}  // namespace quillon
