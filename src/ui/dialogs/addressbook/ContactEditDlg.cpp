#include "ui/dialogs/addressbook/ContactEditDlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "core/log/Logger.h"
#include "core/util/StringTable.h"
#include "storage/FileDatabase.h"
#include "ui/dialogs/addressbook/AddressBookGroups.h"
#include "ui/dialogs/common/DialogHost.h"

namespace parlane {

namespace {

int columnOf(const FileDatabase& book, std::u16string_view name) {
  const auto& columns = book.columns();
  const auto found = std::find(columns.begin(), columns.end(), name);
  return found == columns.end() ? -1 : static_cast<int>(found - columns.begin());
}

std::u16string cellText(const QTableWidget& table, int row, int column) {
  const QTableWidgetItem* item = table.item(row, column);
  return item != nullptr ? item->text().trimmed().toStdU16String() : std::u16string();
}

}  // namespace

ContactEditDlg::ContactEditDlg(FileDatabase& book, SettingsStore& settings,
                               const std::vector<std::u16string>& numbers, DialogHost& host,
                               QWidget* parent)
    : QDialog(parent), book_(book), settings_(settings), host_(host) {
  setWindowTitle(tr("Add to the address book"));
  resize(480, 360);
  auto* layout = new QVBoxLayout(this);
  table_ = new QTableWidget(static_cast<int>(numbers.size()), 2, this);
  table_->setHorizontalHeaderLabels({tr("Name"), tr("Number")});
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->verticalHeader()->hide();
  for (int row = 0; row < table_->rowCount(); ++row) {
    const QString number = QString::fromStdU16String(numbers[static_cast<std::size_t>(row)]);
    table_->setItem(row, 0, new QTableWidgetItem(number));
    table_->setItem(row, 1, new QTableWidgetItem(number));
  }
  layout->addWidget(table_, 1);

  auto* form = new QFormLayout();
  group_ = new QComboBox(this);
  group_->setEditable(true);
  group_->addItem(QString());
  for (const std::u16string& name : loadGroupNames(settings_)) {
    group_->addItem(QString::fromStdU16String(name));
  }
  form->addRow(tr("Group:"), group_);
  layout->addLayout(form);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &ContactEditDlg::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}

void ContactEditDlg::accept() {
  const int nameColumn = columnOf(book_, u"name");
  const int numberColumn = columnOf(book_, u"number");
  const int groupColumn = columnOf(book_, u"group");
  if (nameColumn < 0 || numberColumn < 0) {
    host_.warning(this, QString::fromStdU16String(loadString(text::kWarning)),
                  tr("The address book has no name and number columns."));
    return;
  }
  const std::u16string group = group_->currentText().trimmed().toStdU16String();

  std::vector<DatabaseRecord> contacts;
  int existing = 0;
  for (int row = 0; row < table_->rowCount(); ++row) {
    const std::u16string number = cellText(*table_, row, 1);
    if (number.empty()) continue;
    std::u16string name = cellText(*table_, row, 0);
    if (name.empty()) name = number;
    DatabaseRecord record(book_.columns().size());
    record[static_cast<std::size_t>(nameColumn)] = name;
    record[static_cast<std::size_t>(numberColumn)] = number;
    if (groupColumn >= 0) record[static_cast<std::size_t>(groupColumn)] = group;
    DatabaseRecord old;
    if (book_.get(name, old)) ++existing;
    contacts.push_back(std::move(record));
  }
  // Contacts are known by name: saving over one replaces its number.
  const bool replace =
      existing == 0 ||
      host_.question(
          this, tr("Address book"),
          tr("%n contact(s) with these names exist already. Replace them?", "", existing));
  for (const DatabaseRecord& record : contacts) {
    DatabaseRecord old;
    if (!replace && book_.get(record[static_cast<std::size_t>(nameColumn)], old)) continue;
    book_.put(record);
  }
  if (book_.save() != 0) {
    Logger::log(3, std::string("Address book: can't save the file"));
    host_.warning(this, QString::fromStdU16String(loadString(text::kWarning)),
                  tr("The address book could not be saved."));
    return;
  }
  addGroupName(settings_, group);
  QDialog::accept();
}

}  // namespace parlane
