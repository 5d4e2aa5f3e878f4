#pragma once

#include <array>
#include <cstddef>
#include <ctime>
#include <string>

#include "transport/ChannelStatus.h"

namespace parlane {

// Everything the main screen shows, gathered by the main window.
struct MainScreenView {
  std::u16string title;
  ChannelStatus status = ChannelStatus::Closed;
  bool portSet = false;
  std::u16string model;
  int signalPercent = -1;  // -1: not known
  // Records in inbox, outbox, sent, failed.
  std::array<std::size_t, 4> folderCounts{};
  int receivedCount = 0;
  std::u16string lastFrom;
  std::time_t lastTime = 0;
  std::u16string lastText;
};

}  // namespace parlane
