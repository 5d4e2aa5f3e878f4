#include "ui/dialogs/control/PropertiesControlDlg.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/settings/SettingsStore.h"
#include "core/util/StringTable.h"
#include "engine/ModemInitializer.h"
#include "service/CServiceThread.h"

namespace parlane {

namespace {

QString qsId(int id) { return QString::fromStdU16String(loadString(id)); }

// A feature line: the names of the bits found, "(failed)" when its probe failed, "(none)".
QString featureText(const ModemProperties& p, std::uint32_t probe,
                    std::initializer_list<std::pair<std::uint32_t, QString>> bits) {
  if (!p.known) return qsId(40054);
  if ((p.failedChecks & probe) != 0) return qsId(40066);
  QStringList found;
  for (const auto& [bit, name] : bits) {
    if ((p.features & bit) != 0) found.append(name);
  }
  return found.isEmpty() ? qsId(40067) : found.join(QStringLiteral(", "));
}

}  // namespace

PropertiesControlDlg::PropertiesControlDlg(ControlParts& parts, QWidget* parent)
    : ControlPage(parts, parent) {
  auto* layout = new QHBoxLayout(this);
  auto* modem = new QGroupBox(tr("Modem properties"), this);
  auto* form = new QFormLayout(modem);
  for (const QString& label :
       {tr("Device model:"), tr("Signal strength:"), tr("SMS support:"), tr("SMS modes:"),
        tr("Received SMS:"), tr("Error reporting:"), tr("Deleting:"), tr("USSD support:")}) {
    auto* value = new QLabel(modem);
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lines_.push_back(value);
    form->addRow(label, value);
  }
  auto* buttons = new QHBoxLayout();
  auto* update = new QPushButton(tr("Update"), modem);
  auto* viewLog = new QPushButton(tr("View log"), modem);
  buttons->addWidget(update);
  buttons->addWidget(viewLog);
  form->addRow(buttons);
  layout->addWidget(modem);

  auto* features = new QGroupBox(tr("Features"), this);
  auto* column = new QVBoxLayout(features);
  useFeatures_ = new QCheckBox(tr("Auto-detect optimal sending mode"), features);
  column->addWidget(useFeatures_);
  const std::pair<std::uint32_t, QString> probes[] = {
      {0x1, tr("Check SMS support (AT+CSMS)")},
      {0x2, tr("Check text and PDU modes (AT+CMGF)")},
      {0x4, tr("Check new SMS notification (AT+CNMI)")},
      {0x8, tr("Check error reporting (AT+CMEE)")},
      {0x10, tr("Check deleting (AT+CMGD)")},
      {0x20, tr("Read the device model (AT+CGMM)")},
      {0x40, tr("Read the signal strength (AT+CSQ)")},
      {0x100, tr("Check USSD support (AT+CUSD)")},
  };
  for (const auto& [bit, label] : probes) {
    auto* box = new QCheckBox(label, features);
    checks_.emplace_back(bit, box);
    column->addWidget(box);
    connect(box, &QCheckBox::toggled, this, [this] { markModified(); });
  }
  column->addStretch();
  layout->addWidget(features);

  connect(useFeatures_, &QCheckBox::toggled, this, [this] { markModified(); });
  connect(update, &QPushButton::clicked, this, &PropertiesControlDlg::refresh);
  viewLog->setEnabled(static_cast<bool>(parts_.hooks.viewLog));
  connect(viewLog, &QPushButton::clicked, this, [this] { parts_.hooks.viewLog(); });
  load();
}

QString PropertiesControlDlg::line(int index) const {
  if (index < 0 || index >= static_cast<int>(lines_.size())) return {};
  return lines_[static_cast<std::size_t>(index)]->text();
}

QCheckBox* PropertiesControlDlg::check(std::uint32_t bit) const {
  for (const auto& [b, box] : checks_) {
    if (b == bit) return box;
  }
  return nullptr;
}

void PropertiesControlDlg::load() {
  const SettingsStore& s = parts_.settings;
  const auto checks = static_cast<std::uint32_t>(s.getInt("modem.checks"));
  {
    const QSignalBlocker blocker(useFeatures_);
    useFeatures_->setChecked(s.getInt("modem.use_features") != 0);
  }
  for (const auto& [bit, box] : checks_) {
    const QSignalBlocker blocker(box);
    box->setChecked((checks & bit) != 0);
  }
  refresh();
  markSaved();
}

void PropertiesControlDlg::save() {
  SettingsStore& s = parts_.settings;
  // Bits without a switch here (the storage query, later ones) stay as they were.
  auto checks = static_cast<std::uint32_t>(s.getInt("modem.checks"));
  for (const auto& [bit, box] : checks_) {
    checks = box->isChecked() ? (checks | bit) : (checks & ~bit);
  }
  if (checks != static_cast<std::uint32_t>(s.getInt("modem.checks"))) {
    s.setInt("modem.checks", static_cast<int>(checks));
  }
  const int use = useFeatures_->isChecked() ? 1 : 0;
  if (use != (s.getInt("modem.use_features") != 0 ? 1 : 0)) s.setInt("modem.use_features", use);
  markSaved();
}

void PropertiesControlDlg::refresh() {
  ModemProperties properties;
  if (CServiceThread* service = parts_.service) {
    // What the initializer found holds still from the end of its series to the next connection.
    ModemInitializer& found = service->initializer();
    if (service->state().connectionState() == ConnectionState::Connected && found.isFinished()) {
      properties.known = true;
      properties.model = found.model();
      properties.signalPercent = found.signalPercent();
      properties.features = found.features();
      properties.failedChecks = found.failedChecks();
    }
  }
  showProperties(properties);
}

void PropertiesControlDlg::showProperties(const ModemProperties& p) {
  QString model = qsId(40054);
  QString signal = qsId(40054);
  if (p.known) {
    model = (p.failedChecks & 0x20) != 0 ? qsId(40066)
            : p.model.empty()            ? qsId(40067)
                                         : QString::fromStdU16String(p.model);
    signal =
        (p.failedChecks & 0x40) != 0 ? qsId(40066) : QStringLiteral("%1%").arg(p.signalPercent);
  }
  const QString texts[] = {
      model,
      signal,
      featureText(p, 0x1, {{0x1, qsId(40057)}, {0x2, qsId(40058)}}),
      featureText(p, 0x2, {{0x8, qsId(40055)}, {0x4, qsId(40056)}}),
      featureText(p, 0x4, {{0x20, tr("store")}, {0x40, tr("output")}}),
      featureText(p, 0x8, {{0x100, tr("numeric")}, {0x200, tr("text")}}),
      featureText(p, 0x10, {{0x400, tr("by index")}, {0x800, tr("all")}}),
      featureText(p, 0x100, {{0x1000, tr("result codes off")}, {0x2000, tr("result codes on")}}),
  };
  for (std::size_t i = 0; i < lines_.size(); ++i) lines_[i]->setText(texts[i]);
}

}  // namespace parlane
