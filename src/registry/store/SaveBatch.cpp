#include "registry/store/SaveBatch.h"

#include <cerrno>
#include <cstring>

#include "platform/CrashPoint.h"
#include "registry/store/Store.h"

namespace comsweep::registry {

void SaveBatch::add(std::string name, std::unique_ptr<platform::PreparedFile> file, platform::LastCheck lastCheck,
                    std::string failurePrefix, std::function<void(bool replaced)> finished) {
  m_entries.push_back({std::move(name), std::move(file), std::move(lastCheck), std::move(failurePrefix),
                       std::move(finished)});
}

void SaveBatch::finish(std::size_t firstOld) {
  for (std::size_t i = 0; i < m_entries.size(); ++i) {
    if (i >= firstOld) m_entries[i].file.reset();  // its new file goes now
    if (m_entries[i].finished) m_entries[i].finished(i < firstOld);
  }
  m_entries.clear();
}

CommitResult SaveBatch::commit() {
  // The checks (another program wrote a file, a server started) come before
  // the first replacement, so that none of them can stop the save half-way.
  for (Entry& entry : m_entries) {
    if (!entry.lastCheck) continue;
    if (std::string objection = entry.lastCheck(); !objection.empty()) {
      finish(0);
      return CommitResult::failed(entry.failurePrefix + objection);
    }
  }
  if (m_entries.empty()) return {};
  platform::crashPoint("save-before-rename");
  for (std::size_t i = 0; i < m_entries.size(); ++i) {
    Entry& entry = m_entries[i];
    bool replaced;
    if (i > 0 && platform::failurePoint("save-later-rename")) {
      errno = ENOENT;
      replaced = false;
    } else {
      replaced = entry.file->replace();
    }
    if (!replaced) {
      const int err = errno;
      CommitResult failed = CommitResult::failed(entry.failurePrefix + "cannot replace " +
                                                 entry.file->target().string() + ": " + std::strerror(err));
      if (i > 0) {
        failed.partial = true;
        failed.failure.why += "; replaced before it:";
        for (std::size_t done = 0; done < i; ++done)
          failed.failure.why += " " + m_entries[done].name;
        for (std::size_t old = i; old < m_entries.size(); ++old)
          failed.notReplaced.push_back(m_entries[old].name);
      }
      finish(i);
      return failed;
    }
    if (i + 1 < m_entries.size()) platform::crashPoint("save-between-renames");
  }
  platform::crashPoint("save-after-rename");
  finish(m_entries.size());
  return {};
}

CommitResult Store::save() {
  SaveBatch batch;
  if (CommitResult prepared = prepareSave(batch); prepared.failure.failed()) return prepared;
  return batch.commit();
}

}  // namespace comsweep::registry
