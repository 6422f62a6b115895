#include "frontends/win32/Pictures.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <utility>
#include <vector>

namespace comsweep::win32 {
namespace {

constexpr int kOversample = 4;

// Draws in the units of a square grid onto a device context, with the
// opacity of a dimmed picture as a blend towards the background.
class Painter {
 public:
  Painter(HDC dc, double scale, double opacity, COLORREF background)
      : m_dc(dc), m_scale(scale), m_opacity(opacity), m_background(background) {
    m_oldPen = SelectObject(dc, GetStockObject(NULL_PEN));
    m_oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
  }
  ~Painter() {
    DeleteObject(SelectObject(m_dc, m_oldPen));
    DeleteObject(SelectObject(m_dc, m_oldBrush));
  }

  void pen(COLORREF color, double width) {
    LOGBRUSH lb{BS_SOLID, tone(color), 0};
    HPEN p = ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_ROUND | PS_JOIN_ROUND,
                          std::max(1, static_cast<int>(std::lround(width * m_scale))), &lb, 0,
                          nullptr);
    replace(SelectObject(m_dc, p), m_oldPen);
  }
  void noPen() { replace(SelectObject(m_dc, GetStockObject(NULL_PEN)), m_oldPen); }
  void brush(COLORREF color) { replace(SelectObject(m_dc, CreateSolidBrush(tone(color))), m_oldBrush); }
  void noBrush() { replace(SelectObject(m_dc, GetStockObject(NULL_BRUSH)), m_oldBrush); }

  void line(double x1, double y1, double x2, double y2) {
    MoveToEx(m_dc, at(x1), at(y1), nullptr);
    LineTo(m_dc, at(x2), at(y2));
  }
  void rect(double x, double y, double w, double h) {
    Rectangle(m_dc, at(x), at(y), at(x + w), at(y + h));
  }
  void roundRect(double x, double y, double w, double h, double r) {
    RoundRect(m_dc, at(x), at(y), at(x + w), at(y + h), at(2 * r), at(2 * r));
  }
  void ellipse(double cx, double cy, double rx, double ry) {
    Ellipse(m_dc, at(cx - rx), at(cy - ry), at(cx + rx), at(cy + ry));
  }
  void polygon(std::initializer_list<std::pair<double, double>> points) {
    POINT p[8];
    int n = 0;
    for (const auto& [x, y] : points) p[n++] = POINT{at(x), at(y)};
    Polygon(m_dc, p, n);
  }

 private:
  int at(double v) const { return static_cast<int>(std::lround(v * m_scale)); }
  COLORREF tone(COLORREF c) const {
    auto mix = [this](int fg, int bg) { return static_cast<BYTE>(bg + (fg - bg) * m_opacity); };
    return RGB(mix(GetRValue(c), GetRValue(m_background)), mix(GetGValue(c), GetGValue(m_background)),
               mix(GetBValue(c), GetBValue(m_background)));
  }
  // Deletes the object a selection replaced, unless it is the context's own.
  void replace(HGDIOBJ previous, HGDIOBJ original) {
    if (previous != original) DeleteObject(previous);
  }

