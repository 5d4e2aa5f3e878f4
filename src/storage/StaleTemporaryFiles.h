#pragma once

#include <string>

namespace parlane {

// Removes what a rewrite of `path` killed half-way left behind (the temporary files of an atomic
// write, "<path>" + kTemporaryFileMark + six characters), so repeated crashes don't fill the disk
// with copies of a large folder. Nothing else is touched. Returns how many were removed.
int removeStaleTemporaryFiles(const std::string& path);

}  // namespace parlane
