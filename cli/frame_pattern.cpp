#include "cli/frame_pattern.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <string_view>
#include <unordered_set>

#include "cli/image_io.h"

namespace corvalin::cli {

std::string FramePattern::Expand(int64_t frame) const {
  std::string number = std::to_string(frame);
  if (static_cast<int>(number.size()) < digits) {
    number.insert(0, static_cast<size_t>(digits) - number.size(), '0');
  }
  return prefix + number + suffix;
}

namespace {

struct Field {
  size_t begin, end;
  int digits;
};

// Refuses a field wider than kMaxFieldDigits, whatever its kind, in one
// form: a frame number never needs more, and each digit lengthens every
// name of the sequence (a thousand '#' would only fail at the first write).
void CheckFieldWidth(const std::string& path, std::string_view field, std::string_view width,
                     bool fits) {
  if (fits) return;
  // The whole path is in the message already: a long field is shown by its start.
  const std::string shown =
      field.size() > 32 ? std::string(field.substr(0, 16)) + "..." : std::string(field);
  throw CliError(path + ": the frame field '" + shown + "' has a width of " + std::string(width) +
                 " digits; the width must be 1 to " + std::to_string(kMaxFieldDigits));
}

// A printf field at `pos` ('%' there): "%d" or "%0Nd"; anything else is
// text. The width is checked as text: read into an int, it could wrap
// ("%04294967300d" as "%04d").
std::optional<Field> PrintfField(const std::string& path, size_t pos) {
  size_t i = pos + 1;
  int digits = 0;
  if (i < path.size() && path[i] == '0') {
    ++i;
    const size_t start = i;
    while (i < path.size() && path[i] >= '0' && path[i] <= '9') ++i;
    if (i == start || i == path.size() || path[i] != 'd') return std::nullopt;
    const std::string_view width(path.data() + start, i - start);
    int64_t value = 0;
    const auto [end, ec] = std::from_chars(width.data(), width.data() + width.size(), value);
    CheckFieldWidth(path, std::string_view(path).substr(pos, i + 1 - pos), width,
                    ec == std::errc() && end == width.data() + width.size() && value >= 1 &&
                        value <= kMaxFieldDigits);
    digits = static_cast<int>(value);
  }
  if (i < path.size() && path[i] == 'd') return Field{pos, i + 1, digits};
  return std::nullopt;
}

}  // namespace

std::optional<FramePattern> FindFramePattern(const std::string& path) {
  std::vector<Field> fields;
  for (size_t i = 0; i < path.size();) {
    if (path[i] == '#' || path[i] == '@') {
      Field f{i, i, 0};
      while (f.end < path.size() && (path[f.end] == '#' || path[f.end] == '@')) ++f.end;
      const size_t run = f.end - f.begin;
      CheckFieldWidth(path, std::string_view(path).substr(f.begin, run), std::to_string(run),
                      run <= static_cast<size_t>(kMaxFieldDigits));
      f.digits = run == 1 && path[i] == '#' ? 4 : static_cast<int>(run);
      fields.push_back(f);
      i = f.end;
    } else if (path[i] == '%') {
      if (auto f = PrintfField(path, i)) {
        fields.push_back(*f);
        i = f->end;
      } else {
        ++i;
      }
    } else {
      ++i;
    }
  }
  if (fields.empty()) return std::nullopt;
  if (fields.size() > 1) {
    throw CliError(path +
                   ": more than one frame number field; use one of '####' (a digit "
                   "per character, a lone '#' is four), '@@@' or '%04d'");
  }
  const Field& f = fields.front();
  return FramePattern{path.substr(0, f.begin), path.substr(f.end), f.digits};
}

std::vector<int64_t> DiscoverFrames(const FramePattern& pattern) {
  namespace fs = std::filesystem;
  const size_t slash = pattern.prefix.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "" : pattern.prefix.substr(0, slash + 1);
  const std::string head = pattern.prefix.substr(folder.size());
  if (pattern.suffix.find('/') != std::string::npos) {
    throw CliError(pattern.prefix + "..." + pattern.suffix +
                   ": the frame field is in a folder name; give --frames to say which frames");
  }
  std::vector<int64_t> frames;
  std::error_code ec;
  fs::directory_iterator it(folder.empty() ? fs::path(".") : fs::path(folder), ec);
  if (ec) return frames;
  for (const fs::directory_entry& entry : it) {
    const std::string name = entry.path().filename().string();
    if (name.size() <= head.size() + pattern.suffix.size() || !name.starts_with(head) ||
        !name.ends_with(pattern.suffix)) {
      continue;
    }
    const std::string_view digits = std::string_view(name).substr(
        head.size(), name.size() - head.size() - pattern.suffix.size());
    if (digits.size() > 9 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      continue;
    }
    int64_t frame = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), frame);
    // "7" and "0007" are different names: only the pattern's own spelling counts.
    if (pattern.Expand(frame) == folder + name) frames.push_back(frame);
  }
  std::sort(frames.begin(), frames.end());
  if (frames.size() > kMaxFrameCount) {
    throw CliError(pattern.Expand(frames.front()) + ": more than " +
                   std::to_string(kMaxFrameCount) + " frames on disk; give --frames");
  }
  return frames;
}

