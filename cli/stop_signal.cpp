#include "cli/stop_signal.h"

#include <csignal>
#include <cstring>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace corvalin::cli {

namespace {

static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free,
              "the signal handler may only touch lock-free atomics");

std::atomic<int> stopSignal{0};

}  // namespace

struct TempFileRegistration::Slot {
  std::atomic<bool> claimed{false}, ready{false};
  char path[4096];
};

namespace {

TempFileRegistration::Slot tempSlots[512];

#ifndef _WIN32
void OnStopSignal(int signal) {
  int expected = 0;
  if (stopSignal.compare_exchange_strong(expected, signal)) return;
  // Asked twice: remove what is being written and go at once.
  for (TempFileRegistration::Slot& s : tempSlots) {
    if (s.ready.load()) ::unlink(s.path);
  }
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}
#endif

}  // namespace

void InstallStopHandlers() {
#ifndef _WIN32
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(signal, &action, nullptr);
  std::signal(SIGXFSZ, SIG_IGN);
#endif
}

int StopSignal() { return stopSignal.load(std::memory_order_relaxed); }
void RequestStop(int signal) { stopSignal = signal; }
void ClearStopRequest() { stopSignal = 0; }

TempFileRegistration::TempFileRegistration(const std::string& path) {
  if (path.size() >= sizeof(Slot::path)) return;
  for (Slot& s : tempSlots) {
    bool expected = false;
    if (s.claimed.compare_exchange_strong(expected, true)) {
      std::memcpy(s.path, path.c_str(), path.size() + 1);
      s.ready = true;
      slot_ = &s;
      return;
    }
  }
}

TempFileRegistration::~TempFileRegistration() {
  if (slot_ == nullptr) return;
  slot_->ready = false;
  slot_->claimed = false;
}

}  // namespace corvalin::cli
