// Reads arbitrary bytes as a file name found in the shared pool folder, as every instance does
// when it settles returns a crash cut short. No crash; a name it reads back is one it would write,
// and a taken name gives back the name it was taken under.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "service/PoolNames.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace parlane;
  const std::string_view name(reinterpret_cast<const char*>(data), size);
  if (const auto parts = pool::parseReturnName(name)) {
    check(!parts->recordId.empty() && !parts->name.empty());
    check(parts->recordId.find(u'.') == std::u16string::npos);
  }
  if (pool::isTaken(name)) check(!pool::originalName(name).empty());
  if (!name.empty() && name.size() <= 200) {
    check(pool::originalName(pool::takenName(name)) == name);
    check(pool::isTaken(pool::takenName(name)));
  }
  return 0;
}
