// Writes the manual page corvalin(1) and the bash completion of the command
// from the command line itself, so that neither can drift from the options,
// their help and their ranges.
//
// Usage: corvalin_make_docs man|completion FILE
#include <CLI/CLI.hpp>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/command.h"
#include "effect/identity.h"

namespace {

using corvalin::cli::CommandOptions;

// Text for roff: backslashes and hyphens escaped, and no line that starts
// with a control character.
std::string Roff(const std::string& text) {
  std::string out;
  bool lineStart = true;
  for (char c : text) {
    if (lineStart && (c == '.' || c == '\'')) out += "\\&";
    if (c == '\\') {
      out += "\\e";
    } else if (c == '-') {
      out += "\\-";
    } else {
      out += c;
    }
    lineStart = c == '\n';
  }
  return out;
}

bool IsFlag(const CLI::Option* option) { return option->get_expected_min() == 0; }

// "--depth, -d" as the help shows them: long names first.
std::vector<std::string> Names(const CLI::Option* option) {
  std::vector<std::string> names;
  for (const std::string& n : option->get_lnames()) names.push_back("--" + n);
  for (const std::string& n : option->get_snames()) names.push_back("-" + n);
  return names;
}

// Every option of `app` but the positionals, in the order of the help.
std::vector<const CLI::Option*> NamedOptions(const CLI::App& app) {
  return app.get_options([](const CLI::Option* o) { return o->nonpositional(); });
}

// What the type name offers as words: "8|16" gives 8 and 16.
std::vector<std::string> Choices(const CLI::Option* option) {
  std::vector<std::string> words;
  const std::string type = option->get_type_name();
  if (type.find('|') == std::string::npos) return words;
  std::stringstream parts(type);
  for (std::string word; std::getline(parts, word, '|');) words.push_back(word);
  return words;
}

void WriteOption(std::ostream& out, const CLI::Option* option) {
  out << ".TP\n";
  const std::vector<std::string> names = Names(option);
  for (size_t i = 0; i < names.size(); ++i) {
    out << (i == 0 ? "" : ", ") << "\\fB" << Roff(names[i]) << "\\fR";
  }
  if (!IsFlag(option)) out << " \\fI" << Roff(option->get_type_name()) << "\\fR";
  out << "\n" << Roff(option->get_description()) << "\n";
}

void WriteManPage(std::ostream& out, CLI::App& app, CLI::App& render) {
  out << ".TH CORVALIN 1 \"\" \"corvalin " << corvalin::kVersionText << "\" \"User Commands\"\n"
      << ".SH NAME\n"
      << "corvalin \\- smooth the jagged edges of flat\\-colour images and image sequences\n"
      << ".SH SYNOPSIS\n"
      << ".B corvalin render\n"
      << ".I INPUT OUTPUT\n"
      << "[\\fIoptions\\fR]\n"
      << ".br\n"
      << ".B corvalin \\-\\-help\n"
      << "|\n"
      << ".B \\-\\-version\n"
      << ".SH DESCRIPTION\n"
      << Roff(app.get_description()) << "\n"
      << ".PP\n"
      << Roff(render.get_description()) << "\n"
      << ".PP\n"
      << "A frame renders bit for bit as the effect renders it in a host, with any number of "
         "threads.\n"
      << ".PP\n"
      << "Every render writes an opaque pure\\-red pixel at each of the four corners of the "
         "rectangle it processed (the box around the pixels with content), as the effect does "
         "in a host. \\fB\\-\\-no\\-corner\\-markers\\fR leaves them out: those four "
         "pixels then keep the smoothing's result.\n"
      << ".SH ARGUMENTS\n";
  for (const CLI::Option* option :
       render.get_options([](const CLI::Option* o) { return !o->nonpositional(); })) {
    out << ".TP\n\\fI" << Roff(option->get_name()) << "\\fR\n"
        << Roff(option->get_description()) << "\n";
  }
  out << ".SH OPTIONS\n";
  for (const CLI::Option* option : NamedOptions(render)) WriteOption(out, option);
  // The command's own options but the help, which the render's list holds.
  for (const CLI::Option* option : NamedOptions(app)) {
    if (option != app.get_help_ptr()) WriteOption(out, option);
  }
  out << ".SH EXIT STATUS\n"
      << Roff(app.get_footer()) << "\n"
      << "Stopped by a signal, the command removes the frames in flight and exits with 128 plus "
         "the signal's number.\n"
      << ".SH ENVIRONMENT\n"
      << ".TP\n.B CORVALIN_CODEC_DIR\n"
      << "A folder holding the image format module corvalin_oiio_codec.so, looked in before "
         "the command's own folder and the installation's private library folder.\n"
      << ".TP\n.B CORVALIN_PLAIN_ENGINE\n"
      << "Set to anything but empty or 0, every render uses the plain engine, the definition of "
         "the output, instead of the fast one; the bytes are the same, only slower.\n"
      << ".TP\n.B CORVALIN_BASELINE_VECTORS\n"
      << "Set to anything but empty or 0, the fast engine compares rows with SSE2 even where the "
         "processor has AVX2; the bytes are the same.\n"
      << ".TP\n.B CORVALIN_NOVECTOR\n"
      << "Set to anything, samples are converted with the scalar loops instead of the vector "
         "ones; the bytes are the same.\n"
      << ".TP\n.B SOURCE_DATE_EPOCH\n"
      << "Seconds since 1970: TIFF, TGA and OpenEXR outputs are dated with this time. Unset, "
         "no output holds a time of writing, so two renders of a frame are the same bytes.\n"
      << ".SH FILES\n"
      << ".TP\n.I ../lib/corvalin/corvalin_oiio_codec.so\n"
      << "Relative to the folder of the program: the module that reads and writes every format "
         "but PNG.\n"
      << ".SH EXAMPLES\n"
      << ".nf\n"
      << "corvalin render frame.png smooth.png \\-\\-smoother\\-range 2\n"
      << "corvalin render 'shot.####.exr' 'out.####.exr' \\-\\-frames 1001\\-1100\n"
      << ".fi\n"
      << ".SH SEE ALSO\n"
      << ".BR corvalin\\-submit (1),\n"
      << ".BR ffmpeg (1),\n"
      << ".BR oiiotool (1)\n";
}

void WriteCompletion(std::ostream& out, CLI::App& app, CLI::App& render) {
  std::string all, values, files;
  std::string choices;
  for (const CLI::Option* option : NamedOptions(render)) {
    for (const std::string& name : Names(option)) {
      all += name + " ";
      if (IsFlag(option)) continue;
      const std::vector<std::string> words = Choices(option);
      if (!words.empty()) {
        choices += "    " + name + ") COMPREPLY=($(compgen -W '";
        for (size_t i = 0; i < words.size(); ++i) choices += (i ? " " : "") + words[i];
        choices += "' -- \"$cur\")); return ;;\n";
      } else if (option->get_type_name() == "PATH") {
        files += (files.empty() ? "" : "|") + name;
      } else {
        values += (values.empty() ? "" : "|") + name;
      }
    }
  }
  std::string top;
  for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; })) {
    top += sub->get_name() + " ";
  }
  for (const CLI::Option* option : NamedOptions(app)) {
    for (const std::string& name : Names(option)) top += name + " ";
  }
  out << "# bash completion for corvalin, written from its command line\n"
      << "_corvalin() {\n"
      << "  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
      << "  COMPREPLY=()\n"
      << "  if [ \"$COMP_CWORD\" -eq 1 ]; then\n"
      << "    COMPREPLY=($(compgen -W '" << top << "' -- \"$cur\"))\n"
      << "    return\n"
      << "  fi\n"
      << "  [ \"${COMP_WORDS[1]}\" = render ] || return\n"
      << "  case $prev in\n"
      << choices;
  if (!files.empty())
    out << "    " << files
        << ") compopt -o filenames; COMPREPLY=($(compgen -f -- \"$cur\")); return ;;\n";
  if (!values.empty()) out << "    " << values << ") return ;;\n";
  out << "  esac\n"
      << "  if [[ $cur == -* ]]; then\n"
      << "    COMPREPLY=($(compgen -W '" << all << "' -- \"$cur\"))\n"
      << "  else\n"
      << "    compopt -o filenames\n"
      << "    COMPREPLY=($(compgen -f -- \"$cur\"))\n"
      << "  fi\n"
      << "}\n"
      << "complete -F _corvalin corvalin\n";
}

}  // namespace

int main(int argc, char** argv) {
  const std::string what = argc == 3 ? argv[1] : "";
  if (what != "man" && what != "completion") {
    std::fprintf(stderr, "usage: corvalin_make_docs man|completion FILE\n");
    return 2;
  }
  CLI::App app;
  CommandOptions options;
  CLI::App* render = corvalin::cli::DefineCommandLine(app, options);
  std::ofstream out(argv[2], std::ios::binary);
  if (what == "man") {
    WriteManPage(out, app, *render);
  } else {
    WriteCompletion(out, app, *render);
  }
  out.close();
  if (!out) {
    std::fprintf(stderr, "corvalin_make_docs: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
