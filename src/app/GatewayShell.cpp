#include "app/GatewayShell.h"

#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QVBoxLayout>
#include <QWidget>

#include "core/util/Headless.h"

namespace parlane {

namespace {

// Drawn in code so that the program needs no image plug-in to show its icon.
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

}  // namespace

GatewayShell::GatewayShell(const QString& title, bool noIcon, QObject* parent) : QObject(parent) {
  if (noIcon || isHeadlessPlatform(QGuiApplication::platformName().toStdString())) return;
  QGuiApplication::setWindowIcon(gatewayIcon());
  if (QSystemTrayIcon::isSystemTrayAvailable()) {
    menu_ = std::make_unique<QMenu>();
    menu_->addAction(tr("Exit"), this, &GatewayShell::exitRequested);
    tray_ = new QSystemTrayIcon(gatewayIcon(), this);
    tray_->setToolTip(title);
    tray_->setContextMenu(menu_.get());
    tray_->show();
    return;
  }
  // No tray on this desktop: keep a small window so that the user can see and end the gateway.
  window_ = std::make_unique<QWidget>();
  window_->setWindowTitle(title);
  auto* layout = new QVBoxLayout(window_.get());
  layout->addWidget(new QLabel(tr("The SMS gateway is running."), window_.get()));
  auto* exitButton = new QPushButton(tr("Exit"), window_.get());
  layout->addWidget(exitButton);
  connect(exitButton, &QPushButton::clicked, this, &GatewayShell::exitRequested);
  window_->show();
}

GatewayShell::~GatewayShell() {
  if (tray_ != nullptr) tray_->hide();
}

void GatewayShell::balloon(std::u16string_view title, std::u16string_view text) {
  if (tray_ == nullptr) return;
  tray_->showMessage(QString::fromStdU16String(std::u16string(title)),
                     QString::fromStdU16String(std::u16string(text)), QSystemTrayIcon::Information);
}

}  // namespace parlane
