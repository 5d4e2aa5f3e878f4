#include "core/util/ThreadName.h"

#include <pthread.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace parlane {

void nameThread(std::thread& thread, const char* name) {
  if (!thread.joinable()) return;
  // The kernel keeps 15 bytes and the terminating zero; a longer name is refused whole.
  const std::string cut(name, std::min<std::size_t>(std::strlen(name), 15));
  ::pthread_setname_np(thread.native_handle(), cut.c_str());
}

}  // namespace parlane
