#pragma once

#include <QUrl>

namespace parlane {

class DialogHost;

// The file:// URL of a help topic: the help folder in the working directory, beside the program
// (the build tree), in the data folder next to the program's prefix, or in the data folder it was
// built for. Empty when no help is found.
QUrl helpUrl(int context);

// Opens the topic in the default browser; false (and a log line) when there is no help or no
// browser.
bool openHelp(int context, DialogHost& host);

}  // namespace parlane
