// Whole document flows through the real reader and writer plug-ins: open,
// edit, save and reopen as BMP, ICO and TGA; the file dialogs and their
// format filters; closing a changed document; start-up with a file that
// cannot be read, with its message.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QListView>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <algorithm>
#include <cmath>
#include <vector>

#include "F_main.h"
#include "F_save.h"
#include "main_fixture.h"

using kvzaedit::TMainF;
using kvzaedit::TSaveF;
using maintest::At;
using maintest::Env;
using maintest::ImagePtr;

namespace {

// Pixel-layout ids in order of preference: RGB with 8-bit alpha (TGA), with
// 1-bit alpha (ICO), without alpha (BMP).
const int16_t kPreferred[] = {21, 225, 20};

// Confirms every save dialog with the first preferred type it offers (or
// the preselected one when prefer is empty); records the ids it showed.
struct SaveAnswer {
    bool confirm = true;
    std::vector<int16_t> prefer = {std::begin(kPreferred), std::end(kPreferred)};
    std::vector<int16_t> shown;  // ids of the last dialog
    int runs = 0;
    int16_t chosen = 0;
    int16_t preselected = 0;
    KotSaveOptions seen{};  // the window's options while the dialog ran
    const TMainF *window = nullptr;
};

void InstallSaveAnswer(SaveAnswer *answer) {
    kvzaedit::SetSaveDialogHook([answer](TSaveF &dialog) {
        ++answer->runs;
        if (answer->window != nullptr) answer->seen = answer->window->SaveOpts;
        const auto &ids = dialog.typeIds();
        answer->shown = ids;
        const int current = dialog.CB_Type->currentIndex();
        answer->preselected = current >= 0 ? ids[static_cast<size_t>(current)] : 0;
        if (!answer->confirm) {
            dialog.B_Cancel->click();
            return;
        }
        for (int16_t id : answer->prefer) {
            for (size_t i = 0; i < ids.size(); ++i) {
                if (ids[i] == id) {
                    dialog.CB_Type->setCurrentIndex(static_cast<int>(i));
                    answer->chosen = id;
                    dialog.B_OK->click();
                    return;
                }
            }
        }
        answer->chosen = answer->preselected;
        dialog.B_OK->click();
    });
}

// Answers the next file dialog with path (or cancels it when empty);
// records its title.
void AnswerFileDialog(QString *title, const QString &path) {
    QTimer::singleShot(0, [title, path] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog != nullptr);
        *title = dialog->windowTitle();
        if (path.isEmpty()) {
            dialog->reject();
            return;
        }
        dialog->selectFile(path);
        static_cast<QDialog *>(dialog)->accept();  // the file dialog's own checks run
    });
}

// What the next file dialog offers: its filters, the one preselected, and
// the files of folder it lists under the filter "PNG (*.png)".
struct FilterView {
    QStringList filters;
    QString selected;
    QStringList png_files;
};

void InspectFileDialog(FilterView *view, const QString &folder) {
    QTimer::singleShot(0, [view, folder] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (dialog == nullptr) return;
        view->filters = dialog->nameFilters();
        view->selected = dialog->selectedNameFilter();
        dialog->setDirectory(folder);
        dialog->selectNameFilter(QStringLiteral("PNG (*.png)"));
        auto *list = dialog->findChild<QListView *>(QStringLiteral("listView"));
        const auto files = [list] {
            QStringList names;
            for (int i = 0; list != nullptr && i < list->model()->rowCount(list->rootIndex()); ++i)
                names << list->model()->index(i, 0, list->rootIndex()).data().toString();
            names.removeIf([](const QString &name) { return !name.contains(QLatin1Char('.')); });
            return names;
        };
        // The folder is read by a thread: wait until its files are listed.
        static_cast<void>(QTest::qWaitFor([&] { return files().size() >= 2; }, 5000));
        view->png_files = files();
        dialog->reject();
    });
}

// An image whose colours are whole bytes: opaque colours, a transparent
// and an opaque white pixel.
KvzaImage *ByteImage() {
    return maintest::MakeImage(6, 4, [](int x, int y) {
        if (x == 0 && y == 0) return maintest::Rgba(0, 0, 0, 0);
        if (x == 5 && y == 3) return maintest::Rgba(1, 1, 1, 1);
        return maintest::Rgba(static_cast<float>(x * 40) / 255.0f,
                              static_cast<float>(y * 60) / 255.0f,
                              static_cast<float>(200 - x * 10 - y * 5) / 255.0f, 1.0f);
    });
}

// RGB bytes of a pixel, rounded. The writers' default ordered dithering may
// move a whole byte value by one step.
std::vector<int> Bytes(const KvzaPixel &p) {
    KvzaPixel rgb{};
    kvza_kvz2rgb(&rgb, &p);
    kvza_cliprgba(&rgb, &rgb);
    return {static_cast<int>(std::lround(rgb.c * 255)), static_cast<int>(std::lround(rgb.s * 255)),
            static_cast<int>(std::lround(rgb.w * 255))};
}

