#include "ui/MainSettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QSaveFile>
#include <QStringList>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include "core/Translate.h"

namespace quillon {

namespace {

constexpr const char* kRoot = "Configuration";
constexpr const char* kForm = "fmMain";
constexpr const char* kExceptions = "memCommandExceptions.Lines";
constexpr const char* kLine = "Line";
constexpr const char* kVolatileFields = "VolatileFields.Lines";

QString BoolText(bool value) {
  return value ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
}

void ReadInt(const QMap<QString, QString>& values, const char* name, int& value) {
  const auto it = values.find(QString::fromLatin1(name));
  if (it == values.end()) return;
  bool ok = false;
  const int parsed = it->trimmed().toInt(&ok);
  if (ok) value = parsed;
}

void ReadText(const QMap<QString, QString>& values, const char* name, QString& value) {
  const auto it = values.find(QString::fromLatin1(name));
  if (it != values.end()) value = *it;
}

void ReadBool(const QMap<QString, QString>& values, const char* name, bool& value) {
  const auto it = values.find(QString::fromLatin1(name));
  if (it != values.end()) ParseSettingsBool(*it, value);
}

}  // namespace

QString SettingsFilePath() {
  QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
  if (base.isEmpty()) base = QDir::homePath() + QStringLiteral("/.config");
  return base + QStringLiteral("/KORVANIX/Quillon/settings.xml");
}

bool ParseSettingsBool(const QString& text, bool& value) {
  const QString word = text.trimmed().toUpper();
  if (word == u"TRUE" || word == u"YES" || word == u"Y") {
    value = true;
    return true;
  }
  if (word == u"FALSE" || word == u"NO" || word == u"N") {
    value = false;
    return true;
  }
  return false;
}

TMainSettings LoadMainSettings(const QString& path) {
  TMainSettings settings;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return settings;

  QMap<QString, QString> values;
  QStringList exceptions;
  bool haveExceptions = false;
  QStringList volatileFields;
  QXmlStreamReader xml(&file);
  if (!xml.readNextStartElement() || xml.name() != QLatin1String(kRoot)) return settings;
  while (xml.readNextStartElement()) {
    if (xml.name() != QLatin1String(kForm)) {
      xml.skipCurrentElement();
      continue;
    }
    while (xml.readNextStartElement()) {
      if (xml.name() == QLatin1String(kExceptions) ||
          xml.name() == QLatin1String(kVolatileFields)) {
        const bool isExceptions = xml.name() == QLatin1String(kExceptions);
        haveExceptions = haveExceptions || isExceptions;
        QStringList& lines = isExceptions ? exceptions : volatileFields;
        while (xml.readNextStartElement()) {
          if (xml.name() == QLatin1String(kLine))
            lines << xml.readElementText();
          else
            xml.skipCurrentElement();
        }
      } else {
        const QString name = xml.name().toString();
        values.insert(name, xml.readElementText(QXmlStreamReader::SkipChildElements));
      }
    }
  }
  if (xml.hasError()) return settings;  // damaged: keep every default

  if (haveExceptions) settings.CommandExceptions = exceptions;
  settings.VolatileFields = volatileFields;
  ReadText(values, "dlgOpen.FileName", settings.OpenFileName);
  ReadText(values, "dlgOpen.InitialDir", settings.OpenInitialDir);
  ReadText(values, "dlgSave.InitialDir", settings.SaveInitialDir);
  ReadText(values, "dlgSave.FileName", settings.SaveFileName);
  ReadInt(values, "spl1.Top", settings.SplitterTop);
  ReadInt(values, "splDetails.Left", settings.SplitterDetails);
  ReadInt(values, "dlgOpen.FilterIndex", settings.OpenFilterIndex);
  ReadBool(values, "chkIngoreKKTErrors.Checked", settings.IgnoreKKTErrors);
  ReadBool(values, "chkInfinitePlay.Checked", settings.InfinitePlay);
  int left = 0, top = 0, width = 0, height = 0;
  ReadInt(values, "Left", left);
  ReadInt(values, "Top", top);
  ReadInt(values, "Width", width);
  ReadInt(values, "Height", height);
  if (width > 0 && height > 0) settings.Geometry = QRect(left, top, width, height);
  ReadBool(values, "Maximized", settings.Maximized);
  ReadBool(values, "colDelta.Visible", settings.DeltaColumn);
  ReadBool(values, "colResponse.Visible", settings.ResponseColumn);
  ReadText(values, "edtFilter.Text", settings.FilterText);
  QString encoding;
  ReadText(values, "LogEncoding", encoding);
  if (const auto choice = LogEncodingByCliName(encoding.trimmed().toStdString()))
    settings.LogEncoding = *choice;
  QString language;
  ReadText(values, "Language", language);
  language = language.trimmed();
  for (const TLanguageChoice& choice : kLanguageChoices)
    if (language == QLatin1String(choice.Code)) settings.Language = language;
  QString widths;
  ReadText(values, "lvCommands.ColumnWidths", widths);
  for (const QString& text : widths.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok || value < 0) {
      settings.ColumnWidths.clear();  // damaged: every column as laid out
      break;
    }
    settings.ColumnWidths << value;
  }
  return settings;
}

