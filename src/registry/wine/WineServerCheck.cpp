#include "registry/wine/WineServerCheck.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/Files.h"
#include "platform/ServerProbe.h"

namespace comsweep::registry {
namespace fs = std::filesystem;

namespace {

std::string describe(const fs::path& path, int err) {
  return path.string() + ": " + std::strerror(err);
}

// The name Debian's build keeps in the prefix's "wineserver" file. Empty
// when there is no usable name; false when the file exists but cannot be read.
bool debianDirName(const fs::path& prefix, std::string& name, std::string& problem) {
  name.clear();
  fs::path file = prefix / "wineserver";
  char buffer[256];
  long long n = platform::readFileStart(file, buffer, sizeof buffer, false);
  if (n < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return true;
    problem = describe(file, errno);
    return false;
  }
  std::string text(buffer, static_cast<std::size_t>(n));
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ' || text.back() == '\r'))
    text.pop_back();
  // Only a plain directory name; anything else could lead the check elsewhere.
  bool plain = !text.empty() && text != "." && text != ".." &&
               text.find_first_of(std::string("/\0", 2)) == std::string::npos;
  if (plain) name = text;
  return true;
}

// A server works in its server directory. One whose directory lies where
// the check did not look (a TMPDIR other than the caller's) is still found
// by its working directory; a process merely standing there has another name.
WineServerCheck::Result findServerProcess(const std::string& leaf) {
  std::error_code ec;
  for (fs::directory_iterator it("/proc", ec), end; !ec && it != end; it.increment(ec)) {
    const std::string pid = it->path().filename().string();
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    std::error_code linkError;
    std::string cwd = fs::read_symlink(it->path() / "cwd", linkError).string();
    if (linkError) continue;  // gone, or another user's
    constexpr std::string_view kDeleted = " (deleted)";
    if (cwd.size() > kDeleted.size() &&
        cwd.compare(cwd.size() - kDeleted.size(), kDeleted.size(), kDeleted) == 0)
      cwd.resize(cwd.size() - kDeleted.size());
    if (fs::path(cwd).filename() != leaf) continue;
    char comm[32] = {};
    if (platform::readFileStart(it->path() / "comm", comm, sizeof comm - 1, true) < 0) continue;
    if (std::string_view(comm).rfind("wineserver", 0) == 0)
      return {WineServerCheck::Status::Running,
              "process " + pid + ", a wineserver, works in " + cwd, cwd};
  }
  return {};
}

}  // namespace

std::vector<fs::path> WineServerCheck::defaultTempRoots() {
  std::vector<fs::path> roots;
  if (const char* tmp = std::getenv("TMPDIR"); tmp && *tmp) roots.emplace_back(tmp);
  roots.emplace_back("/tmp");
  return roots;
}

std::vector<fs::path> WineServerCheck::serverDirs(std::string& problem) const {
  platform::FileStatus st {};
  if (!platform::statPath(m_prefix, st)) {
    problem = describe(m_prefix, errno);
    return {};
  }
  std::string leaf = serverDirName(st);
  std::string name;
  if (!debianDirName(m_prefix, name, problem)) return {};

  // The server runs as the prefix's owner, who need not be the caller.
  std::vector<unsigned> uids = {platform::currentUserId()};
  if (st.st_uid != uids.front()) uids.push_back(st.st_uid);

  std::vector<fs::path> dirs;
  auto add = [&dirs](fs::path dir) {
    if (std::find(dirs.begin(), dirs.end(), dir) == dirs.end()) dirs.push_back(std::move(dir));
  };
  for (const fs::path& root : m_tempRoots) {
    if (!name.empty()) add(root / name / leaf);
    for (unsigned uid : uids) add(root / (".wine-" + std::to_string(uid)) / leaf);
  }
  return dirs;
}

WineServerCheck::Result WineServerCheck::checkDir(const fs::path& dir) {
  // The lock: a server holds a write lock on it for its whole life.
  fs::path lockPath = dir / "lock";
  long long holder = 0;
  if (platform::writeLockHolder(lockPath, holder)) {
    if (holder != 0)
      return {Status::Running, "process " + std::to_string(holder) + " holds " + lockPath.string()};
  } else if (errno != ENOENT && errno != ENOTDIR) {
    return {Status::Unknown, describe(lockPath, errno)};
  }

  // The socket: a lock file removed by a cleaner of the temporary directory
  // leaves a live server without a visible lock, but still listening.
  // A name too long to connect to leaves it to the lock.
  fs::path socketPath = dir / "socket";
  switch (platform::listenerAt(socketPath)) {
    case platform::Listener::Accepts:
      return {Status::Running, socketPath.string() + " accepts connections"};
    case platform::Listener::None:
      return {};
    case platform::Listener::Unknown:
      break;
  }
  return {Status::Unknown, describe(socketPath, errno)};
}

WineServerCheck::Result WineServerCheck::check() const {
  std::string problem;
  std::vector<fs::path> dirs = serverDirs(problem);
  if (dirs.empty()) return {Status::Unknown, problem};
  Result unknown;
  for (const fs::path& dir : dirs) {
    Result r = checkDir(dir);
    if (r.status == Status::Running) {
      r.serverDir = dir;
      return r;
    }
    if (r.status == Status::Unknown && unknown.status != Status::Unknown) unknown = r;
  }
  if (Result r = findServerProcess(dirs.front().filename().string()); r.status == Status::Running)
    return r;
  return unknown;
}

std::string WineServerCheck::serverDirName(const platform::FileStatus& prefix) {
  char leaf[64];
  std::snprintf(leaf, sizeof leaf, "server-%llx-%llx",
                static_cast<unsigned long long>(prefix.st_dev),
                static_cast<unsigned long long>(prefix.st_ino));
  return leaf;
}

}  // namespace comsweep::registry
