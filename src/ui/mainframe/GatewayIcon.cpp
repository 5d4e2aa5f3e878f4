#include "ui/mainframe/GatewayIcon.h"

#include <QPainter>
#include <QPixmap>
#include <QPolygonF>

namespace parlane {

QIcon gatewayIcon() {
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
  painter.setPen(QPen(Qt::white, 4));
  for (int y : {22, 30, 38}) painter.drawLine(14, y, 50, y);
  return QIcon(pixmap);
}

}  // namespace parlane