  HDC m_dc;
  double m_scale;
  double m_opacity;
  COLORREF m_background;
  HGDIOBJ m_oldPen;
  HGDIOBJ m_oldBrush;
};

// A closed book: the type library describes a component's types.
void drawTypeLib(Painter& p) {
  p.pen(RGB(24, 52, 110), 0.9);
  p.brush(RGB(46, 96, 182));
  p.roundRect(3, 1.5, 10.5, 13, 1);
  p.noPen();
  p.brush(RGB(30, 66, 132));
  p.rect(3.5, 2, 2, 12);
  p.brush(RGB(245, 245, 235));
  p.rect(7, 4, 5, 3);
}

// A component with one interface held out on a stalk.
void drawInterface(Painter& p) {
  p.pen(RGB(60, 60, 60), 1.4);
  p.line(5, 8, 9, 8);
  p.pen(RGB(80, 80, 80), 0.9);
  p.brush(RGB(190, 196, 206));
  p.rect(1, 4.5, 4.5, 7);
  p.pen(RGB(24, 92, 40), 0.9);
  p.brush(RGB(64, 168, 84));
  p.ellipse(11.8, 8, 3.3, 3.3);
}

// A cube: the class that the registration creates.
void drawClass(Painter& p) {
  p.pen(RGB(110, 62, 8), 0.9);
  p.brush(RGB(246, 190, 98));
  p.polygon({{8, 1.5}, {14.5, 4.75}, {8, 8}, {1.5, 4.75}});
  p.brush(RGB(222, 140, 30));
  p.polygon({{1.5, 4.75}, {8, 8}, {8, 14.5}, {1.5, 11.25}});
  p.brush(RGB(180, 108, 14));
  p.polygon({{8, 8}, {14.5, 4.75}, {14.5, 11.25}, {8, 14.5}});
}

// A name tag: the readable name a class is registered under.
void drawProgId(Painter& p) {
  p.pen(RGB(72, 40, 120), 0.9);
  p.brush(RGB(140, 96, 200));
  p.polygon({{1.2, 8}, {5.5, 3}, {14.8, 3}, {14.8, 13}, {5.5, 13}});
  p.noPen();
  p.brush(RGB(255, 255, 255));
  p.ellipse(5.4, 8, 1.2, 1.2);
  p.pen(RGB(255, 255, 255), 1.1);
  p.line(8.2, 6, 13, 6);
  p.line(8.2, 8, 12, 8);
  p.line(8.2, 10, 13, 10);
}

// Five keys of a tree with a magnifier on the one being read; the frames
// differ only in which key that is.
void drawScanFrame(Painter& p, int row) {
  constexpr int kRows = 5;
  auto rowTop = [](int i) { return 2.0 + i * 5.6; };
  p.pen(RGB(120, 130, 150), 1);
  p.line(2.5, rowTop(0) + 2, 2.5, rowTop(kRows - 1) + 2);
  for (int i = 0; i < kRows; ++i) {
    const double y = rowTop(i) + 2;
    p.pen(RGB(120, 130, 150), 1);
    p.line(2.5, y, 5, y);
    p.pen(RGB(100, 110, 130), 0.9);
    p.brush(i == row ? RGB(52, 118, 216) : RGB(218, 224, 234));
    p.roundRect(5, rowTop(i), 16, 4, 1);
  }
  const double cx = 24.5, cy = rowTop(row) + 2;
  p.pen(RGB(50, 50, 50), 2.2);
  p.line(cx + 2.6, cy + 2.6, cx + 5, cy + 5);
  p.pen(RGB(50, 50, 50), 1.4);
  p.brush(RGB(214, 236, 255));
  p.ellipse(cx, cy, 3.6, 3.6);
}

// Draws on a canvas kOversample times the size and shrinks it onto `rect`.
void drawSmooth(HDC dc, const RECT& rect, double grid, double opacity, COLORREF background,
                const std::function<void(Painter&)>& drawing) {
  const int width = rect.right - rect.left, height = rect.bottom - rect.top;
  const int side = std::min(width, height);
  if (side <= 0) return;
  const int big = side * kOversample;
  HDC canvas = CreateCompatibleDC(dc);
  HBITMAP bitmap = CreateCompatibleBitmap(dc, big, big);
  HGDIOBJ oldBitmap = SelectObject(canvas, bitmap);
  HBRUSH fill = CreateSolidBrush(background);
  RECT all{0, 0, big, big};
  FillRect(canvas, &all, fill);
  DeleteObject(fill);
  {
    Painter painter(canvas, big / grid, opacity, background);
    drawing(painter);
  }
  const int oldMode = SetStretchBltMode(dc, HALFTONE);
  SetBrushOrgEx(dc, 0, 0, nullptr);
  StretchBlt(dc, rect.left + (width - side) / 2, rect.top + (height - side) / 2, side, side, canvas,
             0, 0, big, big, SRCCOPY);
  SetStretchBltMode(dc, oldMode);
  SelectObject(canvas, oldBitmap);
  DeleteObject(bitmap);
  DeleteDC(canvas);
}

int frameRow(std::string_view key) {
  if (key.size() != 4 || key.substr(0, 3) != "REG" || key[3] < '0' || key[3] > '4') return -1;
  return key[3] - '0';
}

using Picture = std::function<void(HDC, const RECT&, COLORREF background)>;

// A 32-bit top-down bitmap of `size`.
BITMAPINFO topDownInfo(SIZE size) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = size.cx;
  info.bmiHeader.biHeight = -size.cy;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

// The picture drawn over `background` into a 32-bit top-down bitmap.
std::vector<std::uint32_t> pixels(SIZE size, const Picture& draw, COLORREF background) {
  BITMAPINFO info = topDownInfo(size);
  void* bits = nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(dc, bitmap);
  RECT rect{0, 0, size.cx, size.cy};
  HBRUSH fill = CreateSolidBrush(background);
  FillRect(dc, &rect, fill);
  DeleteObject(fill);
  draw(dc, rect, background);
  GdiFlush();
  const auto* first = static_cast<const std::uint32_t*>(bits);
  std::vector<std::uint32_t> copy(first, first + static_cast<std::size_t>(size.cx) * size.cy);
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  return copy;
}

// The picture with its own transparency: drawn once over black and once
// over white, each pixel's coverage is how far the two differ, so smoothed
// edges and a dimmed picture blend into whatever is beneath them (the
// list's selection too).
HBITMAP transparentPicture(SIZE size, const Picture& draw) {
  const std::vector<std::uint32_t> black = pixels(size, draw, RGB(0, 0, 0));
  const std::vector<std::uint32_t> white = pixels(size, draw, RGB(255, 255, 255));
  BITMAPINFO info = topDownInfo(size);
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  auto* out = static_cast<std::uint32_t*>(bits);
  for (std::size_t i = 0; i < black.size(); ++i) {
    const int covered = 255 - std::clamp(static_cast<int>((white[i] >> 8) & 0xFF) -
                                             static_cast<int>((black[i] >> 8) & 0xFF),
                                         0, 255);
    std::uint32_t pixel = 0;
    if (covered > 0) {
      // Over black, each channel is already the colour times its coverage.
      for (int shift : {0, 8, 16}) {
        const int channel = std::min(255, static_cast<int>((black[i] >> shift) & 0xFF) * 255 / covered);
        pixel |= static_cast<std::uint32_t>(channel) << shift;
      }
      pixel |= static_cast<std::uint32_t>(covered) << 24;
    }
    out[i] = pixel;
  }
  return bitmap;
}

// A bitmap of `size` pixels, opaque.
HBITMAP pictureBitmap(int size, const std::function<void(HDC, const RECT&)>& draw) {
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, size, size);
  ReleaseDC(nullptr, screen);
  HGDIOBJ old = SelectObject(dc, bitmap);
  RECT rect{0, 0, size, size};
  draw(dc, rect);
  SelectObject(dc, old);
  DeleteDC(dc);
  return bitmap;
}

}  // namespace

