#include "ui/dialogs/control/AppControlDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <limits>

#include "core/log/Logger.h"
#include "core/settings/SettingsStore.h"
#include "core/util/StringTable.h"
#include "message/TonAutoRule.h"
#include "service/CServiceThread.h"
#include "service/ServiceScheduler.h"
#include "ui/dialogs/control/ChoiceBox.h"

namespace parlane {

namespace {

QString qsId(int id) { return QString::fromStdU16String(loadString(id)); }

// The three folders whose size the user may limit.
constexpr const char* kLimitKeys[] = {"inbox.maxrecords", "sent.maxrecords", "failed.maxrecords"};

void fillTon(QComboBox* box) {
  // The type of number values 0 to 4.
  fillChoices(
      box,
      {{0, qsId(40191)}, {1, qsId(40192)}, {2, qsId(40193)}, {3, qsId(40194)}, {4, qsId(40195)}});
}

}  // namespace

AppControlDlg::AppControlDlg(ControlParts& parts, QWidget* parent) : ControlPage(parts, parent) {
  auto* layout = new QHBoxLayout(this);
  auto* general = new QGroupBox(tr("Application settings"), this);
  auto* boxes = new QVBoxLayout(general);
  const std::pair<const char*, QString> labels[] = {
      {"autostart", tr("Launch application at startup")},
      {"start.bubble", tr("Show bubble tip after start")},
      {"start.welcome", tr("Show welcome screen after start")},
      {"start.connect", tr("Auto-connect after start")},
      {"disable_bubbles", tr("Disable bubble tips")},
      {"discard_duplicated", tr("Ignore duplicated SMS")},
      {"modem.emulation", tr("Emulation mode")},
      {"status_reports", tr("Request delivery reports")},
      {"sms_fail_notify", tr("Notify on failed SMS")},
  };
  for (const auto& [key, label] : labels) {
    auto* box = new QCheckBox(label, general);
    checks_.emplace_back(key, box);
    boxes->addWidget(box);
    connect(box, &QCheckBox::toggled, this, [this] { markModified(); });
  }
  auto* numbers = new QFormLayout();
  shortTon_ = new QComboBox(general);
  fillTon(shortTon_);
  longTon_ = new QComboBox(general);
  fillTon(longTon_);
  numbers->addRow(tr("Short number type:"), shortTon_);
  numbers->addRow(tr("Long number type:"), longTon_);
  boxes->addLayout(numbers);
  httpDoor_ = new QLabel(general);
  httpDoor_->setWordWrap(true);
  httpDoor_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  boxes->addWidget(httpDoor_);
  boxes->addStretch();
  layout->addWidget(general);

  auto* files = new QGroupBox(tr("Log and files"), this);
  auto* form = new QFormLayout(files);
  logLevel_ = new QComboBox(files);
  fillChoices(logLevel_, {{0, qsId(40108)}, {1, qsId(40109)}, {2, qsId(40110)}});
  auto* clearLog = new QPushButton(tr("Clear log"), files);
  auto* levelRow = new QHBoxLayout();
  levelRow->addWidget(logLevel_);
  levelRow->addWidget(clearLog);
  form->addRow(tr("Log level:"), levelRow);
  rotateLog_ = new QCheckBox(tr("Rotate log file"), files);
  form->addRow(rotateLog_);
  logSize_ = new QSpinBox(files);
  logSize_->setRange(1, std::numeric_limits<int>::max());
  form->addRow(tr("File size (kb):"), logSize_);
  statusFile_ = new QLineEdit(files);
  form->addRow(tr("Status file:"), statusFile_);
  statusTime_ = new QSpinBox(files);
  statusTime_->setRange(0, 86400);
  form->addRow(tr("Status file refresh time (sec):"), statusTime_);
  limitBoxes_ = new QCheckBox(tr("Limit boxes size"), files);
  form->addRow(limitBoxes_);
  boxSize_ = new QSpinBox(files);
  boxSize_->setRange(1, std::numeric_limits<int>::max());
  form->addRow(tr("Number of SMS:"), boxSize_);
  layout->addWidget(files);

  for (QComboBox* box : {shortTon_, longTon_, logLevel_}) {
    connect(box, &QComboBox::currentIndexChanged, this, [this] { markModified(); });
  }
  for (QCheckBox* box : {rotateLog_, limitBoxes_}) {
    connect(box, &QCheckBox::toggled, this, [this] { markModified(); });
  }
  for (QSpinBox* box : {logSize_, statusTime_, boxSize_}) {
    connect(box, &QSpinBox::valueChanged, this, [this] { markModified(); });
  }
  connect(statusFile_, &QLineEdit::textEdited, this, [this] { markModified(); });
  connect(rotateLog_, &QCheckBox::toggled, logSize_, &QSpinBox::setEnabled);
  connect(limitBoxes_, &QCheckBox::toggled, boxSize_, &QSpinBox::setEnabled);
  connect(clearLog, &QPushButton::clicked, this, [] {
    if (Logger* logger = Logger::global()) logger->clear();
  });
  load();
}

void AppControlDlg::showHttpDoor() {
  if (!parts_.hooks.httpDoor) {
    httpDoor_->setText(tr("HTTP door: off"));
    return;
  }
  const HttpDoorShown door = parts_.hooks.httpDoor();
  if (!door.listening) {
    httpDoor_->setText(tr("HTTP door: on, not listening (the log says why)"));
  } else {
    httpDoor_->setText(tr("HTTP door: listening on %1 (%2)")
                           .arg(QString::fromStdString(door.address),
                                door.tls ? QStringLiteral("HTTPS") : QStringLiteral("HTTP")));
  }
}

QCheckBox* AppControlDlg::checkBox(const char* key) const {
  for (const auto& [name, box] : checks_) {
    if (std::string_view(name) == key) return box;
  }
  return nullptr;
}

void AppControlDlg::load() {
  const SettingsStore& s = parts_.settings;
  for (const auto& [key, box] : checks_) {
    const QSignalBlocker blocker(box);
    box->setChecked(s.getInt(key) != 0);
  }
  const QSignalBlocker b1(shortTon_), b2(longTon_), b3(logLevel_), b4(rotateLog_), b5(logSize_),
      b6(statusFile_), b7(statusTime_), b8(limitBoxes_), b9(boxSize_);
  selectChoice(shortTon_, s.getInt("auto_ton.short"));
  selectChoice(longTon_, s.getInt("auto_ton.long"));
  selectChoice(logLevel_, s.getInt("logger.level"));
  const int logSize = s.getInt("logger.maxsize");
  rotateLog_->setChecked(logSize > 0);
  logSize_->setValue(logSize > 0 ? logSize : 1024);
  logSize_->setEnabled(logSize > 0);
  statusFile_->setText(QString::fromStdU16String(s.getString("status.file")));
  statusTime_->setValue(s.getInt("status.time"));
  int limit = 0;
  for (const char* key : kLimitKeys) limit = std::max(limit, s.getInt(key));
  limitBoxes_->setChecked(limit > 0);
  boxSize_->setValue(limit > 0 ? limit : 1000);
  boxSize_->setEnabled(limit > 0);
  showHttpDoor();
  markSaved();
}

void AppControlDlg::save() {
  SettingsStore& s = parts_.settings;
  for (const auto& [key, box] : checks_) s.setInt(key, box->isChecked() ? 1 : 0);
  if (parts_.hooks.setAutostart) parts_.hooks.setAutostart(checkBox("autostart")->isChecked());
  s.setInt("auto_ton.short", choiceValue(shortTon_));
  s.setInt("auto_ton.long", choiceValue(longTon_));
  TonAutoRule::load(s);
  s.setInt("logger.level", choiceValue(logLevel_));
  if (Logger* logger = Logger::global()) logger->applyConfiguredLevel(choiceValue(logLevel_));
  // The running log keeps its size limit until the next start.
  s.setInt("logger.maxsize", rotateLog_->isChecked() ? logSize_->value() : 0);
  s.setString("status.file", statusFile_->text().toStdU16String());
  if (statusTime_->value() != s.getInt("status.time")) {
    s.setInt("status.time", statusTime_->value());
    if (parts_.service != nullptr) parts_.service->scheduler().setStatusTime(statusTime_->value());
  }
  for (const char* key : kLimitKeys)
    s.setInt(key, limitBoxes_->isChecked() ? boxSize_->value() : 0);
  markSaved();
}

}  // namespace parlane
