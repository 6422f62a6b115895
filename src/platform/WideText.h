#pragma once
// UTF-8, the program's own text, to and from the UTF-16 of the Windows "W"
// calls. Used only by the Windows implementations; bytes that are not
// UTF-8 and unpaired surrogates become U+FFFD.

#include <string>
#include <string_view>

namespace comsweep::platform {

std::wstring wideText(std::string_view utf8);
std::string narrowText(std::wstring_view utf16);

}  // namespace comsweep::platform
