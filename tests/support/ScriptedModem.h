#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/TempDir.h"

namespace parlane::test {

// A modem at the far end of a real pseudo-terminal. It reads what the channel writes, splits it
// into commands (at CR, or after Ctrl-Z for a message body) and answers from a script. It can
// echo, answer one byte per read, stay silent, send anything at any time, and be unplugged (its
// side closed, as a pulled USB cable does) and plugged back under the same path.
class ScriptedModem {
 public:
  ScriptedModem();
  ~ScriptedModem();
  ScriptedModem(const ScriptedModem&) = delete;
  ScriptedModem& operator=(const ScriptedModem&) = delete;

  // The port path the channel opens: a link that always names the current pseudo-terminal.
  const std::string& portPath() const { return link_; }
  // The device itself (/dev/pts/N).
  std::string devicePath() const;

  // Answers a command whose text (without CR, LF and Ctrl-Z) equals `command`.
  void on(const std::string& command, const std::string& reply);
  // ... or begins with `prefix`. Rules are tried in the order given.
  void onPrefix(const std::string& prefix, const std::string& reply);
  // Computes the answer; return false when the rule does not apply.
  void onCommand(std::function<bool(const std::string& command, std::string& reply)> rule);
  void setEcho(bool echo);
  // Every byte of an answer in its own write, each read by the channel before the next.
  void setSplitBytes(bool split);
  // Commands are read but never answered.
  void setSilent(bool silent);

  // Writes bytes at once (unsolicited lines, garbage).
  void send(const std::string& bytes);
  // Writes bytes after `delayMs` of real time, as a slow network answers (whole-program runs,
  // which have no clock of their own to move); unit tests answer with send() when they choose.
  void sendAfter(int delayMs, const std::string& bytes);
  // Text mode as real modems do it: after "AT+CMGS=\"" or "AT+CMGW=\"" everything up to Ctrl-Z
  // is the body (one command, CRs kept), and each CR in it opens a new "> " prompt.
  void setBodyPrompts(bool prompts);
  // Writes bytes and waits until the channel has read them all.
  void sendAndWaitRead(const std::string& bytes);
  // Waits until the channel has read everything written to it.
  bool waitUntilRead(int limitMs = 5000) const;

  // Everything the channel wrote so far, and the commands taken from it.
  std::string received() const;
  std::vector<std::string> commands() const;
  // Waits until `count` commands have come (true) or the limit passed (false).
  bool waitForCommands(std::size_t count, int limitMs = 5000) const;

  // Closes the modem's side: the channel's port hangs up.
  void unplug();
  // A new pseudo-terminal under the same port path.
  void plugBack();

 private:
  void plug();
  void run();
  void handleInput(const char* data, std::size_t size);
  void answer(const std::string& command);
  void writeAll(const std::string& bytes);
  void stopThread();

  TempDir dir_;
  std::string link_;
  int master_ = -1;
  int slave_ = -1;  // kept open so that the device lives while the channel closes and re-opens
  int wakeFd_ = -1;
  std::thread thread_;
  bool stop_ = false;

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::mutex writeMutex_;
  std::string pending_;
  std::string received_;
  std::vector<std::string> commands_;
  std::vector<std::function<bool(const std::string&, std::string&)>> rules_;
  bool echo_ = false;
  bool split_ = false;
  bool silent_ = false;
  bool bodyPrompts_ = false;
  bool inBody_ = false;
  // How far the open body has been looked at, so that no CR in it is answered twice.
  std::size_t bodyScanned_ = 0;
  std::mutex delayedMutex_;
  std::vector<std::thread> delayed_;
};

}  // namespace parlane::test
