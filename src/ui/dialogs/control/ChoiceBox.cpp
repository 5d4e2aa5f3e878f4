#include "ui/dialogs/control/ChoiceBox.h"

namespace parlane {

void fillChoices(QComboBox* box, std::initializer_list<std::pair<int, QString>> choices) {
  box->clear();
  for (const auto& [value, label] : choices) box->addItem(label, value);
}

void selectChoice(QComboBox* box, int value) {
  int at = box->findData(value);
  if (at < 0) {
    box->addItem(QString::number(value), value);
    at = box->count() - 1;
  }
  box->setCurrentIndex(at);
}

int choiceValue(const QComboBox* box) { return box->currentData().toInt(); }

}  // namespace parlane
