#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace parlane {

// Names of the files that travel between the shared pool folder and the instances' spools.
//
// A file taken from the pool is renamed into the instance's spool as "pool.<token>.<name>": the
// messages it brings carry that name (their "custom" column), which tells the return that they
// came from the pool, and the token makes it unique, so that a crash between queueing them and
// removing the file can be told by a look into the folders. A message that goes back is written
// as ".return.<instance>.<record id>.<name>" (hidden from every taker) until its record has left
// the outbox, then renamed to "<name>".
namespace pool {

inline constexpr std::string_view kTakenPrefix = "pool.";
inline constexpr std::string_view kReturnPrefix = ".return.";

// "pool.<token>.<name>" with a fresh token.
std::string takenName(std::string_view name);
// Whether the messages of a spool file (or a record's "custom") came from the pool.
bool isTaken(std::string_view name);
// The pool name a taken file had: "<name>" of "pool.<token>.<name>".
std::string originalName(std::string_view takenName);

// The hidden file a message goes back as, and what it is once its record has left the outbox.
std::string returnName(int instance, std::u16string_view recordId, std::string_view name);
struct ReturnParts {
  int instance = 0;
  std::u16string recordId;
  std::string name;
};
std::optional<ReturnParts> parseReturnName(std::string_view fileName);

}  // namespace pool
}  // namespace parlane
