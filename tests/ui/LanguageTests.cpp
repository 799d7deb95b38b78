// The language of the window's texts: chosen in the language button's menu with the
// keyboard, kept in the settings file, and spoken by a window started with it; on the
// offscreen platform.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "core/Translate.h"
#include "ui/LanguageButton.h"
#include "ui/MainSettings.h"
#include "ui/UiText.h"
#include "ui/fmuMain.h"

namespace quillon {
namespace {

class LanguageTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(FDir.isValid()); }

  QString SettingsPath() const { return FDir.filePath(QStringLiteral("settings.xml")); }

  std::unique_ptr<TfmMain> MakeWindow() {
    auto window = std::make_unique<TfmMain>(nullptr, SettingsPath());
    window->SetMessageBox([this](QMessageBox::Icon, const QString&, const QString& text,
                                 QMessageBox::StandardButtons) {
      FMessages << text;
      return QMessageBox::Ok;
    });
    window->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    return window;
  }

  // Opens the language button's menu with the mouse and picks the choice of code with the
  // keyboard, the way the user goes down the menu.
  static void Choose(TfmMain& window, const char* code) {
    auto* button = window.findChild<TLanguageButton*>(QStringLiteral("btnLanguage"));
    ASSERT_NE(button, nullptr);
    int downs = 0;
    while (QLatin1String(kLanguageChoices[downs].Code) != QLatin1String(code)) ++downs;
    // The menu runs its own loop while it is open: the keys come from a timer.
    QTimer::singleShot(0, button, [button, downs] {
      QMenu* menu = button->menu();
      ASSERT_TRUE(QTest::qWaitFor([menu] { return menu->isVisible(); }, 2000));
      for (int i = 0; i <= downs; ++i) QTest::keyClick(menu, Qt::Key_Down);
      QTest::keyClick(menu, Qt::Key_Return);
    });
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_FALSE(button->menu()->isVisible());
  }

  QTemporaryDir FDir;
  QStringList FMessages;
};

// Puts the translation layer back as the other tests of the program expect it.
class TLanguageGuard {
 public:
  TLanguageGuard() : FDirectory(TranslationDirectory()) {
    if (const char* language = std::getenv("LANGUAGE")) FLanguage = language;
  }
  ~TLanguageGuard() {
    if (FLanguage)
      ::setenv("LANGUAGE", FLanguage->c_str(), 1);
    else
      ::unsetenv("LANGUAGE");
    SetTranslationDirectory(FDirectory);
    SetLanguage("");
  }
  TLanguageGuard(const TLanguageGuard&) = delete;
  TLanguageGuard& operator=(const TLanguageGuard&) = delete;

 private:
  std::string FDirectory;
  std::optional<std::string> FLanguage;
};

TEST_F(LanguageTest, TheChoiceIsSavedAtOnceToldOnceAndCheckedAtTheNextStart) {
  auto window = MakeWindow();
  auto* button = window->findChild<TLanguageButton*>(QStringLiteral("btnLanguage"));
  ASSERT_NE(button, nullptr);
  EXPECT_TRUE(button->Action(QString())->isChecked());  // no settings yet: the system's
  EXPECT_EQ(button->Action(QString())->text(), T("Как в системе"));
  EXPECT_EQ(button->Action(QStringLiteral("en"))->text(), QStringLiteral("English"));

  struct TStep {
    const char* Code;
    int Messages;  // told so far
  };
  // The first change is told; going on changing, or back to the language the window
  // speaks, is not told again.
  for (const TStep& step : {TStep{"en", 1}, TStep{"ru", 1}, TStep{"", 1}, TStep{"ru", 1}}) {
    SCOPED_TRACE(step.Code);
    Choose(*window, step.Code);
    EXPECT_EQ(window->LanguageChoice(), QLatin1String(step.Code));
    EXPECT_TRUE(button->Action(QLatin1String(step.Code))->isChecked());
    // Written before the window closes.
    EXPECT_EQ(LoadMainSettings(SettingsPath()).Language, QLatin1String(step.Code));
    EXPECT_EQ(FMessages.size(), step.Messages);
  }
  EXPECT_EQ(FMessages.value(0), T("Язык будет изменён при следующем запуске программы"));
  EXPECT_TRUE(button->toolTip().contains(QStringLiteral("Русский")))
      << button->toolTip().toStdString();

  window->close();
  window = MakeWindow();
  EXPECT_EQ(window->LanguageChoice(), QStringLiteral("ru"));
  EXPECT_TRUE(window->findChild<TLanguageButton*>(QStringLiteral("btnLanguage"))
                  ->Action(QStringLiteral("ru"))
                  ->isChecked());
  // Picking the language the window started in again is no change to tell.
  Choose(*window, "ru");
  EXPECT_EQ(FMessages.size(), 1);
  Choose(*window, "en");
  EXPECT_EQ(FMessages.size(), 2);
  window->close();

  // A code the program does not know reads as the system's.
  TMainSettings settings = LoadMainSettings(SettingsPath());
  EXPECT_EQ(settings.Language, QStringLiteral("en"));
  settings.Language = QStringLiteral("de");
  ASSERT_TRUE(SaveMainSettings(settings, SettingsPath()));
  EXPECT_EQ(LoadMainSettings(SettingsPath()).Language, QString());
}

// What main() does with the settings: a window started with "en" speaks English with the
// build folder's catalogue.
TEST_F(LanguageTest, AWindowStartedInEnglishShowsEnglishTexts) {
  TMainSettings settings;
  settings.Language = QStringLiteral("en");
  ASSERT_TRUE(SaveMainSettings(settings, SettingsPath()));
  TLanguageGuard guard;
  ::unsetenv("LANGUAGE");
  SetTranslationDirectory(QUILLON_BUILD_LOCALE);
  EXPECT_EQ(StartLanguage(SettingsPath()), QStringLiteral("en"));
  if (Tr("Открыть файл лога") == "Открыть файл лога")
    GTEST_SKIP() << "the catalogue of the build folder has no English texts of the window yet";

  auto window = MakeWindow();
  const QRegularExpression cyrillic(QStringLiteral("[\\x{0400}-\\x{04FF}]"));
  auto expectEnglish = [&](const QString& where, const QString& text) {
    EXPECT_FALSE(text.contains(cyrillic)) << where.toStdString() << ": " << text.toStdString();
  };
  for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
    expectEnglish(button->objectName(), button->text());
    expectEnglish(button->objectName(), button->toolTip());
  }
  for (QLabel* label : window->findChildren<QLabel*>())
    expectEnglish(label->objectName(), label->text());
  for (QLineEdit* line : window->findChildren<QLineEdit*>())
    expectEnglish(line->objectName(), line->placeholderText());
  for (QAction* action : window->findChildren<QAction*>()) {
    if (action->objectName() == QLatin1String("acLanguage_ru")) continue;  // in its own words
    expectEnglish(action->objectName(), action->text());
    expectEnglish(action->objectName(), action->toolTip());
  }
  window->close();
}

}  // namespace
}  // namespace quillon