// Same size, same alpha (0 or 1; all 1 when the layout has no alpha), same
// colour bytes where the original is opaque.
void CompareImages(const KvzaImage *got, const KvzaImage *want, bool alpha_kept = true) {
    QCOMPARE(got->width, want->width);
    QCOMPARE(got->height, want->height);
    for (int y = 0; y < want->height; ++y)
        for (int x = 0; x < want->width; ++x) {
            const KvzaPixel &g = At(const_cast<KvzaImage *>(got), x, y);
            const KvzaPixel &e = At(const_cast<KvzaImage *>(want), x, y);
            QCOMPARE(g.a, alpha_kept ? e.a : 1.0f);
            if (e.a > 0) {
                const std::vector<int> gb = Bytes(g), eb = Bytes(e);
                for (int k = 0; k < 3; ++k)
                    QVERIFY2(std::abs(gb[k] - eb[k]) <= 1,
                             qPrintable(QStringLiteral("(%1,%2) channel %3: %4 vs %5")
                                            .arg(x)
                                            .arg(y)
                                            .arg(k)
                                            .arg(gb[k])
                                            .arg(eb[k])));
            }
        }
}

}  // namespace

class MainDocflowTest : public QObject {
    Q_OBJECT
  private slots:
    void init() { kvzaedit::SetSaveDialogHook(nullptr); }
    void cleanup() { kvzaedit::SetSaveDialogHook(nullptr); }

    void openEditSaveReopen_data() {
        QTest::addColumn<QString>("ext");
        QTest::addColumn<int>("type");         // layout chosen in the save dialog
        QTest::addColumn<bool>("alpha_kept");  // the layout stores transparency
        QTest::addColumn<bool>("typed");       // the reader records the layout read
        QTest::newRow("bmp") << "bmp" << 20 << false << true;
        QTest::newRow("ico") << "ico" << 225 << true << false;  // the icon path stores none
        QTest::newRow("tga") << "tga" << 21 << true << false;
    }

