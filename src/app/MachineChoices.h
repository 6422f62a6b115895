#pragma once
// The machines the main window offers: the Wine prefixes in the places where
// Wine and its front ends keep them (a folder holding system.reg), and on
// Windows this computer's registry; and what a file picked in the file
// dialog stands for.

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace comsweep::app {

// The machines found for `env` (HOME and WINEPREFIX are read), `first` at the
// head whether it exists or not (the machine a start opens unless the
// operator picks another); each machine once, however it is spelled; the
// others in the order of the places searched, by name within a place.
std::vector<std::filesystem::path> findMachines(const std::map<std::string, std::string>& env,
                                                const std::filesystem::path& first);

// The machine a file picked in the file dialog names: a Wine prefix's
// system.reg or user.reg names the prefix (its files are read together), the
// SOFTWARE hive of an offline Windows drive the drive (whose C: gets the
// log); any other file names itself.
std::filesystem::path machineOfPickedFile(const std::filesystem::path& file);

// How a machine reads in the main window's list: below the home folder
// `home` as "~/..." (not on Windows, whose users know their folders by full
// path), the empty path (this computer's registry) by name.
std::string machineLabel(const std::filesystem::path& machine, std::string home);

}  // namespace comsweep::app
