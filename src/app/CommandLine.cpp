#include "app/CommandLine.h"

#include "families/Families.h"
#include "platform/Files.h"

namespace comsweep::app {
namespace {

using families::Family;
using families::kFamilies;

std::string upperAscii(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

std::string trimSpaces(const std::string& text) {
  std::size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  std::size_t last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

// 1-based position of the first occurrence, 0 when absent.
std::size_t position(const std::string& text, const char* what) {
  std::size_t at = text.find(what);
  return at == std::string::npos ? 0 : at + 1;
}

bool isSwitchPiece(const std::string& upperPiece) {
  if (upperPiece == "ALL" || upperPiece == "LOG" || upperPiece == "?") return true;
  if (upperPiece[0] == 'S' || upperPiece[0] == 'D') return true;
  const std::string asSwitch = "/" + upperPiece;
  for (const Family& family : kFamilies)
    if (asSwitch == family.ownSwitch || asSwitch == family.plusSwitch) return true;
  return false;
}

// Checks one blank-separated word; sets the options it names.
std::string checkWord(const std::string& word, ProgramOptions& options) {
  const std::string upper = upperAscii(word);
  if (upper[0] == '-') {
    if (upper == "-H" || upper == "--HELP") options.help = true;
    else if (upper == "-V" || upper == "--VERSION") options.version = true;
    else if (upper == "--LIST") options.list = true;
    else if (upper == "--JSON") options.json = true;
    else return "unknown option '" + word + "'";
    return {};
  }
  if (upper.find('/') == std::string::npos) return {};
  std::size_t start = 0;
  while (start <= upper.size()) {
    std::size_t end = upper.find('/', start);
    if (end == std::string::npos) end = upper.size();
    const std::string piece = upper.substr(start, end - start);
    if (!piece.empty()) {
      if (!isSwitchPiece(piece))
        return "'" + word + "' is not a switch ('" + word.substr(start, end - start) +
               "' is none)";
      if (piece == "?") options.help = true;
    }
    start = end + 1;
  }
  return {};
}

}  // namespace

bool statSucceeds(const std::string& word) {
  return platform::pathExists(std::filesystem::path(std::u8string(word.begin(), word.end())));
}

ProgramOptions readOptions(const std::vector<std::string>& args, const PathExists& exists) {
  ProgramOptions options;
  for (const std::string& arg : args) {
    if (!arg.empty() && arg[0] != '-' && exists(arg)) {
      options.refusal = "'" + arg +
                        "' names an existing file or directory, not a switch; the machine is "
                        "chosen with COMSWEEP_MACHINE or WINEPREFIX";
      return options;
    }
    std::size_t start = 0;
    while (start < arg.size()) {
      std::size_t end = arg.find(' ', start);
      if (end == std::string::npos) end = arg.size();
      if (end > start) {
        options.refusal = checkWord(arg.substr(start, end - start), options);
        if (!options.refusal.empty()) return options;
      }
      start = end + 1;
    }
  }
  return options;
}

CommandLineFlags parseCommandLine(const std::string& argumentText, families::Selection& selection) {
  CommandLineFlags flags;
  std::string w = upperAscii(argumentText);
  flags.unattended = !w.empty();
  if (!flags.unattended) return flags;

  // Each "+" form is cut out before its plain form, so "/M9Q+" alone does
  // not also tick the plain box. The families are read in the order of
  // their boxes (Journeys before Summit), as they always were: cutting one
  // switch out can join its neighbours into another ("/R/N9Q9Q"), so the
  // order decides what such text ticks.
  for (int own = 0; own < families::kBoxCount; own += 2) {
    const Family& family = families::familyOf(static_cast<families::Box>(own));
    for (auto [sw, box] : {std::pair{family.plusSwitch, family.plusBox},
                           std::pair{family.ownSwitch, family.ownBox}}) {
      std::size_t at = w.find(sw);
      selection[box] = at != std::string::npos;
      if (at != std::string::npos)
        w = trimSpaces(w.substr(0, at) + w.substr(at + std::char_traits<char>::length(sw)));
    }
  }

  std::size_t d = position(w, "/D") + position(w, "/DISPLAY");
  std::size_t a = position(w, "/ALL") + position(w, "/S");
  if (d >= 1 || a >= 1)
    selection.boxes.fill(true);
  if (position(w, "/D") + position(w, "/DISPLAY") >= 1) flags.endAtOnce = true;
  // "/LOG" is recognised and changes nothing: every removal writes the log.
  return flags;
}

}  // namespace comsweep::app
