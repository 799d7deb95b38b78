// The user's settings of the main window, kept between runs in
// $XDG_CONFIG_HOME/KORVANIX/Quillon/settings.xml (~/.config when the variable is unset).
#pragma once

#include <QList>
#include <QRect>
#include <QString>
#include <QStringList>

#include "core/TextFile.h"

namespace quillon {

struct TMainSettings {
  QStringList CommandExceptions{QStringLiteral("FF 0A")};
  QString OpenFileName;
  QString OpenInitialDir;
  QString SaveInitialDir;
  QString SaveFileName{QStringLiteral("Log")};
  int SplitterTop = -1;      // -1: as laid out
  int SplitterDetails = -1;  // the details' width beside the bytes; -1: as laid out
  int OpenFilterIndex = 1;
  bool IgnoreKKTErrors = false;
  bool InfinitePlay = false;
  // Window placement; an empty rectangle: centred at the default size.
  QRect Geometry;
  bool Maximized = false;
  // Answer fields the comparison takes as volatile besides its own table; kept in the file
  // only when there are any.
  QStringList VolatileFields;
  // The list's time columns "Δ, мс" and "Ответ, мс"; hidden unless the user showed them.
  bool DeltaColumn = false;
  bool ResponseColumn = false;
  // The display filter's last expression; empty: every command shown.
  QString FilterText;
  // The encoding log files without a byte-order mark are read in.
  TLogEncoding LogEncoding = TLogEncoding::Auto;
  // The widths of the list's columns in their order; 0 (a hidden column) or none: as laid
  // out.
  QList<int> ColumnWidths;
  // The language of the texts: a code of kLanguageChoices, "" as the system's. It takes
  // effect when the program starts (StartLanguage).
  QString Language;
};

// The full path of the settings file.
QString SettingsFilePath();

// Reads the settings. A missing or damaged file leaves every value at its default; a value
// that cannot be read leaves that value at its default.
TMainSettings LoadMainSettings(const QString& path = SettingsFilePath());
// Writes the settings atomically; false (and the reason in error) when that fails.
bool SaveMainSettings(const TMainSettings& settings, const QString& path, QString* error = nullptr);

// Reads the language of the settings and chooses it for the texts (SetLanguage); call it
// before the window is built. Answers the code chosen.
QString StartLanguage(const QString& path = SettingsFilePath());

// "TRUE", "YES", "Y" are true, "FALSE", "NO", "N" false (any case); anything else leaves
// value unchanged and answers false.
bool ParseSettingsBool(const QString& text, bool& value);

}  // namespace quillon
