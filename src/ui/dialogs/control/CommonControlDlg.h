#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ui/dialogs/control/ControlPage.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

namespace parlane {

// The "SMS" page: the port and its line, and how messages are sent, received and deleted.
class CommonControlDlg : public ControlPage {
  Q_OBJECT
 public:
  explicit CommonControlDlg(ControlParts& parts, QWidget* parent = nullptr);

  void load() override;
  void save() override;
  void refresh() override;

  // Whether a setting that only takes effect on the next connection differs from the store:
  // the port, its line, the modes, the time-out, the service centre and the PIN.
  bool needsReconnection() const;

  // "Select optimal settings automatically", kept in step with the properties page's switch.
  QCheckBox* useFeatures() const { return useFeatures_; }

  // The controls by their labels, for tests.
  QComboBox* port() const { return port_; }
  QSpinBox* delay() const { return delay_; }
  QSpinBox* timeout() const { return timeout_; }
  QComboBox* sendMode() const { return sendMode_; }
  QLineEdit* pin() const { return pin_; }
  QCheckBox* usePin() const { return usePin_; }
  QPlainTextEdit* customInit() const { return customInit_; }
  QPushButton* connectButton() const { return connect_; }

 private:
  // A setting of the page and its control's value as text. Only what the user changed since
  // the page was loaded is written, so that values the initialization wrote meanwhile
  // ("sender.send_mode", "sender.read_mode") are not put back to what the page once showed.
  struct Field {
    const char* key;
    std::function<QString()> value;
  };
  bool changed(const Field& field) const;
  int timeoutMs() const;
  std::vector<std::u16string> customLines() const;
  void storePort(const QString& port);
  void storeCustomLines();

  std::vector<Field> fields_;
  std::map<std::string, QString> loaded_;

  QComboBox* port_ = nullptr;
  QGroupBox* advanced_ = nullptr;
  QCheckBox* portDefaults_ = nullptr;
  QSpinBox* byteSize_ = nullptr;
  QComboBox* parity_ = nullptr;
  QCheckBox* parityCheck_ = nullptr;
  QComboBox* stopBits_ = nullptr;
  QComboBox* baudRate_ = nullptr;
  QSpinBox* timeout_ = nullptr;
  QComboBox* sendMode_ = nullptr;
  QCheckBox* useMemory_ = nullptr;
  QComboBox* readMode_ = nullptr;
  QComboBox* deleteMode_ = nullptr;
  QComboBox* pollingMemory_ = nullptr;
  QSpinBox* pollingTime_ = nullptr;
  QSpinBox* deleteAfter_ = nullptr;
  QComboBox* ussdDecode_ = nullptr;
  QSpinBox* delay_ = nullptr;
  QComboBox* smsc_ = nullptr;
  QCheckBox* usePin_ = nullptr;
  QLineEdit* pin_ = nullptr;
  QPlainTextEdit* customInit_ = nullptr;
  QCheckBox* useFeatures_ = nullptr;
  QPushButton* connect_ = nullptr;
  // "sender.timeout" as loaded (ms): kept when the seconds shown were not changed.
  int loadedTimeoutMs_ = 0;
};

}  // namespace parlane
