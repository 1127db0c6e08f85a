// Render frames kept between renders, for the adapters that own their
// frames and are called frame after frame (the OpenFX plug-in, the Python
// module).
//
// A render needs one or two frames of the picture's size. Fresh memory from the
// system costs a page fault on first touch, which for a 4K frame costs about
// as much as converting it, and whether an allocator hands back the pages of
// the last render depends on the host's allocator and the frame's size. So
// the frames of a finished render are kept, and the next render of the same
// size or smaller takes them. At most kKeptFrames frames are kept, those
// last given back; they go when the library is unloaded. Renders running at
// once each take their own.
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

namespace corvalin {

class WorkingFrames {
 public:
  static constexpr size_t kKeptFrames = 2;

  struct Frame {
    std::unique_ptr<std::byte[]> bytes;
    size_t size = 0;
  };

  // A frame of at least `size` bytes, not cleared; throws std::bad_alloc.
  Frame Take(size_t size) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      for (auto it = kept_.begin(); it != kept_.end(); ++it)
        if (it->size >= size) {
          Frame frame = std::move(*it);
          kept_.erase(it);
          return frame;
        }
    }
    return Frame{std::unique_ptr<std::byte[]>(new std::byte[size]), size};
  }

  void GiveBack(Frame frame) {
    if (!frame.bytes) return;
    std::lock_guard<std::mutex> lock(mutex_);
    kept_.insert(kept_.begin(), std::move(frame));
    if (kept_.size() > kKeptFrames) kept_.pop_back();
  }

  // The one set of this library (plug-in or module), for every instance.
  static WorkingFrames& Shared() {
    static WorkingFrames frames;
    return frames;
  }

 private:
  std::mutex mutex_;
  std::vector<Frame> kept_;  // most recently given back first
};

}  // namespace corvalin
