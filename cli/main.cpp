#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/image_io.h"

#ifdef _WIN32
#include <io.h>
#define CORVALIN_ISATTY(fd) _isatty(fd)
#else
#include <unistd.h>
#define CORVALIN_ISATTY(fd) isatty(fd)
#endif

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  corvalin::cli::RemoveTempFilesOnSignals();
  const bool terminal = CORVALIN_ISATTY(fileno(stderr)) != 0;
  return corvalin::cli::RunCommand(args, std::cout, std::cerr, terminal);
}
