// A command line run by the shell as the user would type it, its output collected, and
// what tests of the programs' texts look for in that output.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace quillon::test {

struct TShellRun {
  std::string Out;  // stdout (and whatever the command line sends there)
  int Status = -1;  // the exit status; -1 when the command did not exit
};

inline TShellRun RunShell(const std::string& command) {
  TShellRun run;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char buf[65536];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) run.Out.append(buf, n);
  const int status = pclose(pipe);
  run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Whether a Cyrillic letter (U+0400..U+04FF: lead bytes D0..D3 in UTF-8) starts at i.
inline bool CyrillicAt(const std::string& text, std::size_t i) {
  if (i + 1 >= text.size()) return false;
  const auto lead = static_cast<unsigned char>(text[i]);
  const auto next = static_cast<unsigned char>(text[i + 1]);
  return lead >= 0xD0 && lead <= 0xD3 && (next & 0xC0) == 0x80;
}

inline bool HasCyrillic(const std::string& text) {
  for (std::size_t i = 0; i < text.size(); ++i)
    if (CyrillicAt(text, i)) return true;
  return false;
}

}  // namespace quillon::test
