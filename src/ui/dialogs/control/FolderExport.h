#pragma once

#include <cstdint>
#include <string>

#include "storage/FolderSchema.h"

namespace parlane {

class FileDatabase;

// Writes a folder as text: a line of column titles, then one line per record in key order, the
// fields of the folder's list joined by TAB, each line ending in CR LF, converted to the code page
// `codePage` ("export.encoding"). The file is replaced whole, readable by the user only. False
// (errno set) when it can't be written.
bool exportFolder(const FileDatabase& database, StoreKind folder, const std::string& path,
                  std::uint32_t codePage);

}  // namespace parlane
