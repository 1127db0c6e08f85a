#include "cli/command_line.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <ostream>
#include <thread>

#include "cli/frame_options.h"
#include "effect/identity.h"
#include "effect/string_table.h"

namespace corvalin::cli {

namespace {

std::string Number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

// The range check runs on the text, before conversion, so that "abc", "nan"
// and "inf" get the same message as a number out of range.
CLI::Validator RealIn(double lo, double hi) {
  const std::string range = Number(lo) + " to " + Number(hi);
  return CLI::Validator(
      [lo, hi, range](std::string& text) -> std::string {
        double v = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
        if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(v)) {
          return "'" + text + "' is not a number; the valid range is " + range;
        }
        if (!(v >= lo && v <= hi)) return text + " is outside the valid range " + range;
        return {};
      },
      "", "");
}

// One of two words: "'x' is not a render depth; use 8 or 16".
CLI::Validator EitherOf(std::string first, std::string second, std::string what) {
  return CLI::Validator(
      [first, second, what](std::string& text) -> std::string {
        if (text == first || text == second) return {};
        return "'" + text + "' is not " + what + "; use " + first + " or " + second;
      },
      "", "");
}

CLI::Validator IntegerIn(int64_t lo, int64_t hi) {
  const std::string range = std::to_string(lo) + " to " + std::to_string(hi);
  return CLI::Validator(
      [lo, hi, range](std::string& text) -> std::string {
        int64_t v = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
        if (ec != std::errc() || end != text.data() + text.size()) {
          return "'" + text + "' is not a whole number; the valid range is " + range;
        }
        if (v < lo || v > hi) return text + " is outside the valid range " + range;
        return {};
      },
      "", "");
}

// "6400", "6400M", "512MiB", "8G", "8GiB" (any case) in bytes; nothing for
// other text. A bare number is in MiB.
std::optional<int64_t> ParseMemorySize(const std::string& text) {
  int64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end == text.data()) return std::nullopt;
  std::string unit(end, text.data() + text.size());
  std::transform(unit.begin(), unit.end(), unit.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  int shift = 0;
  if (unit.empty() || unit == "m" || unit == "mib") {
    shift = 20;
  } else if (unit == "g" || unit == "gib") {
    shift = 30;
  } else {
    return std::nullopt;
  }
  if (value < 0 || value > (int64_t{1} << (62 - shift))) return std::nullopt;
  return value << shift;
}

std::string HexColour(const PF_Pixel8& c) {
  char text[8];
  std::snprintf(text, sizeof text, "%02X%02X%02X", c.red, c.green, c.blue);
  return text;
}

// One option per control, bound to the control's field of `settings`, with
// its range and default in the help.
void AddControlOption(CLI::App& render, const ControlSpec& control, RenderSettings& settings) {
  const std::string name = std::string("\"") + control.displayName + "\": " + control.help;
  switch (control.type) {
    case ControlType::checkbox:
      render.add_flag(control.option, settings.*control.flagField,
                      name + (control.defaultValue != 0 ? " (default on)" : " (default off)"));
      break;
    case ControlType::colour:
      render
          .add_option_function<std::string>(
              control.option,
              [&settings, &control](const std::string& text) {
                settings.*control.colourField = ParseAlphaKey(text);
              },
              name + ", as hex RRGGBB (000000 to FFFFFF, default " +
                  HexColour(control.defaultColour) + ")")
          ->type_name(control.valueName)
          ->check(CLI::Validator(
              [](std::string& text) -> std::string {
                try {
                  ParseAlphaKey(text);
                } catch (const CliError& e) {
                  return e.what();
                }
                return {};
              },
              "", ""));
      break;
    case ControlType::floatSlider: {
      char shown[32];
      std::snprintf(shown, sizeof shown, "%.*f", control.precision, control.defaultValue);
      render
          .add_option(control.option, settings.*control.numberField,
                      name + " (" + Number(control.validMin) + " to " + Number(control.validMax) +
                          ", default " + shown + ")")
          ->type_name(control.valueName)
          ->check(RealIn(control.validMin, control.validMax));
      break;
    }
  }
}

// Subcommand usage lines read "corvalin render ...", as typed.
class Formatter : public CLI::Formatter {
 public:
  std::string make_usage(const CLI::App* app, std::string name) const override {
    if (app->get_parent() != nullptr) name = "corvalin " + name;
    return CLI::Formatter::make_usage(app, name);
  }
};

}  // namespace

