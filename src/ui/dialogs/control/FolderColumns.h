#pragma once

#include <QString>
#include <vector>

#include "storage/FolderSchema.h"

namespace parlane {

// What a folder list shows in one column, read from one field of the record.
struct FolderColumn {
  enum class Form {
    Time,       // "timestamp": seconds since 1970, shown as a display time stamp
    Text,       // the field as it is
    Content,    // escaped message text, shown on one line
    YesNo,      // "1" is "yes", anything else "no"
    Delivered,  // "flags" with the delivered bit: "yes" or "no"
  };
  QString title;
  int field = 0;
  Form form = Form::Text;
};

// The columns of a folder's list: Date, Sender or Destination, Content, and by folder URL,
// Handled, Delivered.
std::vector<FolderColumn> folderColumns(StoreKind folder);

// The text of a record's field in the form of a column (export and the lists alike).
QString folderCellText(const FolderColumn& column, const std::u16string& field);

}  // namespace parlane
