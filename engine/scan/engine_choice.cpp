#include "engine/scan/engine_choice.h"

#include <cstdlib>
#include <cstring>

namespace corvalin {

Engine DefaultEngine() {
  static const Engine chosen = [] {
    const char* plain = std::getenv("CORVALIN_PLAIN_ENGINE");
    const bool plainAsked = plain != nullptr && *plain != '\0' && std::strcmp(plain, "0") != 0;
    return CORVALIN_FAST_ENGINE && !plainAsked ? Engine::fast : Engine::plain;
  }();
  return chosen;
}

}  // namespace corvalin
