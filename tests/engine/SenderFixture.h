#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "core/settings/SettingsStore.h"
#include "core/util/Clock.h"
#include "core/util/Utf.h"
#include "engine/EngineRecorder.h"
#include "engine/SmsSender.h"
#include "gsm/HexOctets.h"
#include "gsm/NationalLanguageList.h"
#include "gsm/PduEncoder.h"
#include "message/SMSMessage.h"
#include "support/ScriptedModem.h"
#include "transport/AsyncSerialComm.h"

namespace parlane::test {

// A sender on a real channel whose far end is a scripted modem on a pseudo-terminal.
class SenderFixture : public ::testing::Test {
 protected:
  explicit SenderFixture(const Clock& clock = Clock::system()) : clock_(clock) {}

  void SetUp() override {
    channel_ = std::make_unique<AsyncSerialComm>(settings_, clock_);
    channel_->startThread();
    ASSERT_TRUE(channel_->open(fromUtf8(modem_.portPath())));
    channel_->setStatus(ChannelStatus::Idle);
    sender_ = std::make_unique<SmsSender>(*channel_, settings_, clock_);
    sender_->setSink(&recorder_);
    sender_->setWindow(&recorder_);
    sender_->start();
  }

  void TearDown() override {
    sender_.reset();
    channel_.reset();
  }

  // The modem of a PDU-mode exchange: a prompt for every "AT+CMGS=" and "AT+CMGW=", and for
  // every body "+CMGS: n" (references from `reference` on) or "+CMGW: n" (storage indexes from
  // `storageIndex` on), as the command before it asked.
  void answerPduMode(int reference = 1, int storageIndex = 1) {
    auto next = std::make_shared<std::pair<int, int>>(reference, storageIndex);
    auto storing = std::make_shared<bool>(false);
    modem_.onCommand([next, storing](const std::string& command, std::string& reply) {
      if (command.rfind("AT+CMGS=", 0) == 0 || command.rfind("AT+CMGW=", 0) == 0) {
        *storing = command.rfind("AT+CMGW=", 0) == 0;
        reply = "\r\n> ";
        return true;
      }
      if (command.empty() || command[0] < '0' || command[0] > '9') return false;
      reply = *storing ? "\r\n+CMGW: " + std::to_string(next->second++) + "\r\n\r\nOK\r\n"
                       : "\r\n+CMGS: " + std::to_string(next->first++) + "\r\n\r\nOK\r\n";
      return true;
    });
  }

  // "AT+CMGS=<length>" and the hexadecimal body of every unit the encoder makes of `message`.
  std::vector<std::string> pduCommands(const SMSMessage& message,
                                       const std::string& command = "AT+CMGS=") {
    PduEncoderOptions options;
    options.lengthCorrection = settings_.getInt("sms.length_correction");
    options.smscInPdu = settings_.getInt("smsc_addr_in_pdu") == 1;
    options.smscAddress = settings_.getString("smsc.address");
    options.nationalLanguages =
        parseNationalLanguages(settings_.getString("sms.national_languages"));
    const PduEncoder encoder(std::move(options));
    std::vector<std::string> lines;
    for (const Octets& unit : encoder.encodeOutgoing(message)) {
      lines.push_back(command + std::to_string(unit.size() - encoder.smscFieldLength()));
      lines.push_back(octetsToHex(unit));
    }
    return lines;
  }

  // Every concatenated message draws its own reference: compare the units without it.
  static std::vector<std::string> withoutConcatReference(std::vector<std::string> lines) {
    for (std::string& line : lines) {
      const std::size_t element = line.find("050003");
      if (line.rfind("AT", 0) != 0 && element != std::string::npos) {
        line.replace(element + 6, 2, "..");
      }
    }
    return lines;
  }

  static std::unique_ptr<SMSMessage> shortMessage(std::u16string text = u"Hello") {
    return std::make_unique<SMSMessage>(u"", u"+491701234567", std::move(text));
  }

  // The commands the modem took, once there are `count` of them: the modem notes a command only
  // after it has answered it.
  std::vector<std::string> commands(std::size_t count) {
    EXPECT_TRUE(modem_.waitForCommands(count)) << count << " commands";
    return modem_.commands();
  }

  // The 1028 record of the `count`-th handled message.
  EngineRecorder::Record handled(std::size_t count = 1) {
    return recorder_.waitFor(notice::kHandled, count);
  }

  const Clock& clock_;
  ScriptedModem modem_;
  SettingsStore settings_;
  EngineRecorder recorder_;
  std::unique_ptr<AsyncSerialComm> channel_;
  std::unique_ptr<SmsSender> sender_;
};

}  // namespace parlane::test
