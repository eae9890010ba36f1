// Shared set-up of the main window tests: a private settings file, captured
// message boxes, the plug-in folder, and small image builders.
#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>

#include "F_main.h"
#include "dynlib.h"
#include "image_alloc.h"
#include "ini_file.h"
#include "kvza.h"
#include "msgbox.h"

namespace maintest {

// Every box is recorded as "kind:text"; questions get `answer`.
struct Boxes {
    QStringList log;
    QMessageBox::StandardButton answer = QMessageBox::Cancel;
    int count(const QString &entry) const { return static_cast<int>(log.count(entry)); }
};

// Installs the test environment for as long as it lives.
class Env {
  public:
    Env() {
        kvzaedit::SetIniPath(IniFile().toStdString());
        kvzaedit::SetProgramDir(KVZA_BIN_DIR);
        kvzaedit::SetMessageHook([this](const QString &kind, const QString &text) {
            boxes.log << kind + ":" + text;
            return kind == QStringLiteral("ask") ? boxes.answer : QMessageBox::Ok;
        });
    }
    ~Env() { kvzaedit::SetMessageHook(nullptr); }
    Env(const Env &) = delete;
    Env &operator=(const Env &) = delete;

    QString IniFile() const { return dir.filePath(QStringLiteral("KVZAEDIT.INI")); }
    QString Path(const QString &name) const { return dir.filePath(name); }

    QTemporaryDir dir;
    Boxes boxes;
};

struct ImageDeleter {
    void operator()(KvzaImage *image) const { kvzaedit::ReleaseImage(image); }
};
using ImagePtr = std::unique_ptr<KvzaImage, ImageDeleter>;

// A pixel from RGB and alpha (library conversion).
inline KvzaPixel Rgba(float r, float g, float b, float a) {
    const KvzaPixel rgb{r, g, b, a};
    KvzaPixel out{};
    kvza_rgba2kvza(&out, &rgb);
    return out;
}

inline KvzaPixel &At(KvzaImage *image, int x, int y) {
    return image->pixels[static_cast<int64_t>(y) * image->width + x];
}

// A width x height image whose pixels come from fill(x, y).
inline KvzaImage *MakeImage(int w, int h, const std::function<KvzaPixel(int, int)> &fill) {
    KvzaImage *image = kvzaedit::NewImage(nullptr, w, h);
    if (image == nullptr) return nullptr;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) At(image, x, y) = fill(x, y);
    return image;
}

// A distinct, opaque pixel for every position (grey levels and hues).
inline KvzaPixel Distinct(int x, int y) {
    return Rgba(static_cast<float>((x * 37 + y * 11) % 256) / 255.0f,
                static_cast<float>((x * 5 + y * 53) % 256) / 255.0f,
                static_cast<float>((x * 91 + y * 7) % 256) / 255.0f, 1.0f);
}

// Hands the window an image as its document (as a received image would be).
inline void Adopt(kvzaedit::TMainF &w, KvzaImage *image) {
    w.CurImg = image;
    w.ShowDoc();
}

// A copy of the whole image block.
inline ImagePtr Clone(const KvzaImage *src) {
    KvzaImage *copy = kvzaedit::NewImage(src, src->width, src->height);
    if (copy != nullptr)
        std::memcpy(
            copy->pixels, src->pixels,
            static_cast<size_t>(src->width) * static_cast<size_t>(src->height) * sizeof(KvzaPixel));
    return ImagePtr(copy);
}

inline bool SamePixels(const KvzaImage *a, const KvzaImage *b) {
    if (a == nullptr || b == nullptr) return false;
    if (a->width != b->width || a->height != b->height) return false;
    return std::memcmp(a->pixels, b->pixels,
                       static_cast<size_t>(a->width) * static_cast<size_t>(a->height) *
                           sizeof(KvzaPixel)) == 0;
}

inline int UndoDepth(const kvzaedit::TMainF &w) {
    int n = 0;
    for (int k = 0; k < 8; ++k) n += w.UndoBuf[k] != nullptr;
    return n;
}

inline int RedoDepth(const kvzaedit::TMainF &w) {
    int n = 0;
    for (int k = 8; k < 16; ++k) n += w.UndoBuf[k] != nullptr;
    return n;
}

}  // namespace maintest
