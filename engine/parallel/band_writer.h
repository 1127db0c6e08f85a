// The destination of one band of rows in the parallel scan. A write into the
// band's own rows goes straight to the output and is remembered in the band's
// written-pixel bits; a write anywhere else is logged, to be replayed once
// every band has finished, in the order the serial scan would have made it.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

namespace corvalin {

template <class Pixel>
struct LoggedWrite {
  int32_t index;
  Pixel value;
};

template <class Pixel>
struct BandRecord {
  int32_t ownBegin = 0;  // destination indices of the band's own rows
  int32_t ownEnd = 0;
  // One bit per own pixel, in 64-bit words: stores of a word type cannot
  // alias the pixels and the context, so the steps' code stays as fast as
  // with a plain output pointer.
  std::vector<uint64_t> written;
  std::deque<LoggedWrite<Pixel>> logged;

  bool WroteItself(int32_t index) const {
    const uint32_t bit = static_cast<uint32_t>(index - ownBegin);
    return (written[bit >> 6] >> (bit & 63)) & 1;
  }
};

template <class Pixel>
class BandWriter {
 public:
  BandWriter(Pixel* output, BandRecord<Pixel>* record)
      : output_(output), ownBegin_(record->ownBegin), ownEnd_(record->ownEnd),
        written_(record->written.data()), logged_(&record->logged) {}

  void Write(int32_t index, const Pixel& value) const {
    if (index >= ownBegin_ && index < ownEnd_) {
      const uint32_t bit = static_cast<uint32_t>(index - ownBegin_);
      written_[bit >> 6] |= uint64_t{1} << (bit & 63);
      output_[index] = value;
      return;
    }
    logged_->push_back(LoggedWrite<Pixel>{index, value});
  }

 private:
  Pixel* output_;
  int32_t ownBegin_, ownEnd_;
  uint64_t* written_;
  std::deque<LoggedWrite<Pixel>>* logged_;
};

}  // namespace corvalin
