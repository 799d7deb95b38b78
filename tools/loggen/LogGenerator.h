// Writes realistic driver logs: request and answer frames of the three protocols built by
// the frame encoders, ENQ/NAK/ACK traffic, requests spread over two lines, failed
// commands, requests without answer, "[D]" lines, junk lines with Cyrillic text in
// Windows-1251, CR LF line ends. It can also tell what a reader should find in the log.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace quillon::loggen {

struct TOptions {
  std::uint64_t Commands = 500;  // stop after this many commands ...
  std::uint64_t MaxBytes = 0;    // ... or once the log holds this many bytes (0: no limit)
  std::uint32_t Seed = 1;
  bool AllProtocols = true;  // mix protocols 1, 2 and 3 in segments; else protocol 2 only
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
