#include "cli/progress.h"

#include <cmath>
#include <cstdio>
#include <ostream>
#include <string>

namespace corvalin::cli {

namespace {

constexpr const char* kClearLine = "\r\033[K";

std::string Clock(double seconds) {
  const long total = std::lround(seconds);
  char text[32];
  if (total >= 3600) {
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
  } else {
    std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
  }
  return text;
}

std::string SignalName(int signal) {
  switch (signal) {
    case 1: return "SIGHUP";
    case 2: return "SIGINT";
    case 15: return "SIGTERM";
  }
  return "signal " + std::to_string(signal);
}

}  // namespace

Progress::Progress(std::ostream& out, size_t total, bool terminal, bool quiet)
    : out_(out), total_(total), terminal_(terminal), quiet_(quiet),
      start_(std::chrono::steady_clock::now()), lastDraw_(start_) {
  std::lock_guard<std::mutex> lock(mutex_);
  DrawLocked(true);
}

std::string Progress::Bar(size_t done, size_t total, double seconds) {
  constexpr size_t kWidth = 30;
  const size_t filled = total == 0 ? kWidth : done * kWidth / total;
  std::string bar = "[" + std::string(filled, '#') + std::string(kWidth - filled, '.') + "]";
  char text[160];
  const double fps = seconds > 0 && done > 0 ? static_cast<double>(done) / seconds : 0.0;
  std::snprintf(text, sizeof text, " %zu/%zu frames  %.1f fps  ", done, total, fps);
  bar += text;
  bar += fps > 0 ? Clock(static_cast<double>(total - done) / fps) + " left" : "--:-- left";
  return bar;
}

void Progress::DrawLocked(bool force) {
  if (!terminal_ || quiet_) return;
  const auto now = std::chrono::steady_clock::now();
  if (!force && now - lastDraw_ < std::chrono::milliseconds(100)) return;
  lastDraw_ = now;
  const double seconds = std::chrono::duration<double>(now - start_).count();
  out_ << kClearLine << Bar(done_, total_, seconds) << std::flush;
  barShown_ = true;
}

void Progress::Done(const std::string& output) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++done_;
  if (quiet_) return;
  if (terminal_) {
    DrawLocked(done_ == total_);
  } else {
    out_ << "[" << done_ << "/" << total_ << "] wrote " << output << "\n" << std::flush;
  }
}

void Progress::Skipped(const std::string& output) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++done_;
  ++skipped_;
  if (quiet_) return;
  if (terminal_) {
    DrawLocked(done_ == total_);
  } else {
    out_ << "[" << done_ << "/" << total_ << "] kept " << output << " (it exists)\n" << std::flush;
  }
}

void Progress::Failed(const std::string& message) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++done_;
  ++failed_;
  if (barShown_) out_ << kClearLine;
  out_ << "corvalin: error: " << message << "\n";
  DrawLocked(true);
  out_ << std::flush;
}

void Progress::Warned(const std::string& message) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (quiet_) return;
  if (barShown_) out_ << kClearLine;
  out_ << "corvalin: warning: " << message << "\n";
  DrawLocked(true);
  out_ << std::flush;
}

void Progress::Finish(int stopSignal) {
  std::lock_guard<std::mutex> lock(mutex_);
  DrawLocked(true);
  if (barShown_) out_ << "\n";
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  if (stopSignal != 0) {
    out_ << "corvalin: stopped by " << SignalName(stopSignal) << " after " << done_ - failed_
         << " of " << total_ << " frame" << (total_ == 1 ? "" : "s")
         << "; frames in progress were discarded\n";
  }
  if (failed_ > 0) {
    out_ << "corvalin: " << failed_ << " of " << total_ << " frame" << (total_ == 1 ? "" : "s")
         << " failed\n";
  } else if (!quiet_ && total_ > 1 && stopSignal == 0) {
    char text[128];
    if (skipped_ > 0) {
      std::snprintf(text, sizeof text, "rendered %zu frames in %.1f s, kept %zu that existed\n",
                    total_ - skipped_, seconds, skipped_);
    } else {
      std::snprintf(text, sizeof text, "rendered %zu frames in %.1f s\n", total_, seconds);
    }
    out_ << text;
  }
  out_ << std::flush;
}

}  // namespace corvalin::cli
