#pragma once

#include <QIcon>

class QWidget;

namespace parlane {

// The icons of the address book buttons, from the icon theme: "add to the address book" (a new
// contact) and "choose from the address book". On a desktop whose theme has none of them, an
// installed theme that has them is used; the style's icons only as a last resort.
QIcon addContactIcon(const QWidget& widget);
QIcon addressBookIcon(const QWidget& widget);

}  // namespace parlane
