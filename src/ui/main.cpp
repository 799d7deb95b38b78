// quillon [LOGFILE]: the main window, opening LOGFILE at start when one is given.
// quillon --version and quillon --help print the version or the usage without opening a
// window (or needing a display).
#include <QApplication>
#include <QStringList>
#include <clocale>
#include <cstdio>
#include <cstring>

#include "core/Translate.h"
#include "core/Version.h"
#include "ui/MainSettings.h"
#include "ui/fmuMain.h"

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("quillon %s\n", quillon::QuillonVersion().c_str());
    return 0;
  }
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::setlocale(LC_ALL, "");
    quillon::SetLanguage("");
    std::fputs(quillon::Tr("Использование: quillon [--version] [--help] [ФАЙЛ_ЖУРНАЛА]\n"
                           "Окно Quillon: список команд журнала драйвера ККТ, их поля, "
                           "воспроизведение на ККТ.\n"
                           "ФАЙЛ_ЖУРНАЛА открывается при запуске. Подробно: man quillon\n")
                   .c_str(),
               stdout);
    return 0;
  }
  QApplication app(argc, argv);  // takes the C library's locale from the environment
  quillon::StartLanguage();      // the language the user chose in the window, if any
  quillon::TfmMain fmMain;
  fmMain.show();
  const QStringList args = QCoreApplication::arguments();
  if (args.size() > 1) fmMain.LoadLogFile(args.at(1));
  return app.exec();
}
