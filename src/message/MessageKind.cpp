#include "message/MessageKind.h"

#include <array>
#include <utility>

namespace parlane {

namespace {

constexpr std::array<std::pair<MessageKind, std::u16string_view>, 5> kNames = {{
    {MessageKind::AtCommand, u"at"},
    {MessageKind::Sms, u"sms"},
    {MessageKind::Push, u"push"},
    {MessageKind::Ussd, u"ussd"},
    {MessageKind::StatusReport, u"sr"},
}};

}  // namespace

std::u16string_view messageKindName(MessageKind kind) {
  for (const auto& [known, name] : kNames) {
    if (known == kind) return name;
  }
  return {};
}

std::optional<MessageKind> messageKindFromName(std::u16string_view name) {
  for (const auto& [kind, known] : kNames) {
    if (known == name) return kind;
  }
  return std::nullopt;
}

}  // namespace parlane
