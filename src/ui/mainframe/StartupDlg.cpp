#include "ui/mainframe/StartupDlg.h"

#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/util/StringTable.h"
#include "core/util/TimeFormat.h"
#include "ui/mainframe/MenuCommand.h"

namespace parlane {

namespace {

QString qs(const std::u16string& text) { return QString::fromStdU16String(text); }

QLabel* valueLabel(QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  label->setWordWrap(true);
  return label;
}

}  // namespace

StartupDlg::StartupDlg(QWidget* parent) : QWidget(parent, Qt::Window) {
  setAttribute(Qt::WA_QuitOnClose, false);
  // Wide enough for a port path and a line of message text without wrapping every word.
  setMinimumWidth(460);
  auto* layout = new QVBoxLayout(this);

  auto* status = new QGroupBox(tr("Gateway"), this);
  auto* form = new QFormLayout(status);
  state_ = valueLabel(status);
  modem_ = valueLabel(status);
  folders_ = valueLabel(status);
  form->addRow(tr("Connection:"), state_);
  form->addRow(tr("Modem:"), modem_);
  form->addRow(tr("Folders:"), folders_);
  layout->addWidget(status);

  auto* last = new QGroupBox(tr("Last received message"), this);
  auto* lastLayout = new QVBoxLayout(last);
  lastMessage_ = valueLabel(last);
  lastLayout->addWidget(lastMessage_);
  layout->addWidget(last);

  auto* grid = new QGridLayout();
  connect_ = addButton(command::kConnect, qs(loadString(40021)));
  sendSms_ = addButton(command::kSendSms, qs(loadString(40023)));
  const std::pair<int, QPushButton*> cells[] = {
      {0, connect_},
      {1, sendSms_},
      {2, addButton(command::kSendList, qs(loadString(40295)))},
      {3, addButton(command::kSendUssd, qs(loadString(40207)))},
      {4, addButton(command::kViewLastSms, tr("View last SMS"))},
      {5, addButton(command::kControlPanel, qs(loadString(40020)))},
      {6, addButton(command::kExit, qs(loadString(40025)))},
  };
  for (const auto& [index, button] : cells) grid->addWidget(button, index / 2, index % 2);
  layout->addLayout(grid);
  showView(MainScreenView{});
}

QPushButton* StartupDlg::addButton(int command, const QString& label) {
  auto* button = new QPushButton(label, this);
  buttons_.emplace_back(command, button);
  // The connect button changes its command with the state; it is read when clicked.
  connect(button, &QPushButton::clicked, this, [this, button] {
    for (const auto& [id, candidate] : buttons_) {
      if (candidate == button) emit commandRequested(id);
    }
  });
  return button;
}

QPushButton* StartupDlg::button(int command) const {
  for (const auto& [id, candidate] : buttons_) {
    if (id == command) return candidate;
  }
  return nullptr;
}

void StartupDlg::showView(const MainScreenView& view) {
  setWindowTitle(qs(view.title));
  state_->setText(qs(view.title));

  QString modem = view.model.empty() ? tr("not known") : qs(view.model);
  if (view.signalPercent >= 0) modem += tr(", signal %1%").arg(view.signalPercent);
  modem_->setText(modem);

  const auto& counts = view.folderCounts;
  folders_->setText(tr("Inbox %1, Outbox %2, Sent %3, Failed %4")
                        .arg(counts[0])
                        .arg(counts[1])
                        .arg(counts[2])
                        .arg(counts[3]));

  if (view.lastFrom.empty() && view.lastText.empty()) {
    lastMessage_->setText(tr("None since start"));
  } else {
    lastMessage_->setText(tr("From %1 at %2 (%3 since start):\n%4")
                              .arg(qs(view.lastFrom), qs(formatDisplayTime(view.lastTime)))
                              .arg(view.receivedCount)
                              .arg(qs(view.lastText)));
  }

  const bool closed = view.status == ChannelStatus::Closed || view.status == ChannelStatus::Error;
  const int connectCommand = closed ? command::kConnect : command::kDisconnect;
  for (auto& [id, candidate] : buttons_) {
    if (candidate == connect_) id = connectCommand;
  }
  connect_->setText(qs(loadString(closed ? 40021 : 40022)));
  connect_->setEnabled(!closed || view.portSet);
  sendSms_->setEnabled(view.portSet);
  if (QPushButton* viewLast = button(command::kViewLastSms)) {
    viewLast->setEnabled(!view.lastFrom.empty() || !view.lastText.empty());
  }
}

void StartupDlg::present() {
  show();
  setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
  raise();
  activateWindow();
}

}  // namespace parlane
