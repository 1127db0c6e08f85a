// Stopping a render by signal, and the temporary files it must not leave.
//
// A farm preempts a task with SIGTERM, a person stops one with Ctrl-C. The
// first such signal only records itself: the sequence stops between stages,
// frames in flight are dropped with their temporary files, and every frame
// already renamed into place stays. A second signal does not wait: it removes
// the temporary files registered at that moment and ends the process.
#pragma once

#include <atomic>
#include <string>

namespace corvalin::cli {

// SIGINT, SIGTERM and SIGHUP as above. SIGXFSZ is ignored, so that a file
// size limit fails the write of that frame instead of killing the process.
void InstallStopHandlers();

// The signal that asked the run to stop, or 0.
int StopSignal();
// What the first signal does, for callers and tests without a signal.
void RequestStop(int signal);
void ClearStopRequest();

// Thrown out of a frame's stages when a stop was requested; the frame is
// dropped, not reported as failed.
struct StopRequested {};
inline void ThrowIfStopRequested() {
  if (StopSignal() != 0) throw StopRequested{};
}

// Registers a temporary file for removal by a second signal for as long as
// it lives. Fixed slots: a signal handler may neither allocate nor lock.
class TempFileRegistration {
 public:
  explicit TempFileRegistration(const std::string& path);
  ~TempFileRegistration();
  TempFileRegistration(const TempFileRegistration&) = delete;
  TempFileRegistration& operator=(const TempFileRegistration&) = delete;

  struct Slot;  // defined beside the handler

 private:
  Slot* slot_ = nullptr;
};

}  // namespace corvalin::cli
