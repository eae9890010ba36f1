// kvzaedit: the editor's program. Opens the file named by the first argument;
// --help and --version print and end before any window (or display) is used.
#include <QApplication>
#include <QFileInfo>
#include <cstdio>
#include <cstring>

#include "F_main.h"
#include "kvza_version.h"

namespace {

constexpr char kHelp[] =
    "Usage: kvzaedit [FILE]\n"
    "A raster-image editor for images with an alpha channel.\n"
    "Opens FILE (BMP, ICO, TGA, PNG, JPEG, or what a reader plug-in takes), or\n"
    "starts with an empty window, or with an image sent on standard input.\n"
    "\n"
    "  -h, --help     print this help and exit\n"
    "      --version  print the version and exit\n"
    "\n"
    "Settings are kept in KVZAEDIT.INI beside the program; an installed copy\n"
    "keeps them per user in $XDG_CONFIG_HOME/kvzaedit/ (~/.config/kvzaedit/).\n";

// What the command line asks for besides the editor itself.
enum class Request { Run, Help, Version };

Request ReadRequest(int argc, char **argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0)
            return Request::Help;
        if (std::strcmp(argv[i], "--version") == 0) return Request::Version;
    }
    return Request::Run;
}

}  // namespace

int main(int argc, char **argv) {
    switch (ReadRequest(argc, argv)) {
        case Request::Help:
            std::fputs(kHelp, stdout);
            return 0;
        case Request::Version:
            std::printf("kvzaedit %s\n", KVZA_VERSION);
            return 0;
        case Request::Run:
            break;
    }
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
