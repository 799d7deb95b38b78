// Writes realistic driver logs: request and answer frames of the three protocols built by
// the frame encoders, ENQ/NAK/ACK traffic, requests spread over two lines, failed
// commands, requests without answer, "[D]" lines, junk lines with Cyrillic text in
// Windows-1251, CR LF line ends. It can also tell what a reader should find in the log.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace quillon::loggen {

struct TOptions {
  std::uint64_t Commands = 500;  // stop after this many commands ...
  std::uint64_t MaxBytes = 0;    // ... or once the log holds this many bytes (0: no limit)
  std::uint32_t Seed = 1;
  bool AllProtocols = true;  // mix protocols 1, 2 and 3 in segments; else protocol 2 only
  // The clock of the log, in milliseconds since 30.12.1899 00:00:00.000, before its first
  // line; every line is 1 to 40 ms later than the one before. By default 01.12.2024 10:00.
  std::int64_t StartMs = kDefaultStartMs;
  static constexpr std::int64_t kDefaultStartMs = 45627LL * 86400000 + 10 * 3600000;
};

// What the parser must make of one generated command.
struct TExpectedCommand {
  std::int64_t Line = 0;
  std::string Attributes;  // UTF-8
  std::string Time;
  std::string Thread;
  int Protocol = 0;
  int Code = 0;
  std::string Tx;
  std::string Rx;
  int Result = 0;
  bool Error = false;
  // Milliseconds since 30.12.1899 of the request's first line and of the line that
  // completes the answer (none without an answer), and the time between them.
  std::int64_t RequestMs = 0;
  std::optional<std::int64_t> AnswerMs;
  std::optional<std::int64_t> ResponseMs;
  std::string AnswerTime;  // the answer line's stamp as Time gives the request's; "" for none
};

struct TStats {
  std::uint64_t Lines = 0;
  std::uint64_t Bytes = 0;
  std::uint64_t Commands = 0;
};

// Writes the log to out; fills expected when it is given.
TStats Generate(std::ostream& out, const TOptions& options,
                std::vector<TExpectedCommand>* expected = nullptr);

}  // namespace quillon::loggen
