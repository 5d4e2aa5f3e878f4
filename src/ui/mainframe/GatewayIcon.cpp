#include "ui/mainframe/GatewayIcon.h"

#include <QFile>
#include <QPainter>
#include <QPixmap>
#include <QPolygonF>

namespace parlane {

namespace {

// The picture of data/parlane.svg, for a build without the icon resources.
QIcon drawnIcon() {
  QPixmap pixmap(64, 64);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setBrush(QColor(0x2e, 0x7d, 0x32));
  painter.setPen(Qt::NoPen);
  painter.drawRoundedRect(QRectF(4, 10, 56, 40), 8, 8);
  QPolygonF tail;
  tail << QPointF(16, 48) << QPointF(30, 48) << QPointF(14, 60);
  painter.drawPolygon(tail);
  QPen pen(Qt::white, 4);
  pen.setCapStyle(Qt::RoundCap);
  painter.setPen(pen);
  painter.drawLine(14, 22, 50, 22);
  painter.drawLine(14, 30, 50, 30);
  painter.drawLine(14, 38, 40, 38);
  return QIcon(pixmap);
}

}  // namespace

QIcon gatewayIcon() {
  QIcon icon;
  for (int size : kGatewayIconSizes) {
    const QString file = QStringLiteral(":/icons/parlane-%1.png").arg(size);
    if (QFile::exists(file)) icon.addFile(file, QSize(size, size));
  }
  return icon.isNull() ? drawnIcon() : icon;
}

}  // namespace parlane
