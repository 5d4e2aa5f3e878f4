#include "ui/dialogs/control/ControlDlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "core/log/Logger.h"
#include "core/settings/SettingsStore.h"
#include "core/util/StringTable.h"
#include "service/ServiceWindow.h"
#include "transport/AsyncSerialComm.h"
#include "ui/dialogs/control/AppControlDlg.h"
#include "ui/dialogs/control/CommonControlDlg.h"
#include "ui/dialogs/control/FailedControlDlg.h"
#include "ui/dialogs/control/HelpControlDlg.h"
#include "ui/dialogs/control/IncomingControlDlg.h"
#include "ui/dialogs/control/MemoryControlDlg.h"
#include "ui/dialogs/control/OutgoingControlDlg.h"
#include "ui/dialogs/control/PropertiesControlDlg.h"
#include "ui/dialogs/control/SentControlDlg.h"

namespace parlane {

namespace {

QString qs(const std::u16string& text) { return QString::fromStdU16String(text); }
QString qsId(int id) { return qs(loadString(id)); }

bool connectedStatus(ChannelStatus status) {
  return status == ChannelStatus::Idle || status == ChannelStatus::Configuring ||
         status == ChannelStatus::Busy;
}

}  // namespace

ControlDlg::ControlDlg(ControlParts parts, QWidget* parent)
    : QDialog(parent), parts_(std::move(parts)) {
  setWindowTitle(tr("Parlane control panel"));
  setAttribute(Qt::WA_QuitOnClose, false);
  setModal(false);

  auto* layout = new QVBoxLayout(this);
  tabs_ = new QTabWidget(this);
  pages_ = {new CommonControlDlg(parts_, tabs_),     new AppControlDlg(parts_, tabs_),
            new PropertiesControlDlg(parts_, tabs_), new MemoryControlDlg(parts_, tabs_),
            new IncomingControlDlg(parts_, tabs_),   new OutgoingControlDlg(parts_, tabs_),
            new SentControlDlg(parts_, tabs_),       new FailedControlDlg(parts_, tabs_),
            new HelpControlDlg(parts_, tabs_)};
  const int labels[] = {40048, 40068, 40049, 40069, 40052, 40053, 40094, 40095};
  for (std::size_t i = 0; i < std::size(labels); ++i) tabs_->addTab(pages_[i], qsId(labels[i]));
  tabs_->addTab(pages_[Help], tr("Help"));
  layout->addWidget(tabs_);

  buttons_ = new QDialogButtonBox(
      QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply, this);
  layout->addWidget(buttons_);
  connect(buttons_->button(QDialogButtonBox::Ok), &QPushButton::clicked, this, &ControlDlg::ok);
  connect(buttons_->button(QDialogButtonBox::Cancel), &QPushButton::clicked, this,
          &ControlDlg::cancel);
  connect(buttons_->button(QDialogButtonBox::Apply), &QPushButton::clicked, this,
          &ControlDlg::apply);
  connect(tabs_, &QTabWidget::currentChanged, this, [this](int index) {
    if (index >= 0 && index < static_cast<int>(pages_.size()))
      pages_[static_cast<std::size_t>(index)]->refresh();
  });

  // The two pages share "modem.use_features": one switch, shown twice.
  QCheckBox* smsSwitch = smsPage().useFeatures();
  QCheckBox* propertiesSwitch = propertiesPage().useFeatures();
  connect(smsSwitch, &QCheckBox::toggled, propertiesSwitch, &QCheckBox::setChecked);
  connect(propertiesSwitch, &QCheckBox::toggled, smsSwitch, &QCheckBox::setChecked);
  resize(820, 560);
}

ControlDlg::~ControlDlg() = default;

ControlPage* ControlDlg::page(Page which) const { return pages_[static_cast<std::size_t>(which)]; }
CommonControlDlg& ControlDlg::smsPage() const { return *static_cast<CommonControlDlg*>(page(Sms)); }
AppControlDlg& ControlDlg::appPage() const {
  return *static_cast<AppControlDlg*>(page(Application));
}
PropertiesControlDlg& ControlDlg::propertiesPage() const {
  return *static_cast<PropertiesControlDlg*>(page(Properties));
}
MemoryControlDlg& ControlDlg::memoryPage() const {
  return *static_cast<MemoryControlDlg*>(page(Memory));
}
FolderControlDlg& ControlDlg::folderPage(Page which) const {
  return *static_cast<FolderControlDlg*>(page(which));
}
QPushButton* ControlDlg::button(int standardButton) const {
  return buttons_->button(static_cast<QDialogButtonBox::StandardButton>(standardButton));
}

int ControlDlg::currentPage() const { return tabs_->currentIndex(); }

void ControlDlg::selectPage(int page) {
  if (page >= 0 && page < tabs_->count()) tabs_->setCurrentIndex(page);
}

void ControlDlg::loadUnchanged() {
  // What the service or the wizard changed while the panel was closed shows on opening; edits
  // the user has not applied yet stay.
  for (ControlPage* page : pages_) {
    if (!page->isModified()) page->load();
  }
}

void ControlDlg::present(int page) {
  if (!isVisible()) loadUnchanged();
  selectPage(page);
  refreshPages();
  show();
  raise();
  activateWindow();
}

void ControlDlg::refreshPages() {
  for (std::size_t i = 0; i < pages_.size(); ++i) {
    // Folder pages keep their lists current even in the background: one look at a counter.
    if (static_cast<int>(i) == tabs_->currentIndex() || (i >= Inbox && i <= Failed)) {
      pages_[i]->refresh();
    }
  }
}

void ControlDlg::store(bool ok) {
  CommonControlDlg& sms = smsPage();
  // Compared before anything is written.
  const bool reconnect = sms.isModified() && sms.needsReconnection();
  if (sms.isModified()) sms.save();
  if (propertiesPage().isModified()) propertiesPage().save();
  if (ok || appPage().isModified()) appPage().save();
  if (parts_.hooks.saveConfiguration) parts_.hooks.saveConfiguration();
  if (reconnect && connectedStatus(parts_.channel.getStatus()) && parts_.hooks.postCommand &&
      parts_.hooks.ask(qsId(40097), qsId(40096))) {
    parts_.hooks.postCommand(ServiceWindow::kCommandDisconnect);
    parts_.hooks.postCommand(ServiceWindow::kCommandConnect);
  }
}

void ControlDlg::ok() {
  store(true);
  QDialog::accept();
}

void ControlDlg::apply() { store(false); }

void ControlDlg::cancel() {
  // Nothing is written; the next opening shows the settings as they are.
  for (ControlPage* page : pages_) page->load();
  QDialog::reject();
}

void ControlDlg::reject() { cancel(); }

}  // namespace parlane
