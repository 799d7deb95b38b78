// The main window: loads driver logs, lists their commands, shows the details of one,
// searches and saves the list, asks the register for its status and plays commands back.
#pragma once

#include <QMainWindow>
#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/LogParser2.h"
#include "core/untCommand.h"
#include "driver/Driver.h"
#include "player/NotifyBus.h"
#include "player/NotifyThread.h"
#include "player/untQuillon.h"
#include "ui/MainSettings.h"
#include "ui/MainWindowLayout.h"

namespace quillon {

class TCommandModel;
class TLogLoadController;
struct TLoadedLog;

class TfmMain : public QMainWindow {
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
  void GetStatus();
  // The driver's properties dialog; the settings are kept in the driver's own file.
  void ShowProperties();
  void StartAll();
  void StartFromPosition();
  void StartCurrentLine();
  void StartSelected();
  // Stops a playback and processes events until it has ended.
  void StopAndWait();
  bool Finished() const { return FFinished; }

  // Writes the settings now (closing the window does it too).
  void SaveSettings();

  const TCommandList& Commands() const { return FCommands; }
  TCommandModel* Model() const { return FModel; }
  TQuillon& Player() { return *FPlayer; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  enum class TStart { All, FromPosition, CurrentLine, Selected };

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
  void ShowDriverResult(int result, const QString& caption);
  IDriver& GetDriver();
  void Start(TStart kind);
  void SetPlaying(bool playing);
  void PlayFinished();
  void ShowProgress(int index, int pass);
  void OnCommandRun(const std::string& message);
  void OnError(const std::string& message);
  void OnErrorQuery(const std::string& message);
  void RunOnUi(std::function<void()> function, bool wait);

  TCommandList FCommands;
  TCommandModel* FModel = nullptr;
  std::unique_ptr<TQuillon> FPlayer;
  std::unique_ptr<IDriver> FDriver;
  TDriverFactory FDriverFactory;
  TMessageBox FMessageBox;
  QString FSettingsPath;
  TMainSettings FSettings;
  int FFirstCommandIndex = 0;
  int FPlayCommandCount = 0;
  bool FFinished = true;
  int FLastIndex = -1;
  int FLastStateIndex = -1;
  std::vector<TSubscription> FSubscriptions;
  std::unique_ptr<TNotifyThread> FPlayThread;
  TLogLoadController* FLoader = nullptr;
  bool FSettingsSaved = false;

  TMainWindowLayout FUi;
};

}  // namespace quillon
