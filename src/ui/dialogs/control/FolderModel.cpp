#include "ui/dialogs/control/FolderModel.h"

#include <QTimer>
#include <algorithm>

#include "storage/ContentEscaping.h"
#include "storage/FileDatabase.h"

namespace parlane {

namespace {

// Records kept for drawing: several screens of rows. Past it the cache starts again.
constexpr std::size_t kCachedRecords = 512;
// More separate runs of change than this, and the view is simply told to start again.
constexpr std::size_t kMostRuns = 256;

}  // namespace

FolderModel::FolderModel(FileDatabase& database, StoreKind folder, QObject* parent)
    : QAbstractTableModel(parent),
      database_(database),
      folder_(folder),
      columns_(folderColumns(folder)) {
  revision_ = database_.revision();
  keys_ = database_.keys();
}

int FolderModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(keys_.size());
}

int FolderModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant FolderModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  if (section < 0 || section >= static_cast<int>(columns_.size())) return {};
  return columns_[static_cast<std::size_t>(section)].title;
}

std::u16string FolderModel::keyAt(int row) const {
  if (row < 0 || row >= static_cast<int>(keys_.size())) return {};
  return keys_[static_cast<std::size_t>(row)];
}

int FolderModel::rowOf(const std::u16string& key) const {
  const auto found = std::lower_bound(keys_.begin(), keys_.end(), key);
  if (found == keys_.end() || *found != key) return -1;
  return static_cast<int>(found - keys_.begin());
}

const DatabaseRecord* FolderModel::recordAt(int row) const {
  if (row < 0 || row >= static_cast<int>(keys_.size())) return nullptr;
  const std::u16string& key = keys_[static_cast<std::size_t>(row)];
  if (const auto found = cache_.find(key); found != cache_.end()) return &found->second;
  DatabaseRecord record;
  if (!database_.get(key, record)) {
    scheduleRefresh();
    return nullptr;
  }
  if (cache_.size() >= kCachedRecords) cache_.clear();
  return &cache_.emplace(key, std::move(record)).first->second;
}

QVariant FolderModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.column() >= static_cast<int>(columns_.size())) return {};
  if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
  const FolderColumn& column = columns_[static_cast<std::size_t>(index.column())];
  // The whole text of a message, line breaks included, as a tool tip.
  if (role == Qt::ToolTipRole && column.form != FolderColumn::Form::Content) return {};
  const DatabaseRecord* record = recordAt(index.row());
  if (record == nullptr || column.field < 0 ||
      static_cast<std::size_t>(column.field) >= record->size()) {
    return {};
  }
  const std::u16string& field = (*record)[static_cast<std::size_t>(column.field)];
  if (role == Qt::ToolTipRole) return QString::fromStdU16String(unescapeContent(field));
  return folderCellText(column, field);
}

void FolderModel::scheduleRefresh() const {
  if (refreshQueued_) return;
  refreshQueued_ = true;
  auto* self = const_cast<FolderModel*>(this);
  QTimer::singleShot(0, self, [self] {
    self->refreshQueued_ = false;
    self->refresh();
  });
}

bool FolderModel::refresh() {
  // Taken before the keys: a change in between is seen again on the next look, never lost.
  const std::uint64_t revision = database_.revision();
  if (revision == revision_) return false;
  revision_ = revision;
  applyKeys(database_.keys());
  return true;
}

void FolderModel::applyKeys(std::vector<std::u16string> keys) {
  // Records may have changed in place (handled, delivered): every row is read again.
  cache_.clear();
  // Both lists are in key order: one walk finds the rows that went and the ones that came.
  std::vector<std::pair<std::size_t, std::size_t>> removed;   // runs [first, last] in keys_
  std::vector<std::pair<std::size_t, std::size_t>> inserted;  // runs [first, last] in keys
  std::size_t i = 0;
  std::size_t j = 0;
  auto addRun = [](std::vector<std::pair<std::size_t, std::size_t>>& runs, std::size_t at) {
    if (!runs.empty() && runs.back().second + 1 == at) {
      runs.back().second = at;
    } else {
      runs.emplace_back(at, at);
    }
  };
  while (i < keys_.size() || j < keys.size()) {
    if (j == keys.size() || (i < keys_.size() && keys_[i] < keys[j])) {
      addRun(removed, i++);
    } else if (i == keys_.size() || keys[j] < keys_[i]) {
      addRun(inserted, j++);
    } else {
      ++i;
      ++j;
    }
  }
  if (removed.size() + inserted.size() > kMostRuns) {
    beginResetModel();
    keys_ = std::move(keys);
    endResetModel();
    return;
  }
  // Removals from the end, so that the earlier row numbers still hold; then insertions from
  // the start, each at its place in the new list.
  for (auto run = removed.rbegin(); run != removed.rend(); ++run) {
    beginRemoveRows({}, static_cast<int>(run->first), static_cast<int>(run->second));
    keys_.erase(keys_.begin() + static_cast<std::ptrdiff_t>(run->first),
                keys_.begin() + static_cast<std::ptrdiff_t>(run->second + 1));
    endRemoveRows();
  }
  for (const auto& run : inserted) {
    beginInsertRows({}, static_cast<int>(run.first), static_cast<int>(run.second));
    keys_.insert(keys_.begin() + static_cast<std::ptrdiff_t>(run.first),
                 keys.begin() + static_cast<std::ptrdiff_t>(run.first),
                 keys.begin() + static_cast<std::ptrdiff_t>(run.second + 1));
    endInsertRows();
  }
  if (!keys_.empty()) {
    emit dataChanged(index(0, 0), index(static_cast<int>(keys_.size()) - 1,
                                        static_cast<int>(columns_.size()) - 1));
  }
}

}  // namespace parlane
