#include "ui/dialogs/control/FolderControlDlg.h"

#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/log/Logger.h"
#include "core/settings/SettingsStore.h"
#include "core/util/ErrorText.h"
#include "core/util/StringTable.h"
#include "message/GenericMessage.h"
#include "message/MessageFlags.h"
#include "storage/FileDatabase.h"
#include "storage/MessageRecords.h"
#include "storage/MessageStores.h"
#include "ui/dialogs/common/OutgoingMessages.h"
#include "ui/dialogs/control/FolderExport.h"
#include "ui/dialogs/control/FolderModel.h"

namespace parlane {

namespace {

QString qs(const std::u16string& text) { return QString::fromStdU16String(text); }

constexpr int kWatchMs = 1000;

QString buttonLabel(FolderControlDlg::Button button) {
  switch (button) {
    case FolderControlDlg::Open:
      return QStringLiteral("Open");
    case FolderControlDlg::Reply:
      return QStringLiteral("Reply");
    case FolderControlDlg::Handle:
      return QStringLiteral("Handle");
    case FolderControlDlg::Resend:
      return QStringLiteral("Resend");
    case FolderControlDlg::Delete:
      return QStringLiteral("Delete");
    case FolderControlDlg::Flush:
      return QStringLiteral("Flush");
    case FolderControlDlg::Export:
      return QStringLiteral("Export...");
  }
  return {};
}

}  // namespace

FolderControlDlg::FolderControlDlg(ControlParts& parts, StoreKind folder,
                                   std::vector<Button> buttons, QWidget* parent)
    : ControlPage(parts, parent), folder_(folder), database_(parts.stores.store(folder)) {
  auto* layout = new QVBoxLayout(this);
  model_ = new FolderModel(database_, folder_, this);
  view_ = new QTableView(this);
  view_->setModel(model_);
  view_->setSelectionBehavior(QAbstractItemView::SelectRows);
  view_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view_->setWordWrap(false);
  view_->setAlternatingRowColors(true);
  // Every row has the same height and no header cell of its own: the view never measures rows,
  // however many the folder has.
  view_->verticalHeader()->hide();
  view_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  view_->verticalHeader()->setDefaultSectionSize(view_->fontMetrics().height() + 6);
  view_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  view_->horizontalHeader()->setStretchLastSection(true);
  view_->setColumnWidth(0, 130);
  view_->setColumnWidth(1, 130);
  view_->setColumnWidth(2, 300);
  layout->addWidget(view_);

  auto* row = new QHBoxLayout();
  for (Button which : buttons) {
    auto* button = new QPushButton(buttonLabel(which), this);
    buttons_.emplace_back(which, button);
    row->addWidget(button);
    connect(button, &QPushButton::clicked, this, [this, which] {
      switch (which) {
        case Open:
          openSelected();
          break;
        case Reply:
          replySelected();
          break;
        case Handle:
          handleSelected();
          break;
        case Resend:
          resendSelected();
          break;
        case Delete:
          deleteSelected();
          break;
        case Flush:
          flush();
          break;
        case Export:
          exportFolder();
          break;
      }
    });
  }
  row->addStretch();
  layout->addLayout(row);

  connect(view_, &QAbstractItemView::doubleClicked, this, [this] { openSelected(); });
  connect(view_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &FolderControlDlg::updateButtons);
  connect(model_, &QAbstractItemModel::rowsRemoved, this, &FolderControlDlg::updateButtons);
  connect(model_, &QAbstractItemModel::modelReset, this, &FolderControlDlg::updateButtons);
  watch_.setInterval(kWatchMs);
  connect(&watch_, &QTimer::timeout, this, &FolderControlDlg::refresh);
  updateButtons();
}

QPushButton* FolderControlDlg::button(Button which) const {
  for (const auto& [id, button] : buttons_) {
    if (id == which) return button;
  }
  return nullptr;
}

void FolderControlDlg::showEvent(QShowEvent* event) {
  refresh();
  watch_.start();
  ControlPage::showEvent(event);
}

void FolderControlDlg::hideEvent(QHideEvent* event) {
  watch_.stop();
  ControlPage::hideEvent(event);
}

void FolderControlDlg::refresh() { model_->refresh(); }

void FolderControlDlg::updateButtons() {
  const bool selected = view_->selectionModel()->hasSelection();
  const ControlHooks& hooks = parts_.hooks;
  for (const auto& [which, button] : buttons_) {
    switch (which) {
      case Open:
        button->setEnabled(selected && static_cast<bool>(hooks.openMessage));
        break;
      case Reply: {
        DatabaseRecord record;
        const int from = columnIndex(folder_, u"from");
        std::u16string sender;
        const std::vector<std::u16string> keys =
            selected ? selectedKeys() : std::vector<std::u16string>{};
        if (!keys.empty() && from >= 0 && database_.get(keys.front(), record) &&
            static_cast<std::size_t>(from) < record.size()) {
          sender = record[static_cast<std::size_t>(from)];
        }
        const bool replyable = isReplyable(sender);
        button->setEnabled(selected && replyable && static_cast<bool>(hooks.reply));
        button->setToolTip(selected && !replyable && !sender.empty()
                               ? QString::fromStdU16String(noReplyReason(sender))
                               : QString());
        break;
      }
      case Resend:
        button->setEnabled(selected && static_cast<bool>(hooks.queueMessage));
        break;
      case Handle:
      case Delete:
        button->setEnabled(selected);
        break;
      case Flush:
      case Export:
        button->setEnabled(true);
        break;
    }
  }
}

std::vector<std::u16string> FolderControlDlg::selectedKeys() const {
  std::vector<std::u16string> keys;
  for (const QModelIndex& index : view_->selectionModel()->selectedRows()) {
    std::u16string key = model_->keyAt(index.row());
    if (!key.empty()) keys.push_back(std::move(key));
  }
  std::sort(keys.begin(), keys.end());
  return keys;
}

void FolderControlDlg::selectKeys(const std::vector<std::u16string>& keys) {
  QItemSelection selection;
  for (const std::u16string& key : keys) {
    const int row = model_->rowOf(key);
    if (row >= 0) selection.select(model_->index(row, 0), model_->index(row, 0));
  }
  view_->selectionModel()->select(selection,
                                  QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

bool FolderControlDlg::firstSelected(DatabaseRecord& record) {
  const std::vector<std::u16string> keys = selectedKeys();
  if (keys.empty()) return false;
  if (database_.get(keys.front(), record)) return true;
  // Moved or removed by the service meanwhile.
  parts_.hooks.tell(qs(loadString(text::kError)), qs(formatString(40077, {keys.front()})));
  refresh();
  return false;
}

void FolderControlDlg::saveFolder() {
  if (database_.save() != 0) {
    Logger::log(3, u"Can't save the folder " + storeName(folder_) + u": " + errorText(errno));
  }
  refresh();
}

void FolderControlDlg::openSelected() {
  DatabaseRecord record;
  if (!parts_.hooks.openMessage || !firstSelected(record)) return;
  parts_.hooks.openMessage(folder_, record);
}

void FolderControlDlg::replySelected() {
  DatabaseRecord record;
  if (!parts_.hooks.reply || !firstSelected(record)) return;
  const int from = columnIndex(folder_, u"from");
  if (from < 0) return;
  parts_.hooks.reply(record[static_cast<std::size_t>(from)]);
}

void FolderControlDlg::handleSelected() {
  const int handled = columnIndex(folder_, u"handled");
  if (handled < 0) return;
  bool changed = false;
  for (const std::u16string& key : selectedKeys()) {
    DatabaseRecord record;
    if (!database_.get(key, record)) continue;
    if (record[static_cast<std::size_t>(handled)] == u"1") continue;
    record[static_cast<std::size_t>(handled)] = u"1";
    database_.put(record);
    changed = true;
  }
  if (changed) saveFolder();
}

void FolderControlDlg::resendSelected() {
  if (!parts_.hooks.queueMessage) return;
  bool changed = false;
  for (const std::u16string& key : selectedKeys()) {
    DatabaseRecord record;
    if (!database_.get(key, record)) {
      parts_.hooks.tell(qs(loadString(text::kError)), qs(formatString(40077, {key})));
      continue;
    }
    std::unique_ptr<GenericMessage> message = messageFromRecord(record, folder_);
    if (!message) continue;
    // A fresh start: no delivery marks, no attempts used.
    message->flags &= ~(messageFlags::kDelivered | messageFlags::kNotDelivered);
    message->attempts = 0;
    // Out of this folder only once the outbox holds it.
    if (!parts_.hooks.queueMessage(std::move(message))) continue;
    database_.remove(key);
    changed = true;
  }
  if (changed) saveFolder();
}

void FolderControlDlg::deleteSelected() {
  const std::vector<std::u16string> keys = selectedKeys();
  if (keys.empty()) return;
  if (!parts_.hooks.ask(qs(loadString(40078)), qs(loadString(40079)))) return;
  for (const std::u16string& key : keys) database_.remove(key);
  saveFolder();
}

void FolderControlDlg::flush() {
  if (!parts_.hooks.ask(qs(loadString(40078)), qs(loadString(40080)))) return;
  database_.clear();
  saveFolder();
}

void FolderControlDlg::exportFolder() {
  const QString name = QDir::home().filePath(qs(storeName(folder_)) + QStringLiteral(".txt"));
  const QString path = parts_.hooks.exportFileName(name);
  if (path.isEmpty()) return;
  const int codePage = parts_.settings.getInt("export.encoding");
  if (!parlane::exportFolder(database_, folder_, path.toStdString(),
                             static_cast<std::uint32_t>(codePage))) {
    const std::u16string why = errorText(errno);
    Logger::log(3, u"Can't export the folder to " + path.toStdU16String() + u": " + why);
    parts_.hooks.tell(qs(loadString(text::kError)),
                      qs(formatString(text::kErrorOpeningFile, {path.toStdU16String(), why})));
  }
}

}  // namespace parlane
