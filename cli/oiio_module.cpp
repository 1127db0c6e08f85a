// Loads the OpenImageIO codec module on first use (see frame_codec.h).
#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/frame_codec.h"

namespace corvalin::cli {

namespace {

namespace fs = std::filesystem;

// Where to look, in order: the folder CORVALIN_CODEC_DIR names (the tests,
// which run elsewhere in the build tree, and anyone who moved the module);
// beside the running program (the build tree); the private library folder
// of an installation, relative to the program, so that any prefix works.
// No absolute path is compiled in: a copied program must not load whatever
// a build folder, or someone else, left at a fixed place.
std::vector<fs::path> ModuleCandidates() {
  std::vector<fs::path> candidates;
  if (const char* dir = std::getenv("CORVALIN_CODEC_DIR"); dir != nullptr && *dir != '\0') {
    candidates.push_back(fs::path(dir) / kOiioCodecFile);
  }
  std::error_code ec;
  const fs::path program = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    candidates.push_back(program.parent_path() / kOiioCodecFile);
#ifdef CORVALIN_CODEC_DIR_FROM_BINDIR
    candidates.push_back((program.parent_path() / CORVALIN_CODEC_DIR_FROM_BINDIR / kOiioCodecFile)
                             .lexically_normal());
#endif
  }
  return candidates;
}

struct LoadedModule {
  const OiioCodecEntry* entry = nullptr;
  std::string problem;  // why it did not load
};

LoadedModule Load() {
  LoadedModule loaded;
  std::string tried;
  for (const fs::path& candidate : ModuleCandidates()) {
    std::error_code ec;
    if (!fs::exists(candidate, ec)) {
      tried += (tried.empty() ? "" : ", ") + candidate.string();
      continue;
    }
    // Loaded for the life of the process: never closed.
    void* handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
      loaded.problem = std::string("cannot load ") + candidate.string() + ": " + dlerror();
      return loaded;
    }
    using EntryFunction = const OiioCodecEntry* (*)();
    auto entry = reinterpret_cast<EntryFunction>(dlsym(handle, kOiioCodecSymbol));
    if (entry == nullptr) {
      loaded.problem = candidate.string() + " is not the image format module of this build";
      return loaded;
    }
    loaded.entry = entry();
    return loaded;
  }
  loaded.problem = std::string("formats other than PNG need the module ") + kOiioCodecFile +
                   ", which is missing (looked for " + tried + ")";
  return loaded;
}

const OiioCodecEntry& Entry() {
  static const LoadedModule loaded = Load();
  if (loaded.entry == nullptr) throw CodecError(loaded.problem);
  return *loaded.entry;
}

}  // namespace

std::unique_ptr<FrameDecoder> OpenOiioDecoder(const std::string& path, FileFormat format) {
  return Entry().openDecoder(path, format);
}

std::unique_ptr<FrameEncoder> OpenOiioEncoder(const std::string& path, FILE* file, int32_t width,
                                              int32_t height, const OutputLayout& layout) {
  OutputLayout resolved = layout;
  resolved.compression = CompressionOf(layout);
  return Entry().openEncoder(path, file, width, height, resolved);
}

}  // namespace corvalin::cli
