#include "ui/dialogs/addressbook/AddressBookDlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/dialogs/addressbook/AddressBookGroups.h"
#include "ui/dialogs/addressbook/AddressBookModel.h"
#include "ui/dialogs/common/DialogHost.h"
#include "ui/dialogs/common/HelpTopics.h"
#include "ui/dialogs/common/HelpViewer.h"

namespace parlane {

AddressBookDlg::AddressBookDlg(FileDatabase& book, const SettingsStore& settings, DialogHost& host,
                               QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(tr("Address book"));
  resize(520, 420);
  auto* layout = new QVBoxLayout(this);
  auto* groupRow = new QHBoxLayout();
  groups_ = new QComboBox(this);
  groups_->addItem(tr("All contacts"));
  for (const std::u16string& name : loadGroupNames(settings)) {
    groups_->addItem(QString::fromStdU16String(name));
  }
  groupRow->addWidget(new QLabel(tr("Group:"), this));
  groupRow->addWidget(groups_, 1);
  auto* all = new QPushButton(tr("Select all"), this);
  groupRow->addWidget(all);
  layout->addLayout(groupRow);

  model_ = new AddressBookModel(book, this);
  view_ = new QTableView(this);
  view_->setModel(model_);
  view_->setSelectionBehavior(QAbstractItemView::SelectRows);
  view_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view_->horizontalHeader()->setStretchLastSection(true);
  view_->verticalHeader()->hide();
  layout->addWidget(view_, 1);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  ok_ = buttons->button(QDialogButtonBox::Ok);
  ok_->setEnabled(false);
  layout->addWidget(buttons);

  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(groups_, &QComboBox::currentIndexChanged, this, &AddressBookDlg::groupChosen);
  connect(all, &QPushButton::clicked, view_, &QTableView::selectAll);
  connect(view_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this] { ok_->setEnabled(!selectedNumbers().empty()); });
  connect(view_, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
    view_->selectRow(index.row());
    accept();
  });
  auto* help = new QShortcut(QKeySequence::HelpContents, this);
  connect(help, &QShortcut::activated, this, [&host] { openHelp(helpContext::kSendSms, host); });
}

void AddressBookDlg::groupChosen() {
  const int index = groups_->currentIndex();
  model_->reload(index <= 0 ? std::u16string() : groups_->currentText().toStdU16String());
  ok_->setEnabled(false);
}

std::vector<std::u16string> AddressBookDlg::selectedNumbers() const {
  QModelIndexList rows = view_->selectionModel()->selectedRows();
  std::sort(rows.begin(), rows.end(),
            [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
  std::vector<std::u16string> numbers;
  for (const QModelIndex& row : rows) {
    std::u16string number = model_->numberAt(row.row());
    if (number.empty() || std::find(numbers.begin(), numbers.end(), number) != numbers.end()) {
      continue;
    }
    numbers.push_back(std::move(number));
  }
  return numbers;
}

}  // namespace parlane
