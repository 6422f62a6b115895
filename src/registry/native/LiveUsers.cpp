#include "registry/native/LiveUsers.h"

#include <algorithm>

#include "registry/native/NativeText.h"

namespace {

namespace native = comsweep::registry::native;

// Outside the engine's namespace, where HKEY is the native one.
const ::HKEY kUsers = HKEY_USERS;
const ::HKEY kLocalMachine = HKEY_LOCAL_MACHINE;

// The names of the subkeys of an open key; a name that cannot be read is
// passed over.
std::vector<std::string> subkeyNames(::HKEY key) {
  std::vector<std::string> names;
  wchar_t name[256];  // the longest key name the registry allows, and its NUL
  for (::DWORD i = 0;; ++i) {
    ::DWORD length = 256;
    const ::LONG status = ::RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status == ERROR_SUCCESS) names.push_back(native::narrow(name, length));
    else if (status != ERROR_MORE_DATA) break;
  }
  return names;
}

bool endsWithClasses(const std::string& name) {
  constexpr std::string_view suffix = "_Classes";
  return name.size() > suffix.size() &&
         comsweep::registry::equalsNoCase(std::string_view(name).substr(name.size() - suffix.size()), suffix);
}

}  // namespace

namespace comsweep::registry {

bool runsAsLocalSystem() {
  ::HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  alignas(TOKEN_USER) ::BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  ::DWORD size = 0;
  const bool system = ::GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size) &&
                      ::IsWellKnownSid(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, WinLocalSystemSid);
  ::CloseHandle(token);
  return system;
}

std::vector<LiveUser> liveUsers() {
  std::vector<LiveUser> users;
  for (const std::string& name : subkeyNames(kUsers))
    if (endsWithClasses(name)) users.push_back({name, true, {}});
  ::HKEY profiles = nullptr;
  if (::RegOpenKeyExW(kLocalMachine, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList", 0,
                      native::kAccess, &profiles) == ERROR_SUCCESS) {
    for (const std::string& sid : subkeyNames(profiles)) {
      if (sid.rfind("S-1-5-21-", 0) != 0) continue;
      const std::string key = sid + "_Classes";
      if (std::any_of(users.begin(), users.end(), [&](const LiveUser& u) { return equalsNoCase(u.classesKey, key); }))
        continue;
      wchar_t path[32768];
      ::DWORD bytes = sizeof path;
      // REG_EXPAND_SZ comes back expanded (%SystemDrive%\Users\...).
      if (::RegGetValueW(profiles, native::wide(sid).c_str(), L"ProfileImagePath", RRF_RT_REG_SZ, nullptr, path,
                         &bytes) != ERROR_SUCCESS)
        continue;
      const std::filesystem::path file =
          std::filesystem::path(std::wstring(path)) / L"AppData" / L"Local" / L"Microsoft" / L"Windows" / L"UsrClass.dat";
      std::error_code ec;
      if (std::filesystem::is_regular_file(file, ec)) users.push_back({key, false, file});
    }
    ::RegCloseKey(profiles);
  }
  std::sort(users.begin(), users.end(),
            [](const LiveUser& a, const LiveUser& b) { return compareNoCase(a.classesKey, b.classesKey) < 0; });
  return users;
}

void* usersTop() { return kUsers; }

}  // namespace comsweep::registry
