#include "driver/DriverTrace.h"

#include <QDateTime>
#include <cerrno>
#include <cstring>
#include <functional>
#include <thread>

#if defined(__linux__)
#include <unistd.h>
#endif

#include "core/BinUtils.h"
#include "core/LogParser2.h"
#include "core/Translate.h"

namespace quillon {

namespace {

// What stands between the marker of a request line and its bytes, and of an answer line.
constexpr std::string_view kSentArrow = "-> ";

std::string_view RequestMarker(int protocol) {
  switch (protocol) {
    case 2:
      return kProtocol2Marker;
    case 3:
      return kProtocol3Marker;
    default:
      return kProtocol1Marker;
  }
}

// The marker of the protocol's lines in one direction.
std::string Marker(int protocol, bool sent) {
  std::string_view request = RequestMarker(protocol);
  if (sent) return std::string(request);
  std::string answer(request.substr(0, request.size() - kSentArrow.size()));
  answer += kAnswerMarker;
  return answer;
}

// The text that closes a protocol's stretch: no frame, and an empty answer behind it.
const std::string kStretchEnd = "-- " + std::string(kAnswerMarker);

std::string LinePrefix(std::string_view timeStamp, std::uint32_t thread) {
  std::string line = "[";
  line += timeStamp;
  line += "] [";
  line += IntToHex(thread, 8);
  line += "] ";
  return line;
}

}  // namespace

std::string FormatTraceLine(std::string_view timeStamp, std::uint32_t thread, int protocol,
                            bool sent, TBytesView bytes) {
  std::string line = LinePrefix(timeStamp, thread);
  line += Marker(protocol, sent);
  line += BytesToHex(bytes);
  return line;
}

std::string TraceTimeStamp() {
  return QDateTime::currentDateTime()
      .toString(QStringLiteral("dd.MM.yyyy hh:mm:ss.zzz"))
      .toStdString();
}

std::uint32_t CurrentThreadNumber() {
#if defined(__linux__)
  return static_cast<std::uint32_t>(gettid());
#else
  return static_cast<std::uint32_t>(std::hash<std::thread::id>()(std::this_thread::get_id()));
#endif
}

TDriverTrace::TDriverTrace(std::string path) : FPath(std::move(path)) {}

TDriverTrace::~TDriverTrace() {
  if (FFile != nullptr) std::fclose(FFile);
}

void TDriverTrace::Sent(int protocol, TBytesView bytes) {
  Write(protocol, true, bytes);
}

void TDriverTrace::Received(int protocol, TBytesView bytes) {
  Write(protocol, false, bytes);
}

void TDriverTrace::Write(int protocol, bool sent, TBytesView bytes) {
  if (!FError.empty()) return;
  if (FFile == nullptr) {
    FFile = std::fopen(FPath.c_str(), "wb");
    if (FFile == nullptr) {
      FError = Tr("Не удалось открыть файл трассировки обмена: ") + FPath + " (" +
               std::strerror(errno) + ")";
      return;
    }
  }
  const std::string timeStamp = TraceTimeStamp();
  std::string lines;
  if (FProtocol != 0 && protocol != FProtocol)
    lines += LinePrefix(timeStamp, FThread) + Marker(FProtocol, true) + kStretchEnd + "\r\n";
  FProtocol = protocol;
  lines += FormatTraceLine(timeStamp, FThread, protocol, sent, bytes);
  lines += "\r\n";
  if (std::fwrite(lines.data(), 1, lines.size(), FFile) != lines.size() || std::fflush(FFile) != 0)
    FError = Tr("Не удалось записать файл трассировки обмена: ") + FPath;
}

}  // namespace quillon
