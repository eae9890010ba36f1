// The folder the file dialogs open in: unchanged for a program run from its
// own folder; for an installed copy the document's folder, else the
// pictures folder, else home.
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include "dialog_folder.h"

using kvzaedit::DialogStartFolder;

class DialogFolderTest : public QObject {
    Q_OBJECT
  private slots:
    void startFolderByCopyAndDocument() {
        QTemporaryDir home;
        QVERIFY(home.isValid());
        const QByteArray old_home = qgetenv("HOME");
        const QByteArray old_config = qgetenv("XDG_CONFIG_HOME");
        qputenv("HOME", home.path().toUtf8());
        qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/.config")).toUtf8());
        QDir(home.path()).mkpath(QStringLiteral("docs"));
        const QString pictures = home.path() + QStringLiteral("/Pictures");
        const QString doc = home.path() + QStringLiteral("/docs/a.png");

        const struct {
            const char *what;
            bool installed;
            QString document;
            bool has_pictures;
            QString expected;
        } cases[] = {
            {"build folder, no document", false, QString(), true, QStringLiteral(".")},
            {"build folder, document", false, doc, true, QStringLiteral(".")},
            {"installed, document", true, doc, true, home.path() + QStringLiteral("/docs")},
            {"installed, no document", true, QString(), true, pictures},
            {"installed, no pictures folder", true, QString(), false, home.path()},
            {"installed, document's folder gone", true, home.path() + QStringLiteral("/gone/b.png"),
             false, home.path()},
        };
        for (const auto &c : cases) {
            if (c.has_pictures)
                QDir(home.path()).mkpath(QStringLiteral("Pictures"));
            else
                QDir(pictures).removeRecursively();
            QCOMPARE(DialogStartFolder(c.installed, c.document, QStringLiteral(".")), c.expected);
        }
        qputenv("HOME", old_home);
        if (old_config.isNull())
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", old_config);
    }
};

QTEST_MAIN(DialogFolderTest)
#include "dialog_folder_test.moc"
