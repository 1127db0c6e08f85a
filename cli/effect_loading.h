// The effect module the command renders with: the one built into the
// program, or a module file given with --plugin, set up in the module host.
#pragma once

#include <memory>
#include <string>

#include "host/module_host/effect_module.h"
#include "host/module_host/module_host.h"

namespace corvalin::cli {

class LoadedEffect {
 public:
  // `plugin` empty: the linked module. Throws a std::runtime_error naming
  // what failed: the file cannot be loaded or lacks an entry point (from
  // ModuleFile), or the module's setup failed (a CliError).
  explicit LoadedEffect(const std::string& plugin);
  LoadedEffect(const LoadedEffect&) = delete;
  LoadedEffect& operator=(const LoadedEffect&) = delete;

  const modulehost::ModuleHost& host() const { return host_; }

 private:
  std::unique_ptr<modulehost::ModuleFile> file_;  // before host_: it holds the entry points
  modulehost::ModuleHost host_;
};

}  // namespace corvalin::cli
