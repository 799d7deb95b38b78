// quillon [LOGFILE]: the main window, opening LOGFILE at start when one is given.
#include <QApplication>
#include <QStringList>

#include "ui/fmuMain.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  quillon::TfmMain fmMain;
  fmMain.show();
  const QStringList args = QCoreApplication::arguments();
  if (args.size() > 1) fmMain.LoadLogFile(args.at(1));
  return app.exec();
}