    void openEditSaveReopen() {
        QFETCH(QString, ext);
        QFETCH(int, type);
        QFETCH(bool, alpha_kept);
        QFETCH(bool, typed);
        Env env;
        // ICO files open with the default library name (kinico.so, installed
        // as another name of the BMP reader), with no settings entry.
        SaveAnswer answer;
        answer.prefer = {static_cast<int16_t>(type)};
        InstallSaveAnswer(&answer);
        const QString path = env.Path(QStringLiteral("picture.") + ext);
        ImagePtr original(ByteImage());

        // A document without a file is saved under a name given in the
        // file dialog, then through the writer's own dialog.
        {
            TMainF w;
            answer.window = &w;
            maintest::Adopt(w, maintest::Clone(original.get()).release());
            w.Modified = 1;
            QString title;
            AnswerFileDialog(&title, path);
            w.A_Save->trigger();
            QCOMPARE(title, QStringLiteral("名前を付けて保存"));
            QCOMPARE(env.boxes.log, QStringList());
            QCOMPARE(answer.runs, 1);
            QCOMPARE(int(answer.chosen), type);
            QCOMPARE(w.Modified, uint8_t(0));
            QCOMPARE(w.SaveName, path);
            QCOMPARE(w.OpenName, path);
            QCOMPARE(w.windowTitle(), path);
            QCOMPARE(w.SaveOpts.valid, uint8_t(1));
            QCOMPARE(w.SaveOpts.type, answer.chosen);
            QVERIFY(QFile::exists(path));
        }

        // Start-up opens the named file.
        TMainF w(path);
        answer.window = &w;
        QVERIFY(env.boxes.log.isEmpty());
        QVERIFY(w.CurImg != nullptr);
        QCOMPARE(w.Shown, uint8_t(1));
        QCOMPARE(w.Modified, uint8_t(0));
        QCOMPARE(w.windowTitle(), path);
        QCOMPARE(w.SaveName, path);
        QCOMPARE(w.CurImg->pixtype != 0, typed);
        QCOMPARE(w.SaveOpts.type, w.CurImg->pixtype);
        CompareImages(w.CurImg, original.get(), alpha_kept);

        // Edit and save under the same name: the type read is preselected
        // when the writer offers it.
        const int16_t read_type = w.SaveOpts.type;
        w.A_Gray->trigger();
        QCOMPARE(w.Modified, uint8_t(1));
        w.A_Save->trigger();
        QCOMPARE(answer.runs, 2);
        const bool offered =
            std::find(answer.shown.begin(), answer.shown.end(), read_type) != answer.shown.end();
        QCOMPARE(answer.preselected, offered ? read_type : int16_t(0));
        QCOMPARE(w.Modified, uint8_t(0));
        ImagePtr grey = maintest::Clone(w.CurImg);

        // Reopen through the open dialog: the edit is in the file.
        QString title;
        AnswerFileDialog(&title, path);
        w.A_Open->trigger();
        QCOMPARE(title, QStringLiteral("開く"));
        QVERIFY(w.CurImg != nullptr);
        QVERIFY(!w.A_Undo->isEnabled());  // a fresh history
        CompareImages(w.CurImg, grey.get());
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 6; ++x) {
                const std::vector<int> b = Bytes(At(w.CurImg, x, y));
                if (At(w.CurImg, x, y).a > 0) {
                    QVERIFY(std::abs(b[0] - b[1]) <= 1);
                    QVERIFY(std::abs(b[1] - b[2]) <= 1);
                }
            }
        QVERIFY(env.boxes.log.isEmpty());
    }

    void saveAsStartsFromThePluginDefaultsButKeepsTheType() {
        Env env;
        SaveAnswer answer;
        answer.prefer = {20};
        InstallSaveAnswer(&answer);
        TMainF w;
        answer.window = &w;
        maintest::Adopt(w, ByteImage());
        w.SaveName = env.Path(QStringLiteral("first.bmp"));
        QCOMPARE(w.SaveDoc(), 0);
        const int16_t type = w.SaveOpts.type;
        QCOMPARE(int(type), 20);
        QCOMPARE(w.SaveOpts.valid, uint8_t(1));
        // Same name again: the stored choices are offered.
        QCOMPARE(w.SaveDoc(), 0);
        QCOMPARE(answer.seen.valid, uint8_t(1));
        // A new name: options cleared except the type.
        const QString second = env.Path(QStringLiteral("second.bmp"));
        QString title;
        AnswerFileDialog(&title, second);
        answer.prefer.clear();
        w.A_Save2->trigger();
        QCOMPARE(answer.runs, 3);
        QCOMPARE(answer.seen.valid, uint8_t(0));
        QCOMPARE(answer.seen.switches, uint16_t(0));
        QCOMPARE(answer.seen.type, type);
        QCOMPARE(answer.preselected, type);
        QCOMPARE(w.SaveName, second);
        QCOMPARE(w.windowTitle(), second);
        QVERIFY(QFile::exists(second));
    }

    void cancelledDialogsSaveNothing() {
        Env env;
        SaveAnswer answer;
        InstallSaveAnswer(&answer);
        TMainF w;
        maintest::Adopt(w, ByteImage());
        w.Modified = 1;
        QString title;
        AnswerFileDialog(&title, QString());  // file dialog cancelled
        QCOMPARE(w.SaveDoc(), 1);
        QCOMPARE(answer.runs, 0);
        QVERIFY(w.SaveName.isEmpty());
        answer.confirm = false;  // writer dialog cancelled
        w.SaveName = env.Path(QStringLiteral("never.bmp"));
        QCOMPARE(w.SaveDoc(), 1);
        QCOMPARE(answer.runs, 1);
        QVERIFY(!QFile::exists(w.SaveName));
        QCOMPARE(w.Modified, uint8_t(1));
        QVERIFY(env.boxes.log.isEmpty());
        // Without a document nothing is saved.
        w.CloseDoc();
        QCOMPARE(w.SaveDoc(), 1);
    }

    void closingAChangedDocument() {
        Env env;
        SaveAnswer answer;
        InstallSaveAnswer(&answer);
        // Cancel keeps the window open.
        {
            TMainF w;
            maintest::Adopt(w, ByteImage());
            w.show();
            w.A_Gray->trigger();
            env.boxes.answer = QMessageBox::Cancel;
            QVERIFY(!w.close());
            QVERIFY(w.isVisible());
            QCOMPARE(w.Modified, uint8_t(1));
            QCOMPARE(env.boxes.log, QStringList({"ask:image has changed. save OK?"}));
            // No closes without saving.
            env.boxes.answer = QMessageBox::No;
            QVERIFY(w.close());
            QCOMPARE(w.Modified, uint8_t(0));
            QCOMPARE(answer.runs, 0);
        }
        // Yes with a failing save keeps it open.
        {
            env.boxes.log.clear();
            TMainF w;
            maintest::Adopt(w, ByteImage());
            w.show();
            w.Modified = 1;
            w.SaveName = env.Path(QStringLiteral("picture.zzz"));  // no writer for it
            env.boxes.answer = QMessageBox::Yes;
            QVERIFY(!w.close());
            QVERIFY(w.isVisible());
            QCOMPARE(w.Modified, uint8_t(1));
            QCOMPARE(env.boxes.log.size(), 2);
            QCOMPARE(env.boxes.log[1], QStringLiteral("error:'kotzzz.so' cannot load"));
            // Yes with the writer's dialog cancelled keeps it open too.
            w.SaveName = env.Path(QStringLiteral("picture.bmp"));
            answer.confirm = false;
            QVERIFY(!w.close());
            QVERIFY(!QFile::exists(w.SaveName));
            // Yes with a successful save closes.
            answer.confirm = true;
            QVERIFY(w.close());
            QVERIFY(QFile::exists(w.SaveName));
            QCOMPARE(w.Modified, uint8_t(0));
        }
    }

    void openingAnotherFileReplacesAChangedDocumentWithoutAsking() {
        Env env;
        SaveAnswer answer;
        InstallSaveAnswer(&answer);
        const QString path = env.Path(QStringLiteral("a.tga"));
        {
            TMainF w;
            maintest::Adopt(w, ByteImage());
            w.SaveName = path;
            QCOMPARE(w.SaveDoc(), 0);
        }
        TMainF w;
        maintest::Adopt(w, maintest::MakeImage(2, 2, maintest::Distinct));
        w.A_Gray->trigger();
        w.OpenName = path;
        w.OpenDoc();
        QVERIFY(env.boxes.log.isEmpty());
        QCOMPARE(w.CurImg->width, 6);
        QCOMPARE(w.Modified, uint8_t(0));
        QVERIFY(!w.A_Undo->isEnabled());
        QCOMPARE(w.windowTitle(), path);
    }

    void fileDialogsOfferTheFormatsOfThePlugins() {
        Env env;
        const QString plugins = env.Path(QStringLiteral("plugins"));
        QVERIFY(QDir().mkpath(plugins));
        // The wide reader is named by no extension and gives no filter.
        for (const char *name :
             {"kinbmp.so", "kinico.so", "kinjpg.so", "kinjpeg.so", "kinpng.so", "kintga.so",
              "kinwide.so", "kotbmp.so", "kotico.so", "kotpng.so", "kottga.so"})
            QVERIFY(
                QFile(plugins + QLatin1Char('/') + QLatin1String(name)).open(QIODevice::WriteOnly));
        kvzaedit::SetProgramDir(plugins.toStdString());
        for (const char *name : {"a.PNG", "b.png", "c.bmp"})
            QVERIFY(QFile(env.Path(QLatin1String(name))).open(QIODevice::WriteOnly));

        TMainF w;
        QString path;
        FilterView open, save;
        InspectFileDialog(&open, env.dir.path());
        QVERIFY(!w.RunOpenFileDialog(path));
        InspectFileDialog(&save, env.dir.path());
        QVERIFY(!w.RunSaveFileDialog(path));
        QCOMPARE(open.filters, QStringList({"Any (*)", "BMP (*.bmp)", "ICO (*.ico)",
                                            "JPEG (*.jpg *.jpeg)", "PNG (*.png)", "TGA (*.tga)"}));
        QCOMPARE(save.filters, QStringList({"Any (*)", "BMP (*.bmp)", "ICO (*.ico)", "PNG (*.png)",
                                            "TGA (*.tga)"}));
        for (const FilterView *view : {&open, &save}) {
            QCOMPARE(view->selected, QStringLiteral("Any (*)"));
            QCOMPARE(view->png_files, QStringList({"a.PNG", "b.png"}));
        }
    }

    void unreadableFilesLeaveTheWindowEmptyWithAMessage() {
        Env env;
        {
            TMainF w(env.Path(QStringLiteral("missing.bmp")));
            QCOMPARE(env.boxes.log, QStringList({"error:file not found"}));
            QVERIFY(w.CurImg == nullptr);
            QCOMPARE(w.Shown, uint8_t(0));
            QCOMPARE(w.windowTitle(), QStringLiteral("KVZA frontend"));
            QVERIFY(w.SaveName.isEmpty());
            QVERIFY(!w.A_Save->isEnabled());
        }
        // A file of the wrong format, then an extension without a reader.
        const QString junk = env.Path(QStringLiteral("junk.bmp"));
        {
            QFile f(junk);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("this is not a bitmap at all");
        }
        env.boxes.log.clear();
        TMainF w(junk);
        QCOMPARE(env.boxes.log, QStringList({"error:bad file format"}));
        QVERIFY(w.CurImg == nullptr);
        QCOMPARE(w.Shown, uint8_t(0));
        w.OpenName = env.Path(QStringLiteral("x.qqq"));
        w.OpenDoc();
        QCOMPARE(env.boxes.log.last(), QStringLiteral("error:'kinqqq.so' cannot load"));
        QVERIFY(w.CurImg == nullptr);
        // An empty name opens nothing and says nothing.
        env.boxes.log.clear();
        w.OpenName.clear();
        w.OpenDoc();
        QVERIFY(env.boxes.log.isEmpty());
    }
};

QTEST_MAIN(MainDocflowTest)
#include "main_docflow_test.moc"