namespace {

[[noreturn]] void BadFrames(const std::string& part, const std::string& why) {
  throw CliError("--frames: '" + part + "' " + why +
                 "; use frames such as 1001-1100, 1-10x2 or 1,5,9 (numbers 0 to " +
                 std::to_string(kMaxFrameNumber) + ")");
}

int64_t Number(const std::string& part, std::string_view digits) {
  int64_t value = 0;
  if (digits.empty()) BadFrames(part, "is missing a number");
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (ec != std::errc() || end != digits.data() + digits.size()) BadFrames(part, "is not a number");
  if (value > kMaxFrameNumber) BadFrames(part, "has a frame number out of range");
  return value;
}

}  // namespace

std::vector<int64_t> ParseFrameList(const std::string& text) {
  std::vector<int64_t> frames;
  std::unordered_set<int64_t> seen;
  int64_t listed = 0;
  size_t start = 0;
  while (true) {
    const size_t comma = text.find(',', start);
    const std::string part =
        text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    for (char c : part) {
      if (!((c >= '0' && c <= '9') || c == '-' || c == 'x'))
        BadFrames(part, "has an unexpected character");
    }
    // A '-' that starts the part or follows '-' or 'x' is a minus sign, not
    // a range: "-5--1" would otherwise be "missing a number".
    for (size_t i = 0; i + 1 < part.size(); ++i) {
      if (part[i] != '-' || part[i + 1] < '0' || part[i + 1] > '9') continue;
      if (i > 0 && part[i - 1] == 'x')
        BadFrames(part, "has a negative step, but a step is 1 or more");
      if (i == 0 || part[i - 1] == '-') {
        BadFrames(part, "has a negative frame number, but frames count from 0");
      }
    }
    const size_t dash = part.find('-');
    const size_t cross = part.find('x');
    int64_t first, last, step = 1;
    if (dash == std::string::npos) {
      if (cross != std::string::npos) BadFrames(part, "has a step but no range");
      first = last = Number(part, part);
    } else {
      const std::string_view view(part);
      first = Number(part, view.substr(0, dash));
      const size_t lastEnd = cross == std::string::npos ? part.size() : cross;
      if (cross != std::string::npos && cross < dash)
        BadFrames(part, "has the step before the range");
      last = Number(part, view.substr(dash + 1, lastEnd - dash - 1));
      if (cross != std::string::npos) step = Number(part, view.substr(cross + 1));
      if (last < first) BadFrames(part, "ends before it starts");
      if (step < 1) BadFrames(part, "has a step below 1");
    }
    // Counted before walking: repeats cost time too, and overlapping ranges
    // could otherwise walk billions of frames to keep a million.
    listed += (last - first) / step + 1;
    if (listed > static_cast<int64_t>(kMaxFrameCount)) {
      throw CliError("--frames: the list names more than " + std::to_string(kMaxFrameCount) +
                     " frames (repeats included) in one command");
    }
    for (int64_t f = first; f <= last; f += step) {
      if (seen.insert(f).second) frames.push_back(f);
      if (frames.size() > kMaxFrameCount) {
        throw CliError("--frames: more than " + std::to_string(kMaxFrameCount) +
                       " frames in one command");
      }
    }
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return frames;
}

}  // namespace corvalin::cli
