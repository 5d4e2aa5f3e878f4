#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QWizardPage>
#include <atomic>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "engine/ModemPortInfo.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace parlane {

class PortDetector;

// The wizard's second page: the modems the system knows, "Test..." to keep those that answer, and
// a port typed in by hand. Probing runs on a thread of its own, so the window stays responsive;
// the page waits for it (cut short) when it closes.
class PortSelectPage : public QWizardPage {
  Q_OBJECT
 public:
  explicit PortSelectPage(const PortDetector& detector, QWidget* parent = nullptr);
  ~PortSelectPage() override;

  void initializePage() override;
  void cleanupPage() override;
  bool isComplete() const override;

  // The port chosen now: the port box's text when manual (an entry without line settings), else
  // the selected modem; none when there is no port name.
  std::optional<ModemPortInfo> selectedEntry() const;
  const std::vector<ModemPortInfo>& modems() const { return modems_; }
  bool testing() const { return probe_ != nullptr; }

  // The controls, for tests.
  QListWidget* modemList() const { return list_; }
  QPushButton* testButton() const { return test_; }
  QCheckBox* manualBox() const { return manual_; }
  QComboBox* portBox() const { return port_; }
  // The warning box shown last, while it is open.
  QMessageBox* warningBox() const;

 signals:
  // "Test..." has ended and the list shows what answered.
  void testFinished();
  void warningShown(const QString& text);

 private:
  struct Probe;

  void startTest();
  void finishTest(unsigned run, std::vector<ModemPortInfo> responding);
  void stopTest();
  void fillList();
  void updateControls();
  void warnNoModems();

  const PortDetector& detector_;
  std::vector<ModemPortInfo> modems_;
  std::unique_ptr<Probe> probe_;
  unsigned runs_ = 0;
  QListWidget* list_ = nullptr;
  QLabel* listLabel_ = nullptr;
  QLabel* testLabel_ = nullptr;
  QPushButton* test_ = nullptr;
  QCheckBox* manual_ = nullptr;
  QLabel* portLabel_ = nullptr;
  QComboBox* port_ = nullptr;
  QPointer<QMessageBox> warning_;
};

}  // namespace parlane
