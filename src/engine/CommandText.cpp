#include "engine/CommandText.h"

namespace parlane {

namespace {

constexpr char kCtrlZ = 0x1A;
constexpr char kEscape = 0x1B;

std::string without(std::string_view text, std::string_view dropped) {
  std::string kept;
  kept.reserve(text.size());
  for (char c : text) {
    if (dropped.find(c) == std::string_view::npos) kept.push_back(c);
  }
  return kept;
}

}  // namespace

std::string quotableArgument(std::string_view text) {
  static constexpr char kDropped[] = {'"', '\r', '\n', kCtrlZ, kEscape};
  return without(text, std::string_view(kDropped, sizeof kDropped));
}

std::string safeBody(std::string_view text) {
  static constexpr char kDropped[] = {kCtrlZ, kEscape};
  return without(text, std::string_view(kDropped, sizeof kDropped));
}

std::string textModeBody(std::string_view text) {
  const std::string safe = safeBody(text);
  std::string body;
  body.reserve(safe.size());
  for (std::size_t i = 0; i < safe.size(); ++i) {
    if (safe[i] != '\r') {
      body.push_back(safe[i]);
    } else if (i + 1 == safe.size() || safe[i + 1] != '\n') {
      body.push_back('\n');
    }
  }
  return body;
}

}  // namespace parlane
