#include "cli/effect_loading.h"

#include "cli/formats.h"

namespace corvalin::cli {

namespace {

std::unique_ptr<modulehost::ModuleFile> OpenModuleFile(const std::string& plugin) {
  if (plugin.empty()) return nullptr;
  return std::make_unique<modulehost::ModuleFile>(plugin);
}

}  // namespace

LoadedEffect::LoadedEffect(const std::string& plugin)
    : file_(OpenModuleFile(plugin)),
      host_(file_ ? file_->entryPoints() : modulehost::LinkedEffectModule()) {
  if (const std::string problem = host_.Setup(); !problem.empty()) throw CliError(problem);
}

}  // namespace corvalin::cli
