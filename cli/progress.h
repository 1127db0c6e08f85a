// Progress of a render: a bar redrawn in place on a terminal (frames done,
// frames per second, time left), one plain line per frame otherwise. Errors
// are always printed. Safe to call from several render threads.
#pragma once

#include <chrono>
#include <cstddef>
#include <iosfwd>
#include <mutex>
#include <string>

namespace corvalin::cli {

class Progress {
 public:
  Progress(std::ostream& out, size_t total, bool terminal, bool quiet);

  void Done(const std::string& output);
  // An output left as it was (--skip-existing).
  void Skipped(const std::string& output);
  void Failed(const std::string& message);
  // Something the user may want to know that did not stop the frame
  // (metadata passed over); not printed when quiet.
  void Warned(const std::string& message);
  // Ends the bar and prints the summary (only the failure count when quiet);
  // after a stop by `stopSignal`, says so and how far the run got.
  void Finish(int stopSignal = 0);

  // "[#####.....]  12/100 frames  3.4 fps  0:26 left" for the numbers given.
  static std::string Bar(size_t done, size_t total, double seconds);

 private:
  void DrawLocked(bool force);

  std::ostream& out_;
  const size_t total_;
  const bool terminal_, quiet_;
  size_t done_ = 0, failed_ = 0, skipped_ = 0;
  bool barShown_ = false;
  std::chrono::steady_clock::time_point start_, lastDraw_;
  std::mutex mutex_;
};

}  // namespace corvalin::cli
