#include "ui/dialogs/wizard/PortSelectPage.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/util/StringTable.h"
#include "engine/PortDetector.h"

namespace parlane {

namespace {

constexpr int kNoModemsWarning = 40206;

QString qs(const std::u16string& text) { return QString::fromStdU16String(text); }

}  // namespace

// One run of "Test...": the thread and the flag that cuts it short.
struct PortSelectPage::Probe {
  std::atomic<bool> cancel{false};
  std::thread thread;
  unsigned run = 0;
};

PortSelectPage::PortSelectPage(const PortDetector& detector, QWidget* parent)
    : QWizardPage(parent), detector_(detector) {
  auto* layout = new QVBoxLayout(this);

  auto* installed = new QGroupBox(tr("Installed modems"), this);
  auto* installedLayout = new QVBoxLayout(installed);
  listLabel_ =
      new QLabel(tr("Please select the mobile device from the list of currently connected modems:"),
                 installed);
  listLabel_->setWordWrap(true);
  list_ = new QListWidget(installed);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  auto* testRow = new QHBoxLayout();
  testLabel_ = new QLabel(tr("Exclude inactive and non-GSM modems from the list:"), installed);
  test_ = new QPushButton(tr("Test..."), installed);
  testRow->addWidget(testLabel_, 1);
  testRow->addWidget(test_);
  installedLayout->addWidget(listLabel_);
  installedLayout->addWidget(list_, 1);
  installedLayout->addLayout(testRow);
  layout->addWidget(installed, 1);

  auto* manualGroup = new QGroupBox(tr("Manual port setup"), this);
  auto* manualLayout = new QGridLayout(manualGroup);
  manual_ = new QCheckBox(
      tr("I know what I do and I will manually select another communication port"), manualGroup);
  portLabel_ = new QLabel(tr("Port name:"), manualGroup);
  port_ = new QComboBox(manualGroup);
  port_->setEditable(true);
  port_->setInsertPolicy(QComboBox::NoInsert);
  for (const char* family : {"ttyUSB", "ttyACM"}) {
    for (int i = 0; i < 10; ++i) port_->addItem(QString::fromLatin1(family) + QString::number(i));
  }
  port_->setCurrentIndex(-1);
  portLabel_->setBuddy(port_);
  manualLayout->addWidget(manual_, 0, 0, 1, 2);
  manualLayout->addWidget(portLabel_, 1, 0);
  manualLayout->addWidget(port_, 1, 1);
  manualLayout->setColumnStretch(1, 1);
  layout->addWidget(manualGroup);

  connect(test_, &QPushButton::clicked, this, &PortSelectPage::startTest);
  connect(manual_, &QCheckBox::toggled, this, &PortSelectPage::updateControls);
  connect(list_, &QListWidget::itemSelectionChanged, this, &PortSelectPage::updateControls);
  connect(port_, &QComboBox::editTextChanged, this, &PortSelectPage::updateControls);
}

PortSelectPage::~PortSelectPage() { stopTest(); }

void PortSelectPage::initializePage() {
  stopTest();
  manual_->setChecked(false);
  updateControls();
  modems_ = detector_.listModems(true);
  fillList();
  if (modems_.empty()) warnNoModems();
}

void PortSelectPage::cleanupPage() {
  stopTest();
  QWizardPage::cleanupPage();
}

bool PortSelectPage::isComplete() const { return !testing() && selectedEntry().has_value(); }

std::optional<ModemPortInfo> PortSelectPage::selectedEntry() const {
  if (manual_->isChecked()) {
    const QString name = port_->currentText().trimmed();
    if (name.isEmpty()) return std::nullopt;
    ModemPortInfo typed;
    typed.port = name.toStdU16String();
    return typed;
  }
  const int row = list_->currentRow();
  if (row < 0 || row >= static_cast<int>(modems_.size())) return std::nullopt;
  if (!list_->item(row)->isSelected()) return std::nullopt;
  return modems_[static_cast<std::size_t>(row)];
}

QMessageBox* PortSelectPage::warningBox() const { return warning_; }

void PortSelectPage::fillList() {
  list_->clear();
  for (const ModemPortInfo& info : modems_) {
    list_->addItem(qs(info.friendlyName) + QStringLiteral(" (") + qs(info.port) +
                   QStringLiteral(")"));
  }
  updateControls();
}

void PortSelectPage::updateControls() {
  const bool manual = manual_->isChecked();
  const bool listUsable = !manual && !testing();
  port_->setEnabled(manual);
  portLabel_->setEnabled(manual);
  list_->setEnabled(listUsable);
  listLabel_->setEnabled(listUsable);
  testLabel_->setEnabled(listUsable);
  test_->setEnabled(listUsable);
  emit completeChanged();
}

void PortSelectPage::warnNoModems() {
  const QString text = qs(loadString(kNoModemsWarning));
  // Opened, not run: the page stays live behind it and nothing waits for the user.
  if (warning_ != nullptr) warning_->close();
  warning_ = new QMessageBox(QMessageBox::Warning, qs(loadString(text::kWarning)), text,
                             QMessageBox::Ok, this);
  warning_->setAttribute(Qt::WA_DeleteOnClose);
  warning_->open();
  emit warningShown(text);
}

void PortSelectPage::startTest() {
  if (testing() || manual_->isChecked()) return;
  probe_ = std::make_unique<Probe>();
  QApplication::setOverrideCursor(Qt::WaitCursor);
  updateControls();
  Probe* probe = probe_.get();
  probe->run = ++runs_;
  probe->thread = std::thread([this, probe, list = modems_] {
    std::vector<ModemPortInfo> responding = detector_.findResponding(list, &probe->cancel);
    if (probe->cancel.load()) return;
    QMetaObject::invokeMethod(
        this,
        [this, run = probe->run, found = std::move(responding)]() mutable {
          finishTest(run, std::move(found));
        },
        Qt::QueuedConnection);
  });
}

void PortSelectPage::finishTest(unsigned run, std::vector<ModemPortInfo> responding) {
  // A run that was stopped meanwhile (the page left and came back) has nothing to say.
  if (!probe_ || probe_->run != run) return;
  if (probe_->thread.joinable()) probe_->thread.join();
  probe_.reset();
  QApplication::restoreOverrideCursor();
  modems_ = std::move(responding);
  fillList();
  if (modems_.empty()) warnNoModems();
  emit testFinished();
}

void PortSelectPage::stopTest() {
  if (!probe_) return;
  probe_->cancel.store(true);
  if (probe_->thread.joinable()) probe_->thread.join();
  probe_.reset();
  QApplication::restoreOverrideCursor();
}

}  // namespace parlane
