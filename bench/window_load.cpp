// Opens a log in the main window and reports how long the load took, the longest time the
// event loop went without running, the damaged frames counted and the memory used. Run it
// on the offscreen platform:
//   QT_QPA_PLATFORM=offscreen build/bench/window_load LOGFILE
// A log with damaged frames loads the same way (the window counts them and asks nothing),
// e.g. a generated one with a frame of a wrong checksum put before every thousandth line:
//   build/quillon-loggen -o big.log -s 200M
//   bad='[DEBUG] TPrinterProtocol2 -> 8F 07 00 01 00 9F 00 1E 00 00 00 12 34'
//   awk -v bad="$bad" 'NR % 1000 == 0 { print bad "\r" } { print }' big.log > damaged.log
#include <QApplication>
#include <QElapsedTimer>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <fstream>
#include <string>

#include "ui/CommandModel.h"
#include "ui/DiagnosticsPanel.h"
#include "ui/fmuMain.h"

namespace {

long ResidentKilobytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: window_load LOGFILE\n");
    return 2;
  }
  QTemporaryDir dir;
  quillon::TfmMain window(nullptr, dir.filePath("settings.xml"));
  window.show();

  // The longest gap between two runs of a 5 ms timer is the longest stall of the loop.
  QElapsedTimer sinceTick;
  qint64 longest = 0;
  QTimer ticker;
  ticker.setInterval(5);
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    longest = std::max(longest, sinceTick.elapsed());
    sinceTick.restart();
  });
  sinceTick.start();
  ticker.start();

  QElapsedTimer load;
  load.start();
  qint64 firstRows = -1;
  window.LoadLogFile(QString::fromLocal8Bit(argv[1]));
  while (window.Loading()) {
    app.processEvents(QEventLoop::WaitForMoreEvents, 5);
    if (firstRows < 0 && window.Model()->rowCount() > 0) firstRows = load.elapsed();
  }
  qint64 loaded = load.elapsed();
  if (firstRows < 0) firstRows = loaded;
  // Scroll through the list as a user would, so that summaries are decoded on demand.
  auto* view = window.findChild<QTableView*>("lvCommands");
  QElapsedTimer scroll;
  scroll.start();
  for (int step = 0; step < 200 && view != nullptr; ++step) {
    view->scrollTo(window.Model()->index(window.Model()->rowCount() * step / 200, 0));
    app.processEvents();
  }
  const auto* damaged = window.findChild<quillon::TDiagnosticsPanel*>("dckDiagnostics");
  std::printf(
      "rows %d, load %lld ms, first rows after %lld ms, scrolling 200 pages %lld ms, "
      "longest event-loop stall %lld ms, damaged frames %zu, peak memory %ld MB\n",
      window.Model()->rowCount(), static_cast<long long>(loaded), static_cast<long long>(firstRows),
      static_cast<long long>(scroll.elapsed()), static_cast<long long>(longest),
      damaged ? damaged->Count() : std::size_t{0}, ResidentKilobytes() / 1024);
  return 0;
}
