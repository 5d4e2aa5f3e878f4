#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "service/ServiceWindow.h"
#include "storage/DatabaseRecord.h"
#include "storage/FolderSchema.h"

namespace parlane {

class GenericMessage;

// What the control panel asks of the world around it. Start-up sets them once, where it puts the
// gateway and the main window together (windowControlHooks, then its own); the panel fills in
// nothing. `ask`, `tell` and `exportFileName` are always set; the buttons that need another one
// that is empty are disabled. Tests answer the questions and record the rest.
// The HTTP door as the Application page shows it.
struct HttpDoorShown {
  bool listening = false;
  std::string address;  // host:port, once listening
  bool tls = false;
};

struct ControlHooks {
  // A Yes/No question; true for "Yes".
  std::function<bool(const QString& caption, const QString& text)> ask;
  // A notice for the user.
  std::function<void(const QString& caption, const QString& text)> tell;
  // The file a folder is exported into; empty when the user cancelled.
  std::function<QString(const QString& suggestedName)> exportFileName;
  // A menu command for the main window (32769 "Connect", 32773 "Disconnect").
  std::function<void(int command)> postCommand;
  // Saves the configuration (registry, else the user's file).
  std::function<void()> saveConfiguration;
  // Sets or removes the autostart entry.
  std::function<void(bool on)> setAutostart;
  // Opens the log in the viewer ("Port log", "View log").
  std::function<void()> viewLog;
  // The port wizard ("Connection wizard...").
  std::function<void()> connectionWizard;
  // Opens the help, at a topic when the number is not 0.
  std::function<void(int context)> openHelp;
  // Shows a message of a folder ("Open").
  std::function<void(StoreKind folder, const DatabaseRecord& record)> openMessage;
  // The send dialog addressed to a number ("Reply").
  std::function<void(const std::u16string& number)> reply;
  // Queues a message as the send dialogs do ("Resend"); false when it was refused.
  std::function<bool(std::unique_ptr<GenericMessage> message)> queueMessage;
  // Lists the modem memory of that type; false when it can't start now.
  std::function<bool(const std::u16string& memory)> readMemory;
  // The messages the last memory listing found so far.
  std::function<std::vector<FoundMessage>()> takeMemoryMessages;
  // Deletes messages from the modem memory by their indexes, or everything.
  std::function<void(const std::vector<int>& indexes)> deleteFromMemory;
  std::function<void()> flushMemory;
  // Where the HTTP door listens; unset: it was not built ("http.enabled" is not 1).
  std::function<HttpDoorShown()> httpDoor;
};

}  // namespace parlane