CLI::App* DefineCommandLine(CLI::App& app, CommandOptions& options) {
  app.description(std::string("corvalin: smooths the jagged edges of flat-colour images (cel "
                              "animation, line art, keyed graphics) by running the ") +
                  kEffectName + " effect module over image files.");
  app.formatter(std::make_shared<Formatter>());
  app.require_subcommand(1);
  app.set_version_flag("--version", std::string("corvalin ") + kVersionText);
  app.footer(
      "Exit status: 0 when every frame was written, 1 when a frame or the module failed, 2 "
      "for a wrong command line.");

  CLI::App* render = app.add_subcommand(
      "render", "Render INPUT through the effect and write OUTPUT (PNG, TIFF, TGA or OpenEXR).");
  render
      ->add_option("INPUT", options.input,
                   "input image: PNG (any colour type, 1 to 16 bits), TIFF or TGA of 8 or 16 "
                   "bits per channel, OpenEXR or TIFF of half or float (rendered at 16 bits, "
                   "values clamped to 0..1); or a frame pattern")
      ->required();
  render
      ->add_option("OUTPUT", options.output,
                   "output image, RGBA at the render depth, format from the extension "
                   "(.png, .tif, .tiff, .tga, .exr), labelled with the input's colour space, "
                   "ICC profile and resolution (the render changes no colour space); a frame "
                   "pattern for a sequence")
      ->required();

  for (const ControlSpec& control : kControls) AddControlOption(*render, control, options.settings);
  render->add_flag_callback(
      "--no-corner-markers", [&options] { options.settings.cornerMarkers = false; },
      "leave out the corner markers: every render writes an opaque pure-red pixel at each of "
      "the four corners of the rectangle it processed (the box around the pixels with "
      "content), as the effect does in a host; with this flag those four pixels keep the "
      "smoothing's result. Renders through the command's own engine; not with --plugin");
  render
      ->add_option("--depth", options.frame.depth,
                   "render depth in bits per channel, 8 or 16 (default: 16 for a file with 16 "
                   "bits per channel or float samples, or for a float output, else 8)")
      ->type_name("8|16")
      ->check(EitherOf("8", "16", "a render depth"));
  render
      ->add_option("--row-padding", options.frame.rowPadding,
                   "extra all-zero pixels at the end of every row of both worlds, as hosts "
                   "pad rows (0 to " +
                       std::to_string(kMaxRowPadding) + ", default 0)")
      ->type_name("N")
      ->check(IntegerIn(0, kMaxRowPadding));
  render
      ->add_option_function<std::string>(
          "--max-frame-memory",
          [&options](const std::string& text) {
            options.frame.maxFrameMemory = *ParseMemorySize(text);
          },
          "memory one frame may take while it is read, rendered and written (its input and "
          "output worlds, decoding buffers), in MiB or with a unit: 512M, 8G; a larger frame "
          "fails before anything is allocated (" +
              std::to_string(kMinFrameMemoryMiB) + " MiB to " +
              std::to_string(kMaxFrameMemoryMiB >> 10) + " GiB, default " +
              std::to_string(kDefaultMaxFrameMemory >> 20) +
              " MiB: every frame up to 16384 x 16384 at 16 bits)")
      ->type_name("SIZE")
      ->check(CLI::Validator(
          [](std::string& text) -> std::string {
            const std::string range = std::to_string(kMinFrameMemoryMiB) + " MiB to " +
                                      std::to_string(kMaxFrameMemoryMiB >> 10) + " GiB";
            const std::optional<int64_t> bytes = ParseMemorySize(text);
            if (!bytes) {
              return "'" + text + "' is not a memory size; use MiB (6400) or a unit (512M, 8G), " +
                     range;
            }
            if (*bytes < (kMinFrameMemoryMiB << 20) || *bytes > (kMaxFrameMemoryMiB << 20)) {
              return text + " is outside the valid range " + range;
            }
            return {};
          },
          "", ""));
  render
      ->add_option("--plugin", options.plugin,
                   "load the effect module from this file (Corvalin.so or .aex built for "
                   "this system) instead of the one built into the command")
      ->type_name("PATH");
  render
      ->add_option("--frames", options.frames,
                   "frames to render, e.g. 1001-1100, 1-10x2 or 1,5,9-12; INPUT and OUTPUT "
                   "hold a frame field: '####' (a digit per character; a lone '#' is four), "
                   "'@@@' or %04d (default: every frame of INPUT's pattern on disk)")
      ->type_name("LIST");
  render
      ->add_option("--threads", options.frame.threads,
                   "threads for the whole run: frames are read, rendered and written at the "
                   "same time, and the output is the same for any count; 1 renders each "
                   "frame through the module's EffectMain, or with --no-corner-markers "
                   "through the command's own engine on one thread (1 to " +
                       std::to_string(kMaxThreads) + ", default: all cores)")
      ->type_name("N")
      ->check(IntegerIn(1, kMaxThreads));
  render
      ->add_option("--jobs", options.jobs,
                   "for earlier scripts: N frames at once, each on --threads threads (default: "
                   "all cores shared out); the run uses N x those threads (1 to " +
                       std::to_string(kMaxJobs) + ", default 1)")
      ->type_name("N")
      ->check(IntegerIn(1, kMaxJobs));
  render->add_flag("--skip-existing", options.skipExisting,
                   "leave every output frame that already exists as it is, so that a stopped "
                   "run can be started again (outputs appear only complete)");
  render
      ->add_option(
          "--compression", options.compression,
          std::string("output compression, lossless: PNG ") + CompressionChoices(FileFormat::png) +
              ", default " + DefaultCompression(FileFormat::png) + "; TIFF " +
              CompressionChoices(FileFormat::tiff) + ", default " +
              DefaultCompression(FileFormat::tiff) + "; OpenEXR " +
              CompressionChoices(FileFormat::exr) + ", default " +
              DefaultCompression(FileFormat::exr) + "; TGA " + CompressionChoices(FileFormat::tga) +
              ", default " + DefaultCompression(FileFormat::tga))
      ->type_name("C");
  render
      ->add_option_function<std::string>(
          "--float-output",
          [&options](const std::string& text) {
            options.floatOutput = text == "float" ? SampleKind::float32 : SampleKind::half;
          },
          "float type of a float output: .exr, or a .tif written as float (half or float; "
          "default: the input's float type, half for an integer input)")
      ->type_name("half|float")
      ->check(EitherOf("half", "float", "a float type"));
  render
      ->add_option_function<std::string>(
          "--alpha",
          [&options](const std::string& text) {
            options.frame.alpha = text == "premultiplied" ? AlphaConvention::premultiplied
                                                          : AlphaConvention::straight;
          },
          "how the colour of INPUT and OUTPUT relates to their alpha, straight or premultiplied "
          "(default: as each file's format says: OpenEXR and TIFF with associated alpha are "
          "premultiplied, PNG, TGA and other TIFF straight; OpenEXR outputs are written "
          "premultiplied, all others straight). Premultiplied colour is divided by alpha "
          "before the render and multiplied by it after; opaque pixels are unchanged")
      ->type_name("straight|premultiplied")
      ->check(EitherOf("straight", "premultiplied", "an alpha convention"));
  render->add_flag("--timings", options.timings,
                   "print the time spent decoding, converting, rendering and encoding");
  render->add_flag("-q,--quiet", options.quiet, "print only errors");
  return render;
}

