#include "dialog_folder.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace kvzaedit {

QString DialogStartFolder(bool installed, const QString &document, const QString &usual) {
    if (!installed) return usual;
    if (!document.isEmpty()) {
        const QFileInfo file(document);
        if (file.absoluteDir().exists()) return file.absolutePath();
    }
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (!pictures.isEmpty() && QFileInfo(pictures).isDir()) return pictures;
    return QDir::homePath();
}

}  // namespace kvzaedit
