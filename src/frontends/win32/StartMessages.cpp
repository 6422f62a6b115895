#include "frontends/win32/StartMessages.h"

#include <windows.h>

#include "platform/WideText.h"
#include "frontends/win32/Desktop.h"

namespace comsweep::win32 {

void StartMessages::showMessage(const std::string& text, int style, const std::string& title) {
  const std::wstring caption =
      platform::wideText(title.empty() ? std::string(forms::kApplicationTitle) : title);
  // No window of the program is in front yet: the box comes to the front itself.
  MessageBoxW(nullptr, platform::wideText(text).c_str(), caption.c_str(),
              MB_OK | MB_SETFOREGROUND | static_cast<UINT>(style & 0x70));
}

forms::WindowSystem* startMessages() {
  if (!missingDesktopMessage().empty()) return nullptr;
  static StartMessages boxes;
  return &boxes;
}

}  // namespace comsweep::win32
