// Movies are refused, not decoded. ffmpeg with the project's frei0r filter
// renders a movie in frame order and keeps its frame rate, timecode and
// audio; the command would read each frame as a separate still and lose
// them. So a movie, in or out, is named as one and the message shows both
// routes through ffmpeg.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace corvalin::cli {

// Bytes of a file's start that MovieOfContent looks at: the sync bytes of
// three MPEG transport stream packets (of 192 bytes in Blu-ray's M2TS).
inline constexpr size_t kMovieHeadBytes = 4 + 2 * 192 + 1;

// The kind of movie whose first bytes `head` are ("QuickTime or MP4",
// "Matroska or WebM", "AVI", "MXF", "MPEG transport stream", "MPEG program
// stream", "MPEG video", "GIF"), or nothing. ISO media files of a still image
// brand (HEIF, AVIF) are not movies.
std::optional<std::string> MovieOfContent(const unsigned char* head, size_t have);

// The kind of movie named by the extension of `path` (.mov, .mp4, .m4v,
// .mkv, .webm, .avi, .mxf, .mpg, .mpeg, .ts, .m2ts, .mts, .gif, any case),
// or nothing.
std::optional<std::string> MovieOfName(const std::string& path);

// The movie a regular file at `path` holds by its first bytes, or nothing
// (also for anything that is not a regular file or cannot be read).
std::optional<std::string> MovieFile(const std::string& path);

// Why the movie `input` (its kind from above) is not read and how to render
// it instead, without the file's name in front.
std::string MovieInputMessage(const std::string& input, const std::string& kind);

// Why `output` is refused and how to make that movie instead, its name in
// front.
std::string MovieOutputMessage(const std::string& output, const std::string& kind);

}  // namespace corvalin::cli
