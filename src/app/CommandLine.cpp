#include "app/CommandLine.h"

#include "families/Families.h"

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

}  // namespace

CommandLineFlags parseCommandLine(const std::string& argumentText, families::Selection& selection) {
  CommandLineFlags flags;
  std::string w = upperAscii(argumentText);
  flags.unattended = !w.empty();
  if (!flags.unattended) return flags;

  // Each "+" form is cut out before its plain form, so "/M9Q+" alone does
  // not also tick the plain box; the order of families is fixed.
  static const Family* const kSwitchOrder[] = {&kFamilies[0], &kFamilies[1], &kFamilies[2],
                                                &kFamilies[3], &kFamilies[4], &kFamilies[6],
                                                &kFamilies[5]};
  for (const Family* family : kSwitchOrder) {
    for (auto [sw, box] : {std::pair{family->plusSwitch, family->plusBox},
                           std::pair{family->ownSwitch, family->ownBox}}) {
      std::size_t at = w.find(sw);
      if (at == std::string::npos) {
        selection[box] = 0;
        continue;
      }
      w = trimSpaces(w.substr(0, at) + w.substr(at + std::char_traits<char>::length(sw)));
      selection[box] = 1;
    }
  }

  std::size_t d = position(w, "/D") + position(w, "/DISPLAY");
  std::size_t a = position(w, "/ALL") + position(w, "/S");
  if (d >= 1 || a >= 1)
    for (int& box : selection.boxes) box = 1;
  if (position(w, "/D") + position(w, "/DISPLAY") >= 1) flags.endAtOnce = true;
  // "/LOG" is recognised and changes nothing: every removal writes the log.
  return flags;
}

}  // namespace comsweep::app
