#include "ui/dialogs/control/MemoryControlDlg.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "core/settings/SettingsStore.h"
#include "core/util/StringTable.h"
#include "core/util/TimeFormat.h"
#include "message/GenericMessage.h"
#include "storage/MessageRecords.h"
#include "ui/dialogs/common/OutgoingMessages.h"

namespace parlane {

namespace {

QString qs(const std::u16string& text) { return QString::fromStdU16String(text); }
QString qsId(int id) { return qs(loadString(id)); }

constexpr int kCollectMs = 300;

}  // namespace

MemoryControlDlg::MemoryControlDlg(ControlParts& parts, QWidget* parent)
    : ControlPage(parts, parent) {
  auto* layout = new QVBoxLayout(this);
  auto* top = new QHBoxLayout();
  auto* form = new QFormLayout();
  memoryType_ = new QComboBox(this);
  memoryType_->setEditable(true);
  memoryType_->setInsertPolicy(QComboBox::NoInsert);
  memoryType_->addItems({QStringLiteral("SM"), QStringLiteral("ME"), QStringLiteral("MT"),
                         QStringLiteral("SR"), QStringLiteral("BM")});
  form->addRow(tr("Memory type:"), memoryType_);
  top->addLayout(form);
  auto* refresh = new QPushButton(tr("Refresh"), this);
  top->addWidget(refresh);
  top->addStretch();
  layout->addLayout(top);

  list_ = new QTreeWidget(this);
  list_->setRootIsDecorated(false);
  list_->setHeaderLabels({qsId(40073), qsId(40074), qsId(40075), QString()});
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  // Date, sender and the unread mark as wide as they need; the text takes the rest.
  QHeaderView* header = list_->header();
  header->setStretchLastSection(false);
  for (int column : {0, 1, kUnreadColumn}) {
    header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
  }
  header->setSectionResizeMode(2, QHeaderView::Stretch);
  layout->addWidget(list_);

  auto* buttons = new QHBoxLayout();
  auto* open = open_ = new QPushButton(tr("Open"), this);
  auto* reply = reply_ = new QPushButton(tr("Reply"), this);
  auto* remove = delete_ = new QPushButton(tr("Delete"), this);
  auto* flushAll = new QPushButton(tr("Flush"), this);
  for (QPushButton* b : {open, reply, remove, flushAll}) buttons->addWidget(b);
  buttons->addStretch();
  layout->addLayout(buttons);

  refresh->setEnabled(static_cast<bool>(parts_.hooks.readMemory));
  flushAll->setEnabled(static_cast<bool>(parts_.hooks.flushMemory));
  connect(refresh, &QPushButton::clicked, this, &MemoryControlDlg::readMemory);
  connect(open, &QPushButton::clicked, this, &MemoryControlDlg::openSelected);
  connect(list_, &QTreeWidget::itemDoubleClicked, this, &MemoryControlDlg::openSelected);
  connect(reply, &QPushButton::clicked, this, &MemoryControlDlg::replySelected);
  connect(remove, &QPushButton::clicked, this, &MemoryControlDlg::deleteSelected);
  connect(flushAll, &QPushButton::clicked, this, &MemoryControlDlg::flush);
  connect(list_, &QTreeWidget::itemSelectionChanged, this, &MemoryControlDlg::updateButtons);
  updateButtons();
  collector_.setInterval(kCollectMs);
  connect(&collector_, &QTimer::timeout, this, &MemoryControlDlg::collect);
  load();
}

MemoryControlDlg::~MemoryControlDlg() = default;

void MemoryControlDlg::load() {
  memoryType_->setEditText(qs(parts_.settings.getString("receiver.memory")));
}

void MemoryControlDlg::refresh() { collect(); }

void MemoryControlDlg::showEvent(QShowEvent* event) {
  collect();
  collector_.start();
  ControlPage::showEvent(event);
}

void MemoryControlDlg::hideEvent(QHideEvent* event) {
  collector_.stop();
  ControlPage::hideEvent(event);
}

void MemoryControlDlg::readMemory() {
  if (!parts_.hooks.readMemory) return;
  const std::u16string memory = memoryType_->currentText().trimmed().toStdU16String();
  if (!memory.empty()) parts_.settings.setString("receiver.memory", memory);
  list_->clear();
  messages_.clear();
  updateButtons();
  // What an earlier listing left behind belongs to that one.
  if (parts_.hooks.takeMemoryMessages) parts_.hooks.takeMemoryMessages();
  if (!parts_.hooks.readMemory(memory)) {
    parts_.hooks.tell(qsId(text::kError), qsId(40137));
  }
}

void MemoryControlDlg::collect() {
  if (!parts_.hooks.takeMemoryMessages) return;
  for (FoundMessage& found : parts_.hooks.takeMemoryMessages()) {
    std::unique_ptr<GenericMessage>& message = found.message;
    if (!message) continue;
    auto* item = new QTreeWidgetItem(list_);
    if (found.unread) {
      item->setText(kUnreadColumn, qsId(40113));
      QFont bold = item->font(0);
      bold.setBold(true);
      for (int column = 0; column <= kUnreadColumn; ++column) item->setFont(column, bold);
    }
    item->setText(0, qs(formatDisplayTime(static_cast<std::time_t>(message->timestamp))));
    item->setText(1, qs(message->source));
    QString content = qs(message->content);
    content.replace(u'\r', u' ').replace(u'\n', u' ');
    item->setText(2, content);
    item->setToolTip(2, qs(message->content));
    item->setData(0, Qt::UserRole, static_cast<int>(messages_.size()));
    messages_.push_back(std::move(message));
  }
}

const GenericMessage* MemoryControlDlg::selected() const {
  const QTreeWidgetItem* item = list_->currentItem();
  if (item == nullptr) return nullptr;
  const int at = item->data(0, Qt::UserRole).toInt();
  if (at < 0 || at >= static_cast<int>(messages_.size())) return nullptr;
  return messages_[static_cast<std::size_t>(at)].get();
}

void MemoryControlDlg::openSelected() {
  const GenericMessage* message = selected();
  if (message == nullptr || !parts_.hooks.openMessage) return;
  parts_.hooks.openMessage(StoreKind::Inbox, incomingRecord(*message, false, u""));
}

void MemoryControlDlg::replySelected() {
  const GenericMessage* message = selected();
  if (message == nullptr || !parts_.hooks.reply) return;
  parts_.hooks.reply(message->source);
}

void MemoryControlDlg::deleteSelected() {
  if (!parts_.hooks.deleteFromMemory) return;
  std::vector<int> indexes;
  std::vector<QTreeWidgetItem*> items;
  for (QTreeWidgetItem* item : list_->selectedItems()) {
    const int at = item->data(0, Qt::UserRole).toInt();
    if (at < 0 || at >= static_cast<int>(messages_.size())) continue;
    for (ModemSlot slot : messages_[static_cast<std::size_t>(at)]->memorySlots) {
      indexes.push_back(slot.index);
    }
    items.push_back(item);
  }
  if (items.empty()) return;
  if (!parts_.hooks.ask(qsId(40078), qsId(40079))) return;
  parts_.hooks.deleteFromMemory(indexes);
  qDeleteAll(items);
  updateButtons();
}

void MemoryControlDlg::updateButtons() {
  const bool selection = !list_->selectedItems().isEmpty();
  open_->setEnabled(selection && static_cast<bool>(parts_.hooks.openMessage));
  // The first selected row: the current one may still be the old one while the selection moves.
  const GenericMessage* message = nullptr;
  if (selection) {
    const int at = list_->selectedItems().front()->data(0, Qt::UserRole).toInt();
    if (at >= 0 && at < static_cast<int>(messages_.size())) {
      message = messages_[static_cast<std::size_t>(at)].get();
    }
  }
  const bool replyable = message != nullptr && isReplyable(message->source);
  reply_->setEnabled(replyable && static_cast<bool>(parts_.hooks.reply));
  reply_->setToolTip(message != nullptr && !replyable && !message->source.empty()
                         ? qs(noReplyReason(message->source))
                         : QString());
  delete_->setEnabled(selection && static_cast<bool>(parts_.hooks.deleteFromMemory));
}

void MemoryControlDlg::flush() {
  if (!parts_.hooks.flushMemory) return;
  if (!parts_.hooks.ask(qsId(40078), qsId(40080))) return;
  parts_.hooks.flushMemory();
  list_->clear();
  messages_.clear();
  updateButtons();
}

}  // namespace parlane