QString StartLanguage(const QString& path) {
  const QString code = LoadMainSettings(path).Language;
  SetLanguage(code.toStdString());
  return code;
}

bool SaveMainSettings(const TMainSettings& settings, const QString& path, QString* error) {
  if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
    if (error) *error = path;
    return false;
  }
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) {
    if (error) *error = file.errorString();
    return false;
  }
  QXmlStreamWriter xml(&file);
  xml.setAutoFormatting(true);
  xml.writeStartDocument();
  xml.writeStartElement(QLatin1String(kRoot));
  xml.writeStartElement(QLatin1String(kForm));
  xml.writeStartElement(QLatin1String(kExceptions));
  for (const QString& line : settings.CommandExceptions)
    xml.writeTextElement(QLatin1String(kLine), line);
  xml.writeEndElement();
  xml.writeTextElement(QStringLiteral("dlgOpen.FileName"), settings.OpenFileName);
  xml.writeTextElement(QStringLiteral("dlgOpen.InitialDir"), settings.OpenInitialDir);
  xml.writeTextElement(QStringLiteral("dlgSave.InitialDir"), settings.SaveInitialDir);
  xml.writeTextElement(QStringLiteral("dlgSave.FileName"), settings.SaveFileName);
  xml.writeTextElement(QStringLiteral("spl1.Top"), QString::number(settings.SplitterTop));
  xml.writeTextElement(QStringLiteral("splDetails.Left"),
                       QString::number(settings.SplitterDetails));
  xml.writeTextElement(QStringLiteral("dlgOpen.FilterIndex"),
                       QString::number(settings.OpenFilterIndex));
  xml.writeTextElement(QStringLiteral("chkIngoreKKTErrors.Checked"),
                       BoolText(settings.IgnoreKKTErrors));
  xml.writeTextElement(QStringLiteral("chkInfinitePlay.Checked"), BoolText(settings.InfinitePlay));
  if (settings.Geometry.isValid()) {
    xml.writeTextElement(QStringLiteral("Left"), QString::number(settings.Geometry.x()));
    xml.writeTextElement(QStringLiteral("Top"), QString::number(settings.Geometry.y()));
    xml.writeTextElement(QStringLiteral("Width"), QString::number(settings.Geometry.width()));
    xml.writeTextElement(QStringLiteral("Height"), QString::number(settings.Geometry.height()));
  }
  xml.writeTextElement(QStringLiteral("Maximized"), BoolText(settings.Maximized));
  xml.writeTextElement(QStringLiteral("colDelta.Visible"), BoolText(settings.DeltaColumn));
  xml.writeTextElement(QStringLiteral("colResponse.Visible"), BoolText(settings.ResponseColumn));
  if (!settings.FilterText.isEmpty())
    xml.writeTextElement(QStringLiteral("edtFilter.Text"), settings.FilterText);
  xml.writeTextElement(QStringLiteral("LogEncoding"),
                       QLatin1String(LogEncodingName(settings.LogEncoding).CliName));
  xml.writeTextElement(QStringLiteral("Language"), settings.Language);
  if (!settings.ColumnWidths.isEmpty()) {
    QStringList widths;
    for (int width : settings.ColumnWidths) widths << QString::number(width);
    xml.writeTextElement(QStringLiteral("lvCommands.ColumnWidths"), widths.join(QLatin1Char(',')));
  }
  if (!settings.VolatileFields.isEmpty()) {
    xml.writeStartElement(QLatin1String(kVolatileFields));
    for (const QString& name : settings.VolatileFields)
      xml.writeTextElement(QLatin1String(kLine), name);
    xml.writeEndElement();
  }
  xml.writeEndElement();
  xml.writeEndElement();
  xml.writeEndDocument();
  if (xml.hasError() || !file.commit()) {
    if (error) *error = file.errorString();
    return false;
  }
  return true;
}

}  // namespace quillon
