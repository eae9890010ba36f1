// kvzaedit: the editor's program. Opens the file named by the first argument.
#include <QApplication>
#include <QFileInfo>

#include "F_main.h"

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    kvzaedit::RegisterFontSubstitutes();
    // The file argument is taken relative to the folder the program was
    // started in, before the program's own folder becomes current.
    QString open_name;
    const QStringList args = QCoreApplication::arguments();
    if (args.size() > 1 && !args.at(1).isEmpty())
        open_name = QFileInfo(args.at(1)).absoluteFilePath();
    kvzaedit::EnterProgramFolder();
    kvzaedit::TMainF window(open_name);
    window.show();
    app.exec();
    return 0;
}
