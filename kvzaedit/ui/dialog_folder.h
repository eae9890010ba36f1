// The folder a file dialog opens in. A program run from its own writable
// folder opens its dialogs where it always did (the program's folder, or the
// folder of the file last opened or saved). An installed copy never shows
// its private folder: the folder of the current document, else the user's
// pictures folder, else the home folder.
#pragma once

#include <QString>

namespace kvzaedit {

// document: the current document's file (empty: none); usual: the folder
// the dialog would open in otherwise. The pictures folder comes from
// QStandardPaths and is taken only when it exists.
QString DialogStartFolder(bool installed, const QString &document, const QString &usual);

}  // namespace kvzaedit
