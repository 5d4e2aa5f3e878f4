#pragma once

#include <string>

namespace parlane {

// The folder file name of instance N > 0: the first ".txt" becomes ".N.txt" unless the name
// already holds ".N.txt"; a name without ".txt" gets ".N" at its end, so that two instances never
// share a file. Instance 0 keeps the name.
std::u16string instanceFileName(const std::u16string& fileName, int instance);

}  // namespace parlane
