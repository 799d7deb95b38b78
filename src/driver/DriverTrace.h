// The driver's traffic written down as the driver log that Quillon reads, so that a trace
// opened as a log lists the commands sent, each with the answer the device gave:
//
//   [09.12.2024 10:46:47.025] [00003F1A] [DEBUG] TPrinterProtocol2 -> 8F 07 00 01 00 ...
//   [09.12.2024 10:46:47.031] [00003F1A] [DEBUG] TPrinterProtocol2 <- 8F 13 00 01 00 ...
//
// One line for each frame, control byte or run of stray bytes, with the local time and the
// number of the thread whose command it was; "->" what went out, "<-" what came in.
// Plain ASCII (so the same in Windows-1251, as logs are read), lines ending in CR LF, each
// flushed at once so that a crash loses none. The file is started anew by its first line.
//
// A log's answer is cut out of its frame by the protocol of the request line after it. So
// when the protocol changes, the trace first closes the old protocol's stretch with a line
// of its own, "[...] [DEBUG] TPrinterProtocol3 -> -- <- ", which hands the last answer over
// under the old protocol and adds no command and no answer.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "core/Bytes.h"
#include "driver/DriverLink.h"

namespace quillon {

class TDriverTrace final : public ILinkTrace {
 public:
  explicit TDriverTrace(std::string path);
  ~TDriverTrace() override;
  TDriverTrace(const TDriverTrace&) = delete;
  TDriverTrace& operator=(const TDriverTrace&) = delete;

  const std::string& Path() const { return FPath; }
  // The thread named on the lines that follow (see CurrentThreadNumber).
  void SetThread(std::uint32_t thread) { FThread = thread; }
  // Why the file cannot be written; empty while all is well.
  const std::string& Error() const { return FError; }

  void Sent(int protocol, TBytesView bytes) override;
  void Received(int protocol, TBytesView bytes) override;

 private:
  void Write(int protocol, bool sent, TBytesView bytes);

  std::string FPath;
  std::FILE* FFile = nullptr;
  std::string FError;
  std::uint32_t FThread = 0;
  int FProtocol = 0;  // of the last line written; 0: none yet
};

// One line of a trace without its end: the bracketed time stamp (dd.mm.yyyy hh:mm:ss.zzz)
// and thread (eight hex digits), the protocol's marker and the bytes as hex text.
std::string FormatTraceLine(std::string_view timeStamp, std::uint32_t thread, int protocol,
                            bool sent, TBytesView bytes);
// The local time now, as the log writes it: "09.12.2024 10:46:47.025".
std::string TraceTimeStamp();
// The number the system knows the calling thread by.
std::uint32_t CurrentThreadNumber();

}  // namespace quillon
