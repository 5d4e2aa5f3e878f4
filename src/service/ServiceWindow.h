#pragma once

#include <ctime>
#include <memory>
#include <string>
#include <string_view>

namespace parlane {

class GenericMessage;

// What the window shows in its title and tray tool tip.
enum class ConnectionState : int {
  Disconnected = 0,  // 40019 "Parlane%s (disconnected)", also at creation
  Connecting = 1,    // 40042 "Parlane%s (connecting to %s...)"
  Connected = 2,     // 40026 "Parlane%s (connected to %s)"
  Error = 3,         // 40027 "Parlane%s (error)": port error, failed disconnect
};

// The last message stored in the inbox ("View last SMS", the main screen).
struct ReceivedMessageSummary {
  std::u16string from;
  std::u16string text;
  std::u16string url;
  std::time_t time = 0;
};

// The service threads' only way to the main window. The Qt main window implements it; service
// tests implement it with a recorder. Every operation may be called from any thread (the two
// service threads, the channel's reading thread); the window queues what needs its own thread.
class ServiceWindow {
 public:
  // Menu commands the service threads post.
  static constexpr int kCommandConnect = 32769;
  static constexpr int kCommandDisconnect = 32773;

  virtual ~ServiceWindow() = default;

  // Title and tray tool tip (the tip cut at 63 characters) for the state; `port` fills the
  // second "%s" of the connecting and connected texts.
  virtual void showConnectionState(ConnectionState state, std::u16string_view port) = 0;
  // A tray balloon; none with "disable_bubbles"; the log or a desktop notice without a tray.
  virtual void balloon(std::u16string_view title, std::u16string_view text) = 0;
  // Queues a menu command onto the window thread: Connect calls CServiceThread::requestConnect,
  // Disconnect CServiceThread::disconnect.
  virtual void postCommand(int commandId) = 0;
  // Scheduler action 7: rewrite the status file (scheduler thread).
  virtual void writeStatusFile() = 0;

  // A new message has been stored in the inbox (service thread).
  virtual void messageReceived(const ReceivedMessageSummary& /*message*/) {}
  // A message that a listing of the modem memory found outside the polling cycle, for the
  // control panel's memory page; `unread` when the listing named it unread. The window owns it.
  virtual void memoryMessageFound(std::unique_ptr<GenericMessage> /*message*/, bool /*unread*/) {}
};

// A message of a listing of the modem memory, on its way to the memory page.
struct FoundMessage {
  std::unique_ptr<GenericMessage> message;
  bool unread = false;
};

}  // namespace parlane