PF_Pixel8 ParseAlphaKey(const std::string& text) {
  std::string_view hex(text);
  if (!hex.empty() && hex.front() == '#') hex.remove_prefix(1);
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  bool valid = hex.size() == 6;
  for (char c : hex) valid = valid && digit(c) >= 0;
  if (!valid) {
    throw CliError("'" + text + "' is not a colour; use six hex digits RRGGBB, 000000 to FFFFFF");
  }
  auto byte = [&](size_t i) {
    return static_cast<A_u_char>(digit(hex[i]) * 16 + digit(hex[i + 1]));
  };
  return PF_Pixel8{255, byte(0), byte(2), byte(4)};
}

std::optional<CommandOptions> ParseCommandLine(const std::vector<std::string>& args,
                                               std::ostream& out, std::ostream& err, int* status) {
  CLI::App app;
  CommandOptions options;
  CLI::App* render = DefineCommandLine(app, options);

  std::vector<const char*> argv{"corvalin"};
  for (const std::string& a : args) argv.push_back(a.c_str());
  *status = kExitOk;
  try {
    app.parse(static_cast<int>(argv.size()), argv.data());
  } catch (const CLI::CallForHelp&) {
    // The top-level help shows the render options too.
    out << (render->parsed() ? render->help() : app.help("", CLI::AppFormatMode::All));
    return std::nullopt;
  } catch (const CLI::CallForVersion& e) {
    out << e.what() << "\n";
    return std::nullopt;
  } catch (const CLI::ParseError& e) {
    err << "corvalin: error: " << e.what() << "\n"
        << "Run 'corvalin render --help' for the options and their ranges.\n";
    *status = kExitUsage;
    return std::nullopt;
  }
  if (!options.settings.cornerMarkers && !options.plugin.empty()) {
    err << "corvalin: error: --no-corner-markers cannot be used with --plugin: an effect "
           "module always writes the corner markers, and the command leaves them out only on "
           "its own engine; give one of the two\n"
        << "Run 'corvalin render --help' for the options and their ranges.\n";
    *status = kExitUsage;
    return std::nullopt;
  }
  // One count of threads for the whole run. Earlier scripts gave frames at
  // once (--jobs) and threads for each frame (--threads): they get the
  // product, as many threads as they used before.
  const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  const bool threadsGiven = render->count("--threads") > 0;
  if (render->count("--jobs") > 0) {
    const int perFrame = threadsGiven ? options.frame.threads : std::max(1, cores / options.jobs);
    options.frame.threads = std::min(kMaxThreads, options.jobs * perFrame);
  } else if (!threadsGiven) {
    options.frame.threads = std::min(kMaxThreads, cores);
  }
  return options;
}

}  // namespace corvalin::cli
