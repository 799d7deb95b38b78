// quillon-cli run as a child process, as the user runs it: its output collected as it
// comes, its input empty.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quillon::test {

class TChild {
 public:
  // The driver's settings are looked for in configHome. Standard error goes with standard
  // output unless it is to be kept apart (Errors).
  TChild(const std::vector<std::string>& args, const std::string& configHome,
         bool separateErrors = false) {
    int out[2], err[2];
    if (::pipe(out) != 0 || (separateErrors && ::pipe(err) != 0)) return;
    FPid = ::fork();
    if (FPid == 0) {
      ::dup2(out[1], 1);
      ::dup2(separateErrors ? err[1] : out[1], 2);
      ::close(out[0]);
      ::close(out[1]);
      if (separateErrors) {
        ::close(err[0]);
        ::close(err[1]);
      }
      int devNull = ::open("/dev/null", O_RDONLY);
      ::dup2(devNull, 0);
      ::setenv("XDG_CONFIG_HOME", configHome.c_str(), 1);
      ::setenv("LC_ALL", "C.UTF-8", 1);
      std::vector<char*> argv;
      argv.push_back(const_cast<char*>(QUILLON_CLI));
      for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      ::execv(QUILLON_CLI, argv.data());
      ::_exit(127);
    }
    ::close(out[1]);
    FReaders.emplace_back([this, fd = out[0]] { Collect(fd, FOutput); });
    if (separateErrors) {
      ::close(err[1]);
      FReaders.emplace_back([this, fd = err[0]] { Collect(fd, FErrors); });
    }
  }
  ~TChild() {
    if (FPid > 0 && !FWaited) {
      ::kill(FPid, SIGKILL);
      Wait();
    }
  }
  TChild(const TChild&) = delete;
  TChild& operator=(const TChild&) = delete;

  bool Started() const { return FPid > 0; }
  std::string Output() {
    std::lock_guard lock(FMutex);
    return FOutput;
  }
  std::string Errors() {
    std::lock_guard lock(FMutex);
    return FErrors;
  }
  // Waits (at most about 30 s) until `done` holds.
  bool WaitUntil(const std::function<bool()>& done) {
    for (int i = 0; i < 3000; ++i) {
      if (done()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }
  // Waits until the output holds text.
  bool WaitFor(const std::string& text) {
    return WaitUntil([&] { return Output().find(text) != std::string::npos; });
  }
  void Signal(int sig) { ::kill(FPid, sig); }
  int Wait() {
    int status = 0;
    ::waitpid(FPid, &status, 0);
    FWaited = true;
    for (std::thread& reader : FReaders)
      if (reader.joinable()) reader.join();
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

 private:
  void Collect(int fd, std::string& text) {
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0) {
      std::lock_guard lock(FMutex);
      text.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
  }

  pid_t FPid = -1;
  bool FWaited = false;
  std::vector<std::thread> FReaders;
  std::mutex FMutex;
  std::string FOutput, FErrors;
};

}  // namespace quillon::test
