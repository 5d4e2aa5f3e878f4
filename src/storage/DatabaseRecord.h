#pragma once

#include <string>
#include <vector>

namespace parlane {

// One row of a database: one text per column, in column order.
using DatabaseRecord = std::vector<std::u16string>;

}  // namespace parlane
