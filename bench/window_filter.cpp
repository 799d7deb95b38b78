// Applies display filters to a million commands in the main window, through the line the
// user types into, and reports how long each took to show its rows and the longest time
// the event loop went without running meanwhile. Run it on the offscreen platform:
//   QT_QPA_PLATFORM=offscreen build/bench/window_filter [COMMANDS]
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "LogGenerator.h"
#include "ui/CommandModel.h"
#include "ui/fmuMain.h"

namespace {

// The longest gap between two runs of a 5 ms timer since the last Restart.
class TStallMeter {
 public:
  TStallMeter() {
    FTicker.setInterval(5);
    QObject::connect(&FTicker, &QTimer::timeout, [this] {
      FLongest = std::max(FLongest, FSinceTick.elapsed());
      FSinceTick.restart();
    });
    FSinceTick.start();
    FTicker.start();
  }
  void Restart() {
    FLongest = 0;
    FSinceTick.restart();
  }
  qint64 Longest() const { return std::max(FLongest, FSinceTick.elapsed()); }

 private:
  QTimer FTicker;
  QElapsedTimer FSinceTick;
  qint64 FLongest = 0;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const std::uint64_t commands = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
  QTemporaryDir dir;
  const QString logPath = dir.filePath("generated.log");
  {
    std::ofstream out(logPath.toStdString(), std::ios::binary);
    quillon::loggen::TOptions options;
    options.Commands = commands;
    quillon::loggen::Generate(out, options);
  }
  quillon::TfmMain window(nullptr, dir.filePath("settings.xml"));
  window.show();
  window.LoadLogFile(logPath);
  window.WaitForLoad();
  std::printf("rows %d\n", window.Model()->rowCount());

  TStallMeter stalls;
  auto* line = window.findChild<QLineEdit*>("edtFilter");
  auto report = [&](const char* what, const QString& text, qint64 ms) {
    std::printf("%-34s %-28s shown %8zu, %6lld ms, longest event-loop stall %4lld ms\n", what,
                text.toUtf8().constData(), window.ShownRows().size(), static_cast<long long>(ms),
                static_cast<long long>(stalls.Longest()));
  };
  // Typed as a whole (pasted), then removed again.
  for (const char* expression : {"error", "code == 10", "not noanswer", "name ~ \"чек\"",
                                 "response > 100 or error", "summary ~ \"итог\"", ""}) {
    stalls.Restart();
    QElapsedTimer timer;
    timer.start();
    window.SetFilterText(QString::fromUtf8(expression));
    window.WaitForFilter();
    app.processEvents();
    report(*expression ? "filter" : "filter removed", QString::fromUtf8(expression),
           timer.elapsed());
  }
  // Typed key by key: each valid prefix starts a run that the next key cancels.
  const QString typed = QStringLiteral("error or code == FF46");
  line->setFocus();
  stalls.Restart();
  QElapsedTimer timer;
  timer.start();
  for (QChar c : typed) {
    QTest::keyClicks(line, QString(c));
    app.processEvents();
  }
  window.WaitForFilter();
  app.processEvents();
  report("typed key by key", typed, timer.elapsed());
  return 0;
}
