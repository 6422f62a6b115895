#pragma once
// "comsweep --undo [--list] [--json] [BACKUP]": puts back what a run removed, from
// its backup, into the machine a run would clean. Without BACKUP the newest
// 9QReg-*.reg in the machine's drive C: is taken. The record goes to standard
// error and to 9QUndo.log beside 9QReg.log; --list only says what would
// happen and writes nothing; --json writes one JSON document (UndoReport)
// to standard output instead of the listing.
//
// Exit status: 0 every key of the backup is there again, 1 some key was left
// (it exists again with other values) or could not be put back, 2 the
// backup or the machine could not be used or saved, or bad usage.

#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

#include "app/Program.h"

namespace comsweep::app {

// The newest backup a run wrote into `directory` (by the time in its name),
// or the empty path when there is none.
std::filesystem::path newestBackup(const std::filesystem::path& directory);

// `args` are the arguments after "--undo".
int runUndo(const std::vector<std::string>& args, const ProgramEnvironment& environment,
            std::ostream& out, std::ostream& err);

}  // namespace comsweep::app
