// Prints the render digests of a module file (or of the linked module when
// no path is given), one line per frame.
#include <cstdio>
#include <exception>
#include <memory>

#include "tests/windows/render_digest.h"

int main(int argc, char** argv) {
  try {
    std::unique_ptr<corvalin::minihost::ModuleFile> file;
    corvalin::minihost::EffectModule module = corvalin::minihost::LinkedEffectModule();
    if (argc > 1) {
      file = std::make_unique<corvalin::minihost::ModuleFile>(argv[1]);
      module = file->entryPoints();
    }
    for (const auto& line : corvalin::digest::RenderDigests(module))
      std::printf("%s\n", line.c_str());
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "corvalin_render_digest: %s\n", e.what());
    return 1;
  }
}
