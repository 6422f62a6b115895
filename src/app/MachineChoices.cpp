#include "app/MachineChoices.h"

#include <algorithm>
#include <cctype>
#include <set>

namespace comsweep::app {
namespace fs = std::filesystem;

namespace {

#ifndef _WIN32
// Folders below the home folder that hold one prefix per folder: Wine's own
// convention for several prefixes, and the front ends that keep a prefix
// per program.
constexpr const char* kPrefixPlaces[] = {
    ".local/share/wineprefixes",
    ".PlayOnLinux/wineprefix",
    ".local/share/bottles/bottles",
    "Games",
};

std::string get(const std::map<std::string, std::string>& env, const char* name) {
  auto it = env.find(name);
  return it == env.end() ? std::string() : it->second;
}
#endif

bool isPrefix(const fs::path& folder) {
  std::error_code ec;
  return fs::is_regular_file(folder / "system.reg", ec);
}

bool sameName(const fs::path& a, const char* b) {
  const std::string s = a.filename().string();
  return std::equal(s.begin(), s.end(), b, b + std::char_traits<char>::length(b),
                    [](char x, char y) { return std::tolower(static_cast<unsigned char>(x)) ==
                                                std::tolower(static_cast<unsigned char>(y)); });
}

}  // namespace

std::vector<fs::path> findMachines(const std::map<std::string, std::string>& env,
                                   const fs::path& first) {
  std::vector<fs::path> found{first};
  std::set<fs::path> seen;
  auto identity = [](const fs::path& p) {
    std::error_code ec;
    fs::path canonical = fs::weakly_canonical(p, ec);
    return ec ? p.lexically_normal() : canonical;
  };
  seen.insert(identity(first));
  auto add = [&](const fs::path& p) {
    if (seen.insert(identity(p)).second) found.push_back(p);
  };
#ifdef _WIN32
  (void)env;
  add(fs::path());  // this computer's registry
#else
  if (std::string prefix = get(env, "WINEPREFIX"); !prefix.empty() && isPrefix(prefix)) add(prefix);
  const std::string home = get(env, "HOME");
  if (home.empty()) return found;
  if (isPrefix(fs::path(home) / ".wine")) add(fs::path(home) / ".wine");
  for (const char* place : kPrefixPlaces) {
    std::error_code ec;
    std::vector<fs::path> here;
    for (fs::directory_iterator it(fs::path(home) / place, ec), end; !ec && it != end;
         it.increment(ec))
      if (isPrefix(it->path())) here.push_back(it->path());
    std::sort(here.begin(), here.end());
    for (const fs::path& p : here) add(p);
  }
#endif
  return found;
}

fs::path machineOfPickedFile(const fs::path& file) {
  const fs::path folder = file.parent_path();
  if ((sameName(file, "system.reg") || sameName(file, "user.reg")) && isPrefix(folder)) return folder;
  // <drive>/Windows/System32/config/SOFTWARE
  const fs::path system32 = folder.parent_path();
  const fs::path windows = system32.parent_path();
  if (sameName(file, "SOFTWARE") && sameName(folder, "config") && sameName(system32, "System32") &&
      sameName(windows, "Windows") && windows.has_parent_path())
    return windows.parent_path();
  return file;
}

std::string machineLabel(const fs::path& machine, std::string home) {
  if (machine.empty()) return "This computer's registry";
  const std::string text = machine.string();
#ifdef _WIN32
  home.clear();  // Windows users know their folders by full path
#endif
  while (home.size() > 1 && home.back() == '/') home.pop_back();
  if (!home.empty() && home != "/" && text.rfind(home, 0) == 0 &&
      (text.size() == home.size() || text[home.size()] == '/'))
    return std::string("~").append(text, home.size());
  return text;
}

}  // namespace comsweep::app
