#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include <oneapi/tbb/global_control.h>

#include "cli/command.h"
#include "cli/stop_signal.h"

#ifdef _WIN32
#include <io.h>
#define CORVALIN_ISATTY(fd) _isatty(fd)
#else
#include <unistd.h>
#define CORVALIN_ISATTY(fd) isatty(fd)
#endif

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  corvalin::cli::InstallStopHandlers();
  const bool terminal = CORVALIN_ISATTY(fileno(stderr)) != 0;
  // The worker threads are joined before the process ends, not left to wind
  // down while it exits: a thread still exiting races with whatever walks
  // the threads at exit (the leak checker stops every one of them).
  tbb::task_scheduler_handle workers{tbb::attach{}};
  const int status = corvalin::cli::RunCommand(args, std::cout, std::cerr, terminal);
  (void)tbb::finalize(workers, std::nothrow);
  // Stopped by a signal: end by it too, so that the caller sees the signal.
  if (const int signal = corvalin::cli::StopSignal()) {
    std::cout.flush();
    std::cerr.flush();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
  }
  return status;
}
