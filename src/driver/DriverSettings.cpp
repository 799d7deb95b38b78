#include "driver/DriverSettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <cstdlib>

#include "core/Translate.h"
#include "driver/DeviceAddress.h"

namespace quillon {

namespace {

constexpr const char* kRoot = "DriverSettings";
constexpr int kMaxTimeout = 3600000;  // one hour
constexpr int kMaxPassword = 99999999;

struct TIntField {
  const char* Name;
  int TDriverSettings::*Field;
  int Low;
  int High;
};

constexpr TIntField kIntFields[] = {
    {"ByteTimeout", &TDriverSettings::ByteTimeout, 1, kMaxTimeout},
    {"AnswerTimeout", &TDriverSettings::AnswerTimeout, 1, kMaxTimeout},
    {"PrintTimeout", &TDriverSettings::PrintTimeout, 0, kMaxTimeout},
    {"Password", &TDriverSettings::Password, 0, kMaxPassword},
    {"SysAdminPassword", &TDriverSettings::SysAdminPassword, 0, kMaxPassword},
    {"Protocol", &TDriverSettings::Protocol, 0, 3},
};

// A file name holds no control characters (a line break in it is damage).
bool IsFileName(const QString& text) {
  for (QChar c : text)
    if (c.category() == QChar::Other_Control) return false;
  return true;
}

void ApplyValue(TDriverSettings& settings, QStringView name, const QString& text) {
  if (name == u"Address") {
    std::string uri = text.trimmed().toStdString();
    TDeviceAddress address;
    std::string error;
    if (TDeviceAddress::TryParse(uri, address, error)) settings.Address = uri;
    return;
  }
  if (name == u"TraceFile") {
    if (IsFileName(text)) settings.TraceFile = text.toStdString();
    return;
  }
  for (const TIntField& field : kIntFields) {
    if (name != QLatin1String(field.Name)) continue;
    bool ok = false;
    qlonglong value = text.trimmed().toLongLong(&ok);
    if (ok && value >= field.Low && value <= field.High)
      settings.*field.Field = static_cast<int>(value);
    return;
  }
}

}  // namespace

std::string DefaultDriverSettingsPath() {
  std::string base;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home != nullptr ? home : "") + "/.config";
  }
  return base + "/KORVANIX/Quillon/driver.xml";
}

bool LoadDriverSettings(const std::string& path, TDriverSettings& settings) {
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) return false;
  QXmlStreamReader xml(&file);
  if (!xml.readNextStartElement() || xml.name() != QLatin1String(kRoot)) return false;
  // Values are gathered in a copy so that a file damaged further down changes nothing.
  TDriverSettings read = settings;
  while (xml.readNextStartElement()) {
    QString name = xml.name().toString();
    // A value element holds text only; anything nested in it makes the text unreadable.
    QString text = xml.readElementText(QXmlStreamReader::SkipChildElements);
    if (xml.hasError()) break;
    ApplyValue(read, name, text);
  }
  if (!xml.hasError()) {
    // Read to the end so that damage after the root's last child is noticed too.
    while (!xml.atEnd()) xml.readNext();
  }
  if (xml.hasError()) return false;
  settings = read;
  return true;
}

bool SaveDriverSettings(const std::string& path, const TDriverSettings& settings,
                        std::string& error) {
  QString fileName = QString::fromStdString(path);
  QString folder = QFileInfo(fileName).absolutePath();
  if (!QDir().mkpath(folder)) {
    error = Tr("Не удалось создать папку настроек драйвера: ") + folder.toStdString();
    return false;
  }
  QSaveFile file(fileName);
  if (!file.open(QIODevice::WriteOnly)) {
    error = Tr("Не удалось записать настройки драйвера: ") + path;
    return false;
  }
  QXmlStreamWriter xml(&file);
  xml.setAutoFormatting(true);
  xml.writeStartDocument();
  xml.writeStartElement(QLatin1String(kRoot));
  xml.writeTextElement(QStringLiteral("Address"), QString::fromStdString(settings.Address));
  for (const TIntField& field : kIntFields)
    xml.writeTextElement(QLatin1String(field.Name), QString::number(settings.*field.Field));
  xml.writeTextElement(QStringLiteral("TraceFile"), QString::fromStdString(settings.TraceFile));
  xml.writeEndElement();
  xml.writeEndDocument();
  if (xml.hasError() || !file.commit()) {
    error = Tr("Не удалось записать настройки драйвера: ") + path;
    return false;
  }
  return true;
}

}  // namespace quillon
