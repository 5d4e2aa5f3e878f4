#pragma once

#include <QComboBox>
#include <QString>
#include <initializer_list>
#include <utility>

namespace parlane {

// Combo boxes of numbered choices for integer settings. A stored number that has no choice is
// shown as itself, so that saving the page leaves it as it was.
void fillChoices(QComboBox* box, std::initializer_list<std::pair<int, QString>> choices);
void selectChoice(QComboBox* box, int value);
int choiceValue(const QComboBox* box);

}  // namespace parlane
