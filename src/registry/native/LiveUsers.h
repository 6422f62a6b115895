#pragma once
// The users of this computer whose classes a run as LocalSystem cleans
// (Windows only). Deployment tools start programs as LocalSystem, whose own
// classes are nobody's: the users' per-user registrations are each user's
// HKEY_USERS\<SID>_Classes, loaded while the user is logged on, and
// otherwise the UsrClass.dat of the user's profile.

#include <filesystem>
#include <string>
#include <vector>

namespace comsweep::registry {

struct LiveUser {
  std::string classesKey;          // "<SID>_Classes", the key below HKEY_USERS
  bool loaded = false;             // the key is loaded: read and changed live
  std::filesystem::path usrClass;  // else the profile's UsrClass.dat
};

// Whether this process runs as LocalSystem.
bool runsAsLocalSystem();

// Every loaded HKEY_USERS\<SID>_Classes, and every user profile (a SID of
// S-1-5-21-...) of HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\ProfileList
// whose classes are not loaded and whose UsrClass.dat exists
// (<ProfileImagePath>\AppData\Local\Microsoft\Windows\UsrClass.dat); each
// once, ordered by key name.
std::vector<LiveUser> liveUsers();

// HKEY_USERS, as the top of a NativeStore.
void* usersTop();

}  // namespace comsweep::registry
