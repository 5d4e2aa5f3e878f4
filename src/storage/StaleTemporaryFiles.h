#pragma once

#include <string>

namespace parlane {

// Removes what a rewrite of `path` killed half-way left behind (the "<path>.tmp.XXXXXX" files
// of an atomic write), so repeated crashes don't fill the disk with copies of a large folder.
// Returns how many were removed.
int RemoveStaleTemporaryFiles(const std::string& path);

}  // namespace parlane