int categoryIndex(std::string_view key) {
  if (key == "PROGID") return 0;
  if (key == "CLSID") return 1;
  if (key == "INTERFACE") return 2;
  if (key == "TYPELIB") return 3;
  return -1;
}

void drawCategory(HDC dc, const RECT& rect, int category, bool dimmed, COLORREF background) {
  static void (*const kDrawings[])(Painter&) = {drawProgId, drawClass, drawInterface, drawTypeLib};
  if (category < 0 || category > 3) return;
  drawSmooth(dc, rect, 16, dimmed ? 0.35 : 1.0, background, kDrawings[category]);
}

void drawAnimationFrame(HDC dc, const RECT& rect, std::string_view key, COLORREF background) {
  const int row = frameRow(key);
  if (row < 0) return;
  drawSmooth(dc, rect, 32, 1.0, background, [row](Painter& p) { drawScanFrame(p, row); });
}

HIMAGELIST categoryImages(int size, int margin) {
  const SIZE cell{size + 2 * margin, size + 1};
  HIMAGELIST list = ImageList_Create(cell.cx, cell.cy, ILC_COLOR32, 8, 0);
  for (int dimmed = 0; dimmed < 2; ++dimmed) {
    for (int category = 0; category < 4; ++category) {
      HBITMAP bitmap = transparentPicture(cell, [&](HDC dc, const RECT& rect, COLORREF background) {
        const RECT picture{rect.left + margin, rect.top, rect.left + margin + size, rect.top + size};
        drawCategory(dc, picture, category, dimmed != 0, background);
      });
      ImageList_Add(list, bitmap, nullptr);
      DeleteObject(bitmap);
    }
  }
  return list;
}

HICON applicationIcon(int size) {
  HBITMAP colour = pictureBitmap(size, [](HDC dc, const RECT& rect) {
    FillRect(dc, &rect, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    drawAnimationFrame(dc, rect, "REG0", RGB(255, 255, 255));
  });
  HBITMAP mask = CreateBitmap(size, size, 1, 1, nullptr);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, mask);
  RECT rect{0, 0, size, size};
  FillRect(dc, &rect, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));  // all opaque
  SelectObject(dc, old);
  DeleteDC(dc);
  ICONINFO info{TRUE, 0, 0, mask, colour};
  HICON icon = CreateIconIndirect(&info);
  DeleteObject(mask);
  DeleteObject(colour);
  return icon;
}

}  // namespace comsweep::win32
