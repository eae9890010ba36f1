// Benchmarks of the editor's main window on the offscreen platform:
// - drawing a 4000 x 3000 document into the view bitmap (translucent mode);
// - opening a 4000 x 3000 24-bit BMP through the reader plug-in until the
//   window has painted it;
// - the resident memory that a full undo history of a 12-megapixel image
//   costs, against the image block size.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "F_main.h"
#include "dynlib.h"
#include "image_alloc.h"
#include "ini_file.h"
#include "kvza.h"
#include "msgbox.h"

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

// Settings file and test files live in one temporary folder for the run.
QTemporaryDir &Scratch() {
    static QTemporaryDir dir;
    return dir;
}

void PrepareEnvironment() {
    kvzaedit::SetProgramDir(KVZA_BIN_DIR);
    kvzaedit::SetIniPath(Scratch().filePath(QStringLiteral("KVZAEDIT.INI")).toStdString());
    // Any message box would stop the run: record nothing, answer No.
    kvzaedit::SetMessageHook([](const QString &kind, const QString &text) {
        std::fprintf(stderr, "message box (%s): %s\n", qPrintable(kind), qPrintable(text));
        return QMessageBox::No;
    });
}

// An opaque image with colour in every pixel and a partly transparent band,
// so the translucent drawing mode blends for real.
// With photo, every channel is a random byte, as in a photo read from a
// 24-bit file, where neighbours rarely repeat.
KvzaImage *MakeDocument(int w, int h, bool photo = false) {
    KvzaImage *image = kvzaedit::NewImage(nullptr, w, h);
    if (image == nullptr) return nullptr;
    image->viewinfo[0] = 128;
    image->viewinfo[1] = 128;
    image->viewinfo[2] = 128;
    for (int y = 0; y < h; ++y) {
        KvzaPixel *row = image->pixels + static_cast<int64_t>(y) * w;
        for (int x = 0; x < w; ++x) {
            const uint32_t noise = photo ? (x * 2654435761u) ^ (y * 40503u) : 0;
            const KvzaPixel rgb{static_cast<float>((x + noise) % 256) / 255.0f,
                                static_cast<float>((y + (noise >> 8)) % 256) / 255.0f,
                                static_cast<float>((x + y + (noise >> 16)) % 256) / 255.0f,
                                x < w / 4 ? 0.5f : 1.0f};
            kvza_rgba2kvza(&row[x], &rgb);
        }
    }
    return image;
}

// Resident set size of this process in bytes.
int64_t ResidentBytes() {
    std::FILE *f = std::fopen("/proc/self/statm", "r");
    if (f == nullptr) return -1;
    long long size = 0, resident = 0;
    const int n = std::fscanf(f, "%lld %lld", &size, &resident);
    std::fclose(f);
    if (n != 2) return -1;
    return static_cast<int64_t>(resident) * sysconf(_SC_PAGESIZE);
}

// ---------------------------------------------------------------------------

void BM_RefreshView_4000x3000_Translucent(benchmark::State &state) {
    kvzaedit::TMainF window;
    KvzaImage *image = MakeDocument(kWidth, kHeight, state.range(0) != 0);
    if (image == nullptr) {
        state.SkipWithError("out of memory");
        return;
    }
    window.CurImg = image;
    window.ShowDoc();
    window.TransMode = 3;
    for (auto _ : state) {
        window.RefreshView(0);
        benchmark::DoNotOptimize(window.Img->Bitmap.constBits());
    }
    state.counters["Mpixel/s"] = benchmark::Counter(
        static_cast<double>(kWidth) * kHeight * static_cast<double>(state.iterations()) / 1e6,
        benchmark::Counter::kIsRate);
    window.CloseDoc();
}
// Argument 0: a gradient repeating every 256 pixels; 1: random bytes.
BENCHMARK(BM_RefreshView_4000x3000_Translucent)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// ---------------------------------------------------------------------------

void Put16(std::vector<uint8_t> &b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t> &b, uint32_t v) {
    Put16(b, v);
    Put16(b, v >> 16);
}

