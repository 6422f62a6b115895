// Renders the program's icon (the first frame of the scan animation, the
// picture its windows carry) as PNG files for the desktop's icon theme:
//   comsweep-render-icon OUTDIR SIZE...   writes OUTDIR/SIZExSIZE/comsweep.png
// Runs at build time without a display (QT_QPA_PLATFORM=offscreen).
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdio>

#include "frontends/qt/Pictures.h"

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc < 3) {
    std::fprintf(stderr, "usage: comsweep-render-icon OUTDIR SIZE...\n");
    return 2;
  }
  const QIcon icon = comsweep::qt::Pictures::animationFrame(QStringLiteral("REG0"));
  for (int i = 2; i < argc; ++i) {
    const int size = QString::fromLocal8Bit(argv[i]).toInt();
    if (size <= 0) {
      std::fprintf(stderr, "comsweep-render-icon: not a size: %s\n", argv[i]);
      return 2;
    }
    const QString dir = QStringLiteral("%1/%2x%2").arg(QString::fromLocal8Bit(argv[1])).arg(size);
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    icon.paint(&painter, QRect(0, 0, size, size));
    painter.end();
    if (!QDir().mkpath(dir) || !image.save(dir + QStringLiteral("/comsweep.png"), "PNG")) {
      std::fprintf(stderr, "comsweep-render-icon: cannot write %s\n", qPrintable(dir));
      return 1;
    }
  }
  return 0;
}
