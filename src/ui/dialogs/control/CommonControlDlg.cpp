#include "ui/dialogs/control/CommonControlDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <limits>

#include "core/settings/SettingsStore.h"
#include "core/util/StringTable.h"
#include "service/CServiceThread.h"
#include "service/ServiceScheduler.h"
#include "service/ServiceWindow.h"
#include "transport/AsyncSerialComm.h"
#include "ui/dialogs/control/ChoiceBox.h"

namespace parlane {

namespace {

QString qs(const std::u16string& text) { return QString::fromStdU16String(text); }
QString qsId(int id) { return qs(loadString(id)); }

QSpinBox* numberBox(QWidget* parent, int maximum = std::numeric_limits<int>::max()) {
  auto* box = new QSpinBox(parent);
  box->setRange(0, maximum);
  return box;
}

QComboBox* editableBox(QWidget* parent) {
  auto* box = new QComboBox(parent);
  box->setEditable(true);
  box->setInsertPolicy(QComboBox::NoInsert);
  return box;
}

// The entries of a numbered family ("port.%d.name") up to the first empty one.
QStringList family(const SettingsStore& settings, const char* pattern) {
  QStringList entries;
  for (int i = 0;; ++i) {
    const std::u16string value = settings.getStringByPattern(pattern, i);
    if (value.empty()) break;
    entries.append(qs(value));
  }
  return entries;
}

}  // namespace

CommonControlDlg::CommonControlDlg(ControlParts& parts, QWidget* parent)
    : ControlPage(parts, parent) {
  auto* layout = new QHBoxLayout(this);

  auto* communication = new QGroupBox(tr("Communication settings"), this);
  auto* left = new QFormLayout(communication);
  port_ = editableBox(communication);
  left->addRow(tr("Port:"), port_);
  advanced_ = new QGroupBox(tr("Advanced port settings"), communication);
  auto* line = new QFormLayout(advanced_);
  portDefaults_ = new QCheckBox(tr("Use the port's default settings"), advanced_);
  line->addRow(portDefaults_);
  byteSize_ = numberBox(advanced_, 8);
  byteSize_->setMinimum(5);
  line->addRow(tr("Data bits:"), byteSize_);
  parity_ = new QComboBox(advanced_);
  fillChoices(
      parity_,
      {{0, tr("None")}, {1, tr("Odd")}, {2, tr("Even")}, {3, tr("Mark")}, {4, tr("Space")}});
  line->addRow(tr("Parity:"), parity_);
  parityCheck_ = new QCheckBox(tr("Check parity"), advanced_);
  line->addRow(parityCheck_);
  stopBits_ = new QComboBox(advanced_);
  fillChoices(stopBits_,
              {{0, QStringLiteral("1")}, {1, QStringLiteral("1.5")}, {2, QStringLiteral("2")}});
  line->addRow(tr("Stop bits:"), stopBits_);
  left->addRow(advanced_);
  baudRate_ = editableBox(communication);
  for (int rate : {9600, 19200, 38400, 57600, 115200, 230400, 460800, 921600}) {
    baudRate_->addItem(QString::number(rate));
  }
  left->addRow(tr("Baud rate:"), baudRate_);
  timeout_ = numberBox(communication, 3600);
  left->addRow(tr("Port timeout (sec):"), timeout_);
  usePin_ = new QCheckBox(tr("Use PIN code"), communication);
  pin_ = new QLineEdit(communication);
  pin_->setEchoMode(QLineEdit::Password);
  left->addRow(usePin_, pin_);
  customInit_ = new QPlainTextEdit(communication);
  customInit_->setLineWrapMode(QPlainTextEdit::NoWrap);
  customInit_->setMaximumHeight(80);
  left->addRow(tr("Custom initialization:"), customInit_);
  useFeatures_ = new QCheckBox(tr("Select optimal settings automatically"), communication);
  left->addRow(useFeatures_);
  auto* buttons = new QHBoxLayout();
  connect_ = new QPushButton(qsId(40021), communication);
  auto* portLog = new QPushButton(tr("Port log"), communication);
  auto* wizard = new QPushButton(tr("Connection wizard..."), communication);
  buttons->addWidget(connect_);
  buttons->addWidget(portLog);
  buttons->addWidget(wizard);
  left->addRow(buttons);
  layout->addWidget(communication);

  auto* sms = new QGroupBox(tr("SMS settings"), this);
  auto* right = new QFormLayout(sms);
  sendMode_ = new QComboBox(sms);
  fillChoices(sendMode_, {{0, qsId(40055)}, {1, qsId(40056)}, {2, tr("Leave the modem's mode")}});
  right->addRow(tr("Sending mode:"), sendMode_);
  useMemory_ = new QCheckBox(tr("Send SMS through device memory"), sms);
  right->addRow(useMemory_);
  readMode_ = new QComboBox(sms);
  fillChoices(readMode_, {{0, tr("Notify (index)")},
                          {1, tr("Notify (content)")},
                          {2, tr("Polling")},
                          {3, tr("Ignore")}});
  right->addRow(tr("Receiving mode:"), readMode_);
  deleteMode_ = new QComboBox(sms);
  fillChoices(deleteMode_,
              {{0, tr("Never")}, {1, tr("After reading")}, {2, tr("All, after a number of SMS")}});
  right->addRow(tr("Delete incoming SMS:"), deleteMode_);
  pollingMemory_ = editableBox(sms);
  pollingMemory_->addItems({QStringLiteral("SM"), QStringLiteral("ME"), QStringLiteral("MT"),
                            QStringLiteral("SR"), QStringLiteral("BM")});
  right->addRow(tr("Polling memory type:"), pollingMemory_);
  pollingTime_ = numberBox(sms, 86400);
  right->addRow(tr("Polling time (sec):"), pollingTime_);
  deleteAfter_ = numberBox(sms, 1000000);
  right->addRow(tr("Delete all SMS after:"), deleteAfter_);
  ussdDecode_ = new QComboBox(sms);
  fillChoices(ussdDecode_, {{0, qsId(40253)},
                            {1, qsId(40254)},
                            {2, qsId(40255)},
                            {3, qsId(40256)},
                            {4, qsId(40257)},
                            {5, tr("Packed 7-bit request")}});
  right->addRow(tr("Decode USSD replies:"), ussdDecode_);
  delay_ = numberBox(sms, 3600000);
  right->addRow(tr("Pause between SMS (msec):"), delay_);
  smsc_ = editableBox(sms);
  right->addRow(tr("SMSC number:"), smsc_);
  layout->addWidget(sms);

  for (QCheckBox* box : {portDefaults_, parityCheck_, usePin_, useFeatures_, useMemory_}) {
    connect(box, &QCheckBox::toggled, this, [this] { markModified(); });
  }
  for (QComboBox* box : {parity_, stopBits_, sendMode_, readMode_, deleteMode_, ussdDecode_}) {
    connect(box, &QComboBox::currentIndexChanged, this, [this] { markModified(); });
  }
  for (QComboBox* box : {port_, baudRate_, pollingMemory_, smsc_}) {
    connect(box, &QComboBox::editTextChanged, this, [this] { markModified(); });
    connect(box, &QComboBox::currentIndexChanged, this, [this] { markModified(); });
  }
  for (QSpinBox* box : {byteSize_, timeout_, pollingTime_, deleteAfter_, delay_}) {
    connect(box, &QSpinBox::valueChanged, this, [this] { markModified(); });
  }
  connect(pin_, &QLineEdit::textEdited, this, [this] { markModified(); });
  connect(customInit_, &QPlainTextEdit::textChanged, this, [this] { markModified(); });
  connect(usePin_, &QCheckBox::toggled, pin_, &QLineEdit::setEnabled);
  connect(portDefaults_, &QCheckBox::toggled, this, [this](bool defaults) {
    for (QWidget* w : std::initializer_list<QWidget*>{byteSize_, parity_, parityCheck_, stopBits_})
      w->setEnabled(!defaults);
  });

  connect(connect_, &QPushButton::clicked, this, [this] {
    const ChannelStatus status = parts_.channel.getStatus();
    const bool closed = status == ChannelStatus::Closed || status == ChannelStatus::Error;
    if (parts_.hooks.postCommand) {
      parts_.hooks.postCommand(closed ? ServiceWindow::kCommandConnect
                                      : ServiceWindow::kCommandDisconnect);
    }
  });
  portLog->setEnabled(static_cast<bool>(parts_.hooks.viewLog));
  connect(portLog, &QPushButton::clicked, this, [this] { parts_.hooks.viewLog(); });
  wizard->setEnabled(static_cast<bool>(parts_.hooks.connectionWizard));
  connect(wizard, &QPushButton::clicked, this, [this] {
    const auto line = [this] {
      std::u16string keys;
      for (const char* key : {"modem.port", "modem.default", "modem.baudrate", "modem.parity",
                              "modem.bytesize", "modem.stopbits", "modem.fparity"}) {
        keys += parts_.settings.getString(key) + u'\n';
      }
      return keys;
    };
    const std::u16string before = line();
    parts_.hooks.connectionWizard();
    // The wizard writes the port and its line: show what it chose.
    if (!isModified()) load();
    // Like a port typed here, the chosen one takes effect only on a new connection.
    const ChannelStatus status = parts_.channel.getStatus();
    const bool connected = status == ChannelStatus::Idle || status == ChannelStatus::Configuring ||
                           status == ChannelStatus::Busy;
    if (line() != before && connected && parts_.hooks.postCommand && parts_.hooks.ask &&
        parts_.hooks.ask(qsId(40097), qsId(40096))) {
      parts_.hooks.postCommand(ServiceWindow::kCommandDisconnect);
      parts_.hooks.postCommand(ServiceWindow::kCommandConnect);
    }
  });

  auto flag = [](QCheckBox* box) {
    return [box] { return QString(box->isChecked() ? "1" : "0"); };
  };
  auto number = [](QSpinBox* box) { return [box] { return QString::number(box->value()); }; };
  auto choice = [](QComboBox* box) { return [box] { return QString::number(choiceValue(box)); }; };
  auto text = [](QComboBox* box) { return [box] { return box->currentText().trimmed(); }; };
  fields_ = {
      {"modem.port", text(port_)},
      {"modem.default", flag(portDefaults_)},
      {"modem.bytesize", number(byteSize_)},
      {"modem.parity", choice(parity_)},
      {"modem.fparity", flag(parityCheck_)},
      {"modem.stopbits", choice(stopBits_)},
      {"modem.baudrate", text(baudRate_)},
      {"sender.timeout", [this] { return QString::number(timeoutMs()); }},
      {"sender.send_mode", choice(sendMode_)},
      {"sender.use_memory", flag(useMemory_)},
      {"sender.read_mode", choice(readMode_)},
      {"sender.delete_mode", choice(deleteMode_)},
      {"receiver.polling_memory", text(pollingMemory_)},
      {"receiver.polling_time", number(pollingTime_)},
      {"sender.delete_after", number(deleteAfter_)},
      {"ussd.decode", choice(ussdDecode_)},
      {"sender.delay", number(delay_)},
      {"smsc.address", text(smsc_)},
      {"modem.use_pin", flag(usePin_)},
      {"modem.pin", [this] { return pin_->text(); }},
      {"modem.custom_init",
       [this] {
         QStringList lines;
         for (const std::u16string& line : customLines()) lines.append(qs(line));
         return lines.join(u'\n');
       }},
      {"modem.use_features", flag(useFeatures_)},
  };
  load();
}

void CommonControlDlg::refresh() {
  const ChannelStatus status = parts_.channel.getStatus();
  const bool closed = status == ChannelStatus::Closed || status == ChannelStatus::Error;
  connect_->setText(qsId(closed ? 40021 : 40022));
  connect_->setEnabled(static_cast<bool>(parts_.hooks.postCommand));
}

void CommonControlDlg::load() {
  const SettingsStore& s = parts_.settings;
  const QSignalBlocker blockers[] = {
      QSignalBlocker(port_),          QSignalBlocker(portDefaults_), QSignalBlocker(byteSize_),
      QSignalBlocker(parity_),        QSignalBlocker(parityCheck_),  QSignalBlocker(stopBits_),
      QSignalBlocker(baudRate_),      QSignalBlocker(timeout_),      QSignalBlocker(sendMode_),
      QSignalBlocker(useMemory_),     QSignalBlocker(readMode_),     QSignalBlocker(deleteMode_),
      QSignalBlocker(pollingMemory_), QSignalBlocker(pollingTime_),  QSignalBlocker(deleteAfter_),
      QSignalBlocker(ussdDecode_),    QSignalBlocker(delay_),        QSignalBlocker(smsc_),
      QSignalBlocker(usePin_),        QSignalBlocker(pin_),          QSignalBlocker(customInit_),
      QSignalBlocker(useFeatures_)};
  port_->clear();
  port_->addItems(family(s, "port.%d.name"));
  port_->setEditText(qs(s.getString("modem.port")));
  portDefaults_->setChecked(s.getInt("modem.default") != 0);
  byteSize_->setValue(s.getInt("modem.bytesize"));
  selectChoice(parity_, s.getInt("modem.parity"));
  parityCheck_->setChecked(s.getInt("modem.fparity") != 0);
  selectChoice(stopBits_, s.getInt("modem.stopbits"));
  baudRate_->setEditText(QString::number(s.getInt("modem.baudrate")));
  loadedTimeoutMs_ = s.getInt("sender.timeout");
  timeout_->setValue(loadedTimeoutMs_ / 1000);
  selectChoice(sendMode_, s.getInt("sender.send_mode"));
  useMemory_->setChecked(s.getInt("sender.use_memory") != 0);
  selectChoice(readMode_, s.getInt("sender.read_mode"));
  selectChoice(deleteMode_, s.getInt("sender.delete_mode"));
  pollingMemory_->setEditText(qs(s.getString("receiver.polling_memory")));
  pollingTime_->setValue(s.getInt("receiver.polling_time"));
  deleteAfter_->setValue(s.getInt("sender.delete_after"));
  selectChoice(ussdDecode_, s.getInt("ussd.decode"));
  delay_->setValue(s.getInt("sender.delay"));
  smsc_->clear();
  smsc_->addItems(family(s, "smsc.%d"));
  smsc_->setEditText(qs(s.getString("smsc.address")));
  usePin_->setChecked(s.getInt("modem.use_pin") != 0);
  pin_->setText(qs(s.getString("modem.pin")));
  pin_->setEnabled(usePin_->isChecked());
  QStringList lines = family(s, "modem.custom_init.%d");
  customInit_->setPlainText(lines.join(u'\n'));
  useFeatures_->setChecked(s.getInt("modem.use_features") != 0);
  for (QWidget* w : std::initializer_list<QWidget*>{byteSize_, parity_, parityCheck_, stopBits_})
    w->setEnabled(!portDefaults_->isChecked());
  refresh();
  loaded_.clear();
  for (const Field& field : fields_) loaded_[field.key] = field.value();
  markSaved();
}

int CommonControlDlg::timeoutMs() const {
  // The seconds shown are the stored milliseconds cut down: unchanged seconds keep them exactly.
  if (timeout_->value() == loadedTimeoutMs_ / 1000) return loadedTimeoutMs_;
  return timeout_->value() * 1000;
}

std::vector<std::u16string> CommonControlDlg::customLines() const {
  std::vector<std::u16string> lines;
  for (const QString& line : customInit_->toPlainText().split(u'\n')) {
    const QString command = line.trimmed();
    // An empty line would end the list for the modem: it is left out.
    if (!command.isEmpty()) lines.push_back(command.toStdU16String());
  }
  return lines;
}

bool CommonControlDlg::changed(const Field& field) const {
  const auto found = loaded_.find(field.key);
  return found == loaded_.end() || found->second != field.value();
}

bool CommonControlDlg::needsReconnection() const {
  static constexpr std::string_view kConnectionKeys[] = {
      "modem.port",       "modem.default",      "modem.baudrate", "sender.send_mode",
      "sender.read_mode", "sender.delete_mode", "sender.timeout", "smsc.address",
      "modem.pin",        "modem.use_pin"};
  const SettingsStore& s = parts_.settings;
  for (const Field& field : fields_) {
    if (std::find(std::begin(kConnectionKeys), std::end(kConnectionKeys), field.key) ==
        std::end(kConnectionKeys)) {
      continue;
    }
    if (!changed(field)) continue;
    const QString value = field.value();
    const bool differs = field.key == std::string_view("modem.port") ||
                                 field.key == std::string_view("smsc.address") ||
                                 field.key == std::string_view("modem.pin")
                             ? value.toStdU16String() != s.getString(field.key)
                             : value.toInt() != s.getInt(field.key);
    if (differs) return true;
  }
  return false;
}

void CommonControlDlg::storePort(const QString& port) {
  SettingsStore& s = parts_.settings;
  s.setString("modem.port", port.toStdU16String());
  if (port.isEmpty()) return;
  // The port joins the recent ones and becomes the chosen entry.
  const QStringList known = family(s, "port.%d.name");
  int at = static_cast<int>(known.indexOf(port));
  if (at < 0) {
    at = static_cast<int>(known.size());
    s.setStringByPattern("port.%d.name", at, port.toStdU16String());
  }
  s.setInt("port.cur", at);
}

void CommonControlDlg::storeCustomLines() {
  SettingsStore& s = parts_.settings;
  const std::vector<std::u16string> lines = customLines();
  const int stored = static_cast<int>(family(s, "modem.custom_init.%d").size());
  for (int i = 0; i < static_cast<int>(lines.size()); ++i) {
    s.setStringByPattern("modem.custom_init.%d", i, lines[static_cast<std::size_t>(i)]);
  }
  // The list ends at its first empty entry; the old ones past the new end are emptied too.
  for (int i = static_cast<int>(lines.size()); i <= stored; ++i) {
    s.setStringByPattern("modem.custom_init.%d", i, u"");
  }
}

void CommonControlDlg::save() {
  SettingsStore& s = parts_.settings;
  for (const Field& field : fields_) {
    if (!changed(field)) continue;
    const QString value = field.value();
    const std::string_view key = field.key;
    if (key == "modem.port") {
      storePort(value);
    } else if (key == "modem.custom_init") {
      storeCustomLines();
    } else if (key == "receiver.polling_memory" || key == "smsc.address" || key == "modem.pin") {
      s.setString(field.key, value.toStdU16String());
    } else if (key == "modem.baudrate") {
      // A rate that is no number is not stored.
      bool ok = false;
      const int rate = value.toInt(&ok);
      if (ok && rate > 0) s.setInt(field.key, rate);
    } else {
      s.setInt(field.key, value.toInt());
      if (key == "sender.timeout") parts_.channel.setReplyTimeout(value.toInt());
      if (key == "receiver.polling_time" && parts_.service != nullptr) {
        parts_.service->scheduler().setPollingTime(value.toInt());
      }
    }
  }
  loadedTimeoutMs_ = timeoutMs();
  for (const Field& field : fields_) loaded_[field.key] = field.value();
  markSaved();
}

}  // namespace parlane
