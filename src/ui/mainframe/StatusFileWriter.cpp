#include "ui/mainframe/StatusFileWriter.h"

#include <cerrno>

#include "core/log/Logger.h"
#include "core/settings/SettingsStore.h"
#include "core/util/Environment.h"
#include "core/util/ErrorText.h"
#include "core/util/FileIo.h"
#include "core/util/StringTable.h"
#include "core/util/Utf.h"

namespace parlane {

namespace {

constexpr std::u16string_view kSharedName = u"zentrad.status";

}  // namespace

StatusFileWriter::StatusFileWriter(SettingsStore& settings, int instance, bool systemProfile,
                                   std::function<void()> pathChanged)
    : settings_(settings),
      instance_(instance),
      systemProfile_(systemProfile),
      pathChanged_(std::move(pathChanged)) {}

std::string StatusFileWriter::resolvePath() {
  std::u16string configured = settings_.getString("status.file");
  if (configured.empty()) return {};
  if (instance_ > 0 && configured.ends_with(kSharedName)) {
    configured.insert(configured.size() - std::u16string_view(u".status").size(),
                      u"." + fromAscii(std::to_string(instance_)));
    settings_.setString("status.file", configured);
    if (pathChanged_) pathChanged_();
  }
  return toUtf8(expandEnvironment(configured, systemProfile_));
}

bool StatusFileWriter::write(const StatusSnapshot& snapshot, const timespec& now) {
  std::lock_guard guard(mutex_);
  const std::string path = resolvePath();
  if (path.empty()) return false;
  if (writeFileAtomically(path, toUtf8(statusLine(snapshot, now)))) {
    failureLogged_ = false;
    return true;
  }
  const int error = errno;
  if (!failureLogged_) {
    failureLogged_ = true;
    Logger::log(
        2, formatText(u"Can't write the status file %s: %s", {fromUtf8(path), errorText(error)}));
  }
  return false;
}

}  // namespace parlane
