// Frame-numbered file names as compositors write them: a run of '#' or '@'
// has one digit per character ("####" and "@@@@" are four digits), except
// that a lone '#' also stands for four; and printf-style "%d" / "%04d".
// Numbers wider than the field keep all their digits.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace corvalin::cli {

struct FramePattern {
  std::string prefix, suffix;
  int digits = 0;  // zero-padded width; 0 means no padding

  std::string Expand(int64_t frame) const;
};

// The widest frame field of any kind ('#' or '@' run, "%0Nd"): more digits
// than any frame number has (at most nine), and every padded name stays short.
inline constexpr int kMaxFieldDigits = 18;

// The one frame field in `path`, if it has one; a CliError if it has several
// or one wider than kMaxFieldDigits.
std::optional<FramePattern> FindFramePattern(const std::string& path);

inline constexpr int64_t kMaxFrameNumber = 999999999;
inline constexpr size_t kMaxFrameCount = 1000000;

// The frames of `pattern` that exist on disk, in ascending order: every name
// in the pattern's folder that is the pattern expanded with its number. The
// frame field must lie in the file name, not in a folder name.
std::vector<int64_t> DiscoverFrames(const FramePattern& pattern);

// "1001-1100", "1-10x2", "5" and comma lists of those, in the order given,
// each frame once. A CliError names the faulty part and the accepted forms.
std::vector<int64_t> ParseFrameList(const std::string& text);

}  // namespace corvalin::cli
