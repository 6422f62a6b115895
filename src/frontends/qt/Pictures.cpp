#include "frontends/qt/Pictures.h"

#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <functional>

namespace comsweep::qt {
namespace {

using Drawing = std::function<void(QPainter&)>;

// Paints a drawing made on a square grid of `grid` units into whatever
// rectangle it is asked for, so no picture is ever scaled from pixels.
class PaintedIcon : public QIconEngine {
 public:
  PaintedIcon(Drawing drawing, qreal grid, bool dimmed)
      : m_drawing(std::move(drawing)), m_grid(grid), m_dimmed(dimmed) {}

  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const qreal side = qMin(rect.width(), rect.height());
    painter->translate(rect.x() + (rect.width() - side) / 2.0,
                       rect.y() + (rect.height() - side) / 2.0);
    painter->scale(side / m_grid, side / m_grid);
    if (m_dimmed || mode == QIcon::Disabled) painter->setOpacity(0.35);
    m_drawing(*painter);
    painter->restore();
  }

  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    paint(&painter, QRect(QPoint(0, 0), size), mode, state);
    return pixmap;
  }

  QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }
  QIconEngine* clone() const override { return new PaintedIcon(m_drawing, m_grid, m_dimmed); }

 private:
  Drawing m_drawing;
  qreal m_grid;
  bool m_dimmed;
};

QPen outline(const QColor& color, qreal width = 0.9) {
  QPen pen(color, width);
  pen.setJoinStyle(Qt::RoundJoin);
  pen.setCapStyle(Qt::RoundCap);
  return pen;
}

// A closed book: the type library describes a component's types.
void drawTypeLib(QPainter& p) {
  p.setPen(outline(QColor(24, 52, 110)));
  p.setBrush(QColor(46, 96, 182));
  p.drawRoundedRect(QRectF(3, 1.5, 10.5, 13), 1, 1);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(30, 66, 132));
  p.drawRect(QRectF(3.5, 2, 2, 12));
  p.setBrush(QColor(245, 245, 235));
  p.drawRect(QRectF(7, 4, 5, 3));
}

// A component with one interface held out on a stalk.
void drawInterface(QPainter& p) {
  p.setPen(outline(QColor(60, 60, 60), 1.4));
  p.drawLine(QPointF(5, 8), QPointF(9, 8));
  p.setPen(outline(QColor(80, 80, 80)));
  p.setBrush(QColor(190, 196, 206));
  p.drawRect(QRectF(1, 4.5, 4.5, 7));
  p.setPen(outline(QColor(24, 92, 40)));
  p.setBrush(QColor(64, 168, 84));
  p.drawEllipse(QPointF(11.8, 8), 3.3, 3.3);
}

// A cube: the class that the registration creates.
void drawClass(QPainter& p) {
  const QPointF top(8, 1.5), right(14.5, 4.75), front(8, 8), left(1.5, 4.75);
  const QPointF rightLow(14.5, 11.25), frontLow(8, 14.5), leftLow(1.5, 11.25);
  p.setPen(outline(QColor(110, 62, 8)));
  p.setBrush(QColor(246, 190, 98));
  p.drawPolygon(QPolygonF{top, right, front, left});
  p.setBrush(QColor(222, 140, 30));
  p.drawPolygon(QPolygonF{left, front, frontLow, leftLow});
  p.setBrush(QColor(180, 108, 14));
  p.drawPolygon(QPolygonF{front, right, rightLow, frontLow});
}

// A name tag: the readable name a class is registered under.
void drawProgId(QPainter& p) {
  QPainterPath tag;
  tag.moveTo(1.2, 8);
  tag.lineTo(5.5, 3);
  tag.lineTo(14.8, 3);
  tag.lineTo(14.8, 13);
  tag.lineTo(5.5, 13);
  tag.closeSubpath();
  p.setPen(outline(QColor(72, 40, 120)));
  p.setBrush(QColor(140, 96, 200));
  p.drawPath(tag);
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawEllipse(QPointF(5.4, 8), 1.2, 1.2);
  p.setPen(outline(Qt::white, 1.1));
  p.drawLine(QPointF(8.2, 6), QPointF(13, 6));
  p.drawLine(QPointF(8.2, 8), QPointF(12, 8));
  p.drawLine(QPointF(8.2, 10), QPointF(13, 10));
}

// Five keys of a tree with a magnifier on the one being read; the frames
// differ only in which key that is.
void drawScanFrame(QPainter& p, int row) {
  constexpr int kRows = 5;
  auto rowTop = [](int i) { return 2.0 + i * 5.6; };
  p.setPen(outline(QColor(120, 130, 150), 1));
  p.drawLine(QPointF(2.5, rowTop(0) + 2), QPointF(2.5, rowTop(kRows - 1) + 2));
  for (int i = 0; i < kRows; ++i) {
    const qreal y = rowTop(i) + 2;
    p.setPen(outline(QColor(120, 130, 150), 1));
    p.drawLine(QPointF(2.5, y), QPointF(5, y));
    p.setPen(outline(QColor(100, 110, 130)));
    p.setBrush(i == row ? QColor(52, 118, 216) : QColor(218, 224, 234));
    p.drawRoundedRect(QRectF(5, rowTop(i), 16, 4), 1, 1);
  }
  const QPointF centre(24.5, rowTop(row) + 2);
  p.setPen(outline(QColor(50, 50, 50), 2.2));
  p.drawLine(centre + QPointF(2.6, 2.6), centre + QPointF(5, 5));
  p.setPen(outline(QColor(50, 50, 50), 1.4));
  p.setBrush(QColor(200, 230, 255, 170));
  p.drawEllipse(centre, 3.6, 3.6);
}

QIcon painted(Drawing drawing, qreal grid, bool dimmed) {
  return QIcon(new PaintedIcon(std::move(drawing), grid, dimmed));
}

}  // namespace

QIcon Pictures::category(const QString& key, bool ghosted) {
  if (key == QLatin1String("TYPELIB")) return painted(drawTypeLib, 16, ghosted);
  if (key == QLatin1String("INTERFACE")) return painted(drawInterface, 16, ghosted);
  if (key == QLatin1String("CLSID")) return painted(drawClass, 16, ghosted);
  if (key == QLatin1String("PROGID")) return painted(drawProgId, 16, ghosted);
  return QIcon();
}

QIcon Pictures::animationFrame(const QString& key) {
  if (key.size() != 4 || !key.startsWith(QLatin1String("REG"))) return QIcon();
  const int row = key.at(3).digitValue();
  if (row < 0 || row > 4) return QIcon();
  return painted([row](QPainter& p) { drawScanFrame(p, row); }, 32, false);
}

}  // namespace comsweep::qt
