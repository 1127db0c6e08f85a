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
  std::vector<uint8_t> written;           // one bit per own pixel
  std::deque<LoggedWrite<Pixel>> logged;  // stable references while appending

  bool WroteItself(int32_t index) const {
    const int32_t bit = index - ownBegin;
    return (written[static_cast<size_t>(bit >> 3)] >> (bit & 7)) & 1;
  }
};

template <class Pixel>
class BandWriter {
 public:
  BandWriter(Pixel* output, BandRecord<Pixel>* record) : output_(output), record_(record) {}

  // The steps only ever write through the reference they get here.
  Pixel& operator[](int32_t index) const {
    if (index >= record_->ownBegin && index < record_->ownEnd) {
      const int32_t bit = index - record_->ownBegin;
      record_->written[static_cast<size_t>(bit >> 3)] |= static_cast<uint8_t>(1u << (bit & 7));
      return output_[index];
    }
    record_->logged.push_back(LoggedWrite<Pixel>{index, Pixel{}});
    return record_->logged.back().value;
  }

 private:
  Pixel* output_;
  BandRecord<Pixel>* record_;
};

}  // namespace corvalin
