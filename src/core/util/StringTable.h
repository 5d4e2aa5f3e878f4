#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

namespace parlane {

// Numbered user and log texts: 40000..40299 for the interface and the log, 1000 + n for the
// +CME ERROR texts and 2000 + n for the +CMS ERROR texts.
namespace text {
constexpr int kWarning = 40000;
constexpr int kError = 40001;
constexpr int kFailedToInitialize = 40018;
constexpr int kErrorOpeningFile = 40072;
constexpr int kAppName = 40103;
constexpr int kStartBalloonText = 40124;
constexpr int kStartBalloonTitle = 40125;
constexpr int kErrorCreatingDirectory = 40157;
constexpr int kNationalFormatWarning = 40216;
}  // namespace text

// The text of entry `id`, or empty when the table has no such entry.
std::u16string loadString(int id);
bool hasString(int id);

using FormatArg = std::variant<int, std::u16string>;

// printf-style filling of "%s" and "%d" (with optional flags, width and precision, e.g. "%02d"),
// and "%%". A missing argument leaves the conversion empty; a wrong kind is converted.
std::u16string formatText(std::u16string_view format, std::initializer_list<FormatArg> args);
// loadString(id) filled with `args`.
std::u16string formatString(int id, std::initializer_list<FormatArg> args);

}  // namespace parlane
