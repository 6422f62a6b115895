#pragma once
// Whether a wineserver is running for a Wine prefix. A running server keeps
// the prefix's registry in memory and later writes it over system.reg, so a
// change made to the file meanwhile would be lost.
//
// A server works in a directory named after the device and inode of the
// prefix directory (in hex):
//   <temp>/<name in the prefix's "wineserver" file>/server-<dev>-<ino>/
//       (Debian's build; <temp> is $TMPDIR, else /tmp)
//   /tmp/.wine-<uid>/server-<dev>-<ino>/   (upstream Wine)
// While it runs it holds a lock on "lock" there, accepts connections on
// "socket" and has that directory as its working directory. A killed server
// leaves both files behind, so only a held lock, an accepted connection or a
// wineserver process working there counts, never the files' existence.

#include <filesystem>
#include <string>
#include <vector>
#include <utility>

#include "platform/Files.h"

namespace comsweep::registry {

class WineServerCheck {
 public:
  enum class Status { NotRunning, Running, Unknown };

  struct Result {
    Result(Status s = Status::NotRunning, std::string d = {}, std::filesystem::path dir = {})
        : status(s), detail(std::move(d)), serverDir(std::move(dir)) {}
    Status status;
    std::string detail;               // Running, Unknown: what showed it, naming the path
    std::filesystem::path serverDir;  // Running: the server's directory, when known
  };

  explicit WineServerCheck(std::filesystem::path prefix)
      : WineServerCheck(std::move(prefix), defaultTempRoots()) {}
  // `tempRoots`: the directories server directories are made in.
  WineServerCheck(std::filesystem::path prefix, std::vector<std::filesystem::path> tempRoots)
      : m_prefix(std::move(prefix)), m_tempRoots(std::move(tempRoots)) {}

  // $TMPDIR when it is set, and /tmp.
  static std::vector<std::filesystem::path> defaultTempRoots();

  // The server directories a server for the prefix may use (whether they
  // exist or not). Empty with `problem` set when they cannot be named.
  std::vector<std::filesystem::path> serverDirs(std::string& problem) const;

  // Running as soon as one directory shows a live server; Unknown when some
  // directory could not be examined and none showed a server.
  Result check() const;

  // "server-<dev>-<ino>" of the prefix directory, in hex.
  static std::string serverDirName(const platform::FileStatus& prefix);

 private:
  static Result checkDir(const std::filesystem::path& dir);

  std::filesystem::path m_prefix;
  std::vector<std::filesystem::path> m_tempRoots;
};

}  // namespace comsweep::registry
