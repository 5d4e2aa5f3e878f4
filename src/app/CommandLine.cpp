#include "app/CommandLine.h"

#include <strings.h>

#include <cctype>

namespace parlane {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string trimPiece(std::string_view piece) {
  size_t begin = 0;
  size_t end = piece.size();
  while (begin < end && (isBlank(piece[begin]) || piece[begin] == '"')) ++begin;
  while (end > begin && (isBlank(piece[end - 1]) || piece[end - 1] == '"')) --end;
  return std::string(piece.substr(begin, end - begin));
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace

std::vector<std::string> splitCommandLine(std::string_view commandLine) {
  std::vector<std::string> pieces;
  bool quoted = false;
  size_t start = 0;
  for (size_t i = 0; i <= commandLine.size(); ++i) {
    if (i == commandLine.size() || (commandLine[i] == ' ' && !quoted)) {
      std::string piece = trimPiece(commandLine.substr(start, i - start));
      if (!piece.empty()) pieces.push_back(std::move(piece));
      start = i + 1;
    } else if (commandLine[i] == '"' && (i == 0 || commandLine[i - 1] != '\\')) {
      quoted = !quoted;
    }
  }
  return pieces;
}

std::string joinCommandLine(const std::vector<std::string>& arguments) {
  std::string line;
  for (const auto& argument : arguments) {
    if (!line.empty()) line += ' ';
    if (argument.find_first_of(" \t") != std::string::npos) {
      line += '"' + argument + '"';
    } else {
      line += argument;
    }
  }
  return line;
}

int parseInstanceNumber(std::string_view text) {
  long value = 0;
  size_t i = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > 9999) return 0;
  }
  return static_cast<int>(value);
}

StartupOptions parseSwitches(const std::vector<std::string>& pieces) {
  StartupOptions options;
  const auto fail = [&options](std::string message) {
    options.action = StartupOptions::Action::Run;
    options.error = std::move(message);
    return options;
  };
  for (size_t p = 1; p < pieces.size(); ++p) {
    std::string_view piece = pieces[p];
    size_t at = piece.find_first_of("-/");
    if (at != 0) return fail("Unexpected argument '" + std::string(piece) + "'");
    while (at != std::string_view::npos) {
      const std::string_view rest = piece.substr(at + 1);
      if (equalsIgnoringCase(rest, "RegServer") || equalsIgnoringCase(rest, "UnregServer")) {
        options.action = StartupOptions::Action::Exit;
        return options;
      }
      if (equalsIgnoringCase(rest, "init")) {
        options.action = StartupOptions::Action::Init;
        return options;
      }
      if (equalsIgnoringCase(rest, "viewauthor")) {
        options.action = StartupOptions::Action::ViewAuthor;
        return options;
      }
      if (equalsIgnoringCase(rest, "noicon")) {
        options.noIcon = true;
      } else if (equalsIgnoringCase(rest, "cfgservice")) {
        options.systemProfile = true;
      } else if (rest.starts_with("inst")) {
        std::string_view value = rest.substr(4);
        size_t digits = 0;
        while (digits < value.size() && std::isdigit(static_cast<unsigned char>(value[digits]))) {
          ++digits;
        }
        if (value.empty() && p + 1 < pieces.size()) {
          // "-inst 2": the number is the next piece.
          value = pieces[++p];
          piece = value;
          digits = value.size();
          at = value.size();
        } else {
          at += 5 + digits;
        }
        const std::string_view number = value.substr(0, digits);
        const bool valid = !number.empty() && number.size() <= 4 &&
                           number.find_first_not_of("0123456789") == std::string_view::npos &&
                           (digits == value.size() || value[digits] == '-' || value[digits] == '/');
        if (!valid) {
          return fail(value.empty()
                          ? std::string("The switch 'inst' needs an instance number (0 to 9999)")
                          : "Bad instance number '" + std::string(value) +
                                "' for the switch 'inst' (0 to 9999)");
        }
        options.instance = parseInstanceNumber(number);
        at = piece.find_first_of("-/", at);
        continue;
      } else {
        return fail("Unknown switch '" + std::string(piece.substr(at)) + "'");
      }
      at = piece.find_first_of("-/", at + 1);
    }
  }
  return options;
}

}  // namespace parlane
