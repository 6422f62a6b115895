#pragma once
// The program's pictures drawn with GDI, the same drawings the Qt windows
// paint: the four found-key categories (review list and legend), the five
// frames of the progress animation, and the program's icon (the first
// frame). Each is drawn large and scaled down, so that edges are smoothed at
// any size.

#include <windows.h>
#include <commctrl.h>

#include <string_view>

namespace comsweep::win32 {

// 0 "PROGID", 1 "CLSID", 2 "INTERFACE", 3 "TYPELIB"; -1 for any other key.
int categoryIndex(std::string_view key);

// Paints the picture over the rectangle, on the given background.
void drawCategory(HDC dc, const RECT& rect, int category, bool dimmed, COLORREF background);
// "REG0" ... "REG4"; nothing for any other key.
void drawAnimationFrame(HDC dc, const RECT& rect, std::string_view key, COLORREF background);

// The four categories at `size` pixels, then the same four dimmed (a struck
// entry's), each with `margin` pixels of room on either side and one below;
// owned by the caller.
HIMAGELIST categoryImages(int size, int margin);
HICON applicationIcon(int size);

}  // namespace comsweep::win32