// A 24-bit bottom-up BMP of w x h with a colour gradient; its path, or "".
std::string WriteBmp24(int w, int h) {
    const std::string path =
        Scratch().filePath(QStringLiteral("open_%1x%2.bmp").arg(w).arg(h)).toStdString();
    const uint32_t stride = (static_cast<uint32_t>(w) * 3 + 3) & ~3u;
    const uint32_t data = stride * static_cast<uint32_t>(h);
    std::vector<uint8_t> file;
    file.reserve(54 + data);
    file.push_back('B');
    file.push_back('M');
    Put32(file, 54 + data);
    Put32(file, 0);
    Put32(file, 54);
    Put32(file, 40);
    Put32(file, static_cast<uint32_t>(w));
    Put32(file, static_cast<uint32_t>(h));
    Put16(file, 1);
    Put16(file, 24);
    Put32(file, 0);
    Put32(file, data);
    Put32(file, 2835);
    Put32(file, 2835);
    Put32(file, 0);
    Put32(file, 0);
    for (int y = 0; y < h; ++y) {
        const size_t start = file.size();
        for (int x = 0; x < w; ++x) {
            file.push_back(static_cast<uint8_t>((x + y) & 255));  // blue
            file.push_back(static_cast<uint8_t>(y & 255));        // green
            file.push_back(static_cast<uint8_t>(x & 255));        // red
        }
        file.resize(start + stride, 0);
    }
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return "";
    const bool ok = std::fwrite(file.data(), 1, file.size(), f) == file.size();
    if (std::fclose(f) != 0 || !ok) return "";
    return path;
}

// Opens $KVZA_OPEN_BENCH_FILE when set (a file another program made, as
// bench/vs_peers.sh passes it), else a gradient BMP written here.
void BM_OpenDoc_Bmp24_4000x3000(benchmark::State &state) {
    const char *given = std::getenv("KVZA_OPEN_BENCH_FILE");
    const std::string path =
        given != nullptr && *given != '\0' ? std::string(given) : WriteBmp24(kWidth, kHeight);
    if (path.empty()) {
        state.SkipWithError("cannot write the BMP file");
        return;
    }
    kvzaedit::TMainF window;
    window.show();
    QCoreApplication::processEvents();
    for (auto _ : state) {
        window.OpenName = QString::fromStdString(path);
        window.OpenDoc();
        // Shown: the document is drawn and the window has painted it.
        QCoreApplication::processEvents();
        if (window.CurImg == nullptr || window.Shown == 0) {
            state.SkipWithError("the file did not open");
            break;
        }
        state.PauseTiming();
        window.CloseDoc();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    window.CloseDoc();
    window.hide();
}
BENCHMARK(BM_OpenDoc_Bmp24_4000x3000)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---------------------------------------------------------------------------

// 16 grey-map edits, then 16 undos, on a 12-megapixel document through the
// window's own actions. Reports the growth of the resident memory over the
// document alone, in image blocks: the history keeps at most 8 undo or redo
// snapshots, and never more than 16 plus the current image.
void BM_History16_12MP_Memory(benchmark::State &state) {
    const double block = static_cast<double>(kvzaedit::ImageBlockBytes(kWidth, kHeight));
    double growth_after_edits = 0, growth_after_undos = 0, peak_growth = 0;
    int alive_after_edits = 0, alive_after_undos = 0;
    for (auto _ : state) {
        state.PauseTiming();
        kvzaedit::TMainF window;
        KvzaImage *image = MakeDocument(kWidth, kHeight);
        if (image == nullptr) {
            state.SkipWithError("out of memory");
            break;
        }
        window.CurImg = image;
        window.ShowDoc();
        const int64_t base = ResidentBytes();
        int64_t peak = base;
        state.ResumeTiming();

        for (int k = 0; k < 16; ++k) {
            window.A_Gray->trigger();
            peak = std::max(peak, ResidentBytes());
        }
        const int64_t after_edits = ResidentBytes();
        alive_after_edits = 1;
        for (KvzaImage *slot : window.UndoBuf) alive_after_edits += slot != nullptr;
        for (int k = 0; k < 16; ++k) {
            window.A_Undo->trigger();
            peak = std::max(peak, ResidentBytes());
        }
        const int64_t after_undos = ResidentBytes();
        alive_after_undos = 1;
        for (KvzaImage *slot : window.UndoBuf) alive_after_undos += slot != nullptr;

        state.PauseTiming();
        growth_after_edits = static_cast<double>(after_edits - base);
        growth_after_undos = static_cast<double>(after_undos - base);
        peak_growth = static_cast<double>(peak - base);
        window.CloseDoc();
        state.ResumeTiming();
    }
    state.counters["block_MB"] = block / 1e6;
    state.counters["limit_blocks"] = 17;
    state.counters["edits_growth_blocks"] = growth_after_edits / block;
    state.counters["undos_growth_blocks"] = growth_after_undos / block;
    state.counters["peak_growth_blocks"] = peak_growth / block;
    state.counters["peak_growth_MB"] = peak_growth / 1e6;
    state.counters["images_after_edits"] = alive_after_edits;
    state.counters["images_after_undos"] = alive_after_undos;
}
BENCHMARK(BM_History16_12MP_Memory)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

int main(int argc, char **argv) {
    // No display is needed: the windows are drawn offscreen.
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    PrepareEnvironment();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    kvzaedit::SetMessageHook(nullptr);
    return 0;
}
