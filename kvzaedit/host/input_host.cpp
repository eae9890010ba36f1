#include "input_host.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "byte_float.h"
#include "dynlib.h"
#include "image_alloc.h"
#include "ini_file.h"
#include "kin.h"
#include "localmem.h"
#include "plugin_names.h"

namespace kvzaedit {

namespace {

// The foreign reader interface as the host calls it.
using ForeignIsSupportedFn = int (*)(const char *file_name, const void *data);
using ForeignGetPictureFn = int (*)(const char *data, long length, unsigned flag, HLOCAL *info,
                                    HLOCAL *bits, void *progress, long user_data);

// A prefix the file may carry in front of the image.
constexpr int32_t kPrefixBytes = 128;
// Readable bytes the format test may look at.
constexpr uint64_t kProbeBytes = 2048;
// The bitmap header: width at 4, height at 8, bits per pixel at 14, colour
// table at 40.
constexpr uint64_t kBitmapHeaderBytes = 40;

// How one reader's try at a file ended. Refused means the reader does not
// take the file (another reader may); Failed and Canceled end the open.
enum class TryEnd { Loaded, Refused, Failed, Canceled };

// How far a reader got before it refused: the file's header, or its data.
enum class Stage { Header, Data };

struct Attempt {
    TryEnd end = TryEnd::Failed;
    KvzaImage *image = nullptr;  // set when Loaded
    std::string message;         // what the user is told when the open ends here
    Stage stage = Stage::Data;
};

Attempt Loaded(KvzaImage *image) {
    return {TryEnd::Loaded, image, {}, Stage::Data};
}
Attempt Refused(const char *message, Stage stage) {
    return {TryEnd::Refused, nullptr, message, stage};
}
Attempt Failed(const char *message) {
    return {TryEnd::Failed, nullptr, message, Stage::Data};
}

int32_t ReadI32(const uint8_t *p) {
    uint32_t v = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                 static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
    return static_cast<int32_t>(v);
}

uint16_t ReadU16(const uint8_t *p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

// Physical memory; a file buffer beyond it would only be granted lazily.
uint64_t PhysicalMemory() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long page = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || page <= 0) return UINT64_MAX;
    return static_cast<uint64_t>(pages) * static_cast<uint64_t>(page);
}

// KVZ form of a colour given as three bytes, opaque.
KvzaPixel FromRgb(uint8_t red, uint8_t green, uint8_t blue) {
    KvzaPixel rgb = {red * kvza::kByteToFloat, green * kvza::kByteToFloat,
                     blue * kvza::kByteToFloat, 1.0f};
    KvzaPixel kvz;
    kvza_rgb2kvz(&kvz, &rgb);
    kvz.a = 1.0f;
    return kvz;
}

// Opens file_name for reading; -1 when it cannot be opened or is a folder
// (which opens for reading but is no file to load).
int OpenFile(const std::string &file_name) {
    const int fd = ::open(file_name.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info;
    if (fd >= 0 && fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Everything the foreign path holds, released in one place.
struct ForeignState {
    int fd = -1;
    uint8_t *buffer = nullptr;
    HLOCAL info = nullptr;
    HLOCAL bits = nullptr;
    const uint8_t *info_ptr = nullptr;
    const uint8_t *bits_ptr = nullptr;

    ~ForeignState() {
        if (bits_ptr != nullptr) LocalUnlock(bits);
        if (info_ptr != nullptr) LocalUnlock(info);
        if (fd >= 0) ::close(fd);
        // A reader that hands the same handle back twice gets it freed once.
        if (bits != nullptr && bits != info) LocalFree(bits);
        if (info != nullptr) LocalFree(info);
        std::free(buffer);
    }
};

// Reads length bytes; false on a short read or an error.
bool ReadAll(int fd, uint8_t *out, uint64_t length) {
    uint64_t done = 0;
    while (done < length) {
        const uint64_t want = std::min<uint64_t>(length - done, 1u << 30);
        const ssize_t got = ::read(fd, out + done, static_cast<size_t>(want));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        done += static_cast<uint64_t>(got);
    }
    return true;
}

// Bytes of one stored row of width pixels at bpp bits, padded to 4 bytes.
uint64_t RowStride(int32_t width, uint32_t bpp) {
    return (static_cast<uint64_t>(width) * bpp + 31) / 32 * 4;
}

// Converts the bitmap into image (width x |height| already allocated). The
// caller has checked that the colour table and the rows lie inside their
// blocks.
void ConvertBitmap(KvzaImage *image, const uint8_t *info, const uint8_t *bits, int32_t height,
                   uint32_t bpp) {
    const int32_t width = image->width;
    const int32_t rows = image->height;
    if (bpp == 1 || bpp == 4 || bpp == 8) {
        const uint32_t entries = 1u << bpp;
        for (uint32_t i = 0; i < entries; ++i) {
            const uint8_t *entry = info + kBitmapHeaderBytes + 4 * i;
            image->palette[i] = FromRgb(entry[2], entry[1], entry[0]);
        }
    }
    const uint64_t stride = RowStride(width, bpp);
    for (int32_t i = 0; i < rows; ++i) {
        const uint8_t *row = bits + stride * static_cast<uint64_t>(i);
        const int32_t y = height < 0 ? i : rows - 1 - i;
        KvzaPixel *out = image->pixels + static_cast<uint64_t>(y) * static_cast<uint64_t>(width);
        for (int32_t x = 0; x < width; ++x) {
            switch (bpp) {
                case 1:
                    out[x] = image->palette[(row[x >> 3] >> (7 - (x & 7))) & 1];
                    break;
                case 4:
                    out[x] = image->palette[(row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15];
                    break;
                case 8:
                    out[x] = image->palette[row[x]];
                    break;
                case 24: {
                    const uint8_t *p = row + 3 * static_cast<uint64_t>(x);
                    out[x] = FromRgb(p[2], p[1], p[0]);
                    break;
                }
                default:
                    break;
            }
        }
    }
}

Attempt LoadWithForeignReader(const std::string &file_name, const DynLib &lib) {
    const char *const names[] = {"GetPluginInfo", "IsSupported", "GetPictureInfo", "GetPicture"};
    void *exports[4];
    for (int i = 0; i < 4; ++i) {
        exports[i] = lib.sym(names[i]);
        if (exports[i] == nullptr) return Failed("function not found");
    }
    const auto is_supported = reinterpret_cast<ForeignIsSupportedFn>(exports[1]);
    const auto get_picture = reinterpret_cast<ForeignGetPictureFn>(exports[3]);

    ForeignState st;
    st.fd = OpenFile(file_name);
    if (st.fd < 0) return Failed("file not found");

    struct stat info_stat;
    const uint64_t length = fstat(st.fd, &info_stat) == 0 && info_stat.st_size > 0
                                ? static_cast<uint64_t>(info_stat.st_size)
                                : 0;
    // Zero-filled, and at least 2 KiB readable even after a skipped prefix.
    const uint64_t buffer_bytes = std::max<uint64_t>(length, kProbeBytes + kPrefixBytes);
    if (buffer_bytes > PhysicalMemory() || buffer_bytes > SIZE_MAX ||
        length > static_cast<uint64_t>(LONG_MAX))
        return Failed("out of memory");
    st.buffer = static_cast<uint8_t *>(std::calloc(1, static_cast<size_t>(buffer_bytes)));
    if (st.buffer == nullptr) return Failed("out of memory");
    if (!ReadAll(st.fd, st.buffer, length)) return Failed("file cannot read");

    const uint8_t *data = st.buffer;
    uint64_t data_length = length;
    if (is_supported(file_name.c_str(), data) == 0) {
        if (length <= static_cast<uint64_t>(kPrefixBytes) ||
            is_supported(file_name.c_str(), data + kPrefixBytes) == 0)
            return Refused("not support", Stage::Header);
        data += kPrefixBytes;
        data_length -= kPrefixBytes;
    }

    if (get_picture(reinterpret_cast<const char *>(data), static_cast<long>(data_length), 1,
                    &st.info, &st.bits, nullptr, 0) != 0)
        return Refused("Picture cannot get", Stage::Data);

    st.info_ptr = static_cast<const uint8_t *>(LocalLock(st.info));
    if (st.info_ptr == nullptr) return Failed("BITMAPINFO cannot lock");
    st.bits_ptr = static_cast<const uint8_t *>(LocalLock(st.bits));
    if (st.bits_ptr == nullptr) return Failed("Image cannot lock");

    // The reader's blocks are not trusted: the header, the colour table and
    // every row must lie inside the blocks they came in.
    const uint64_t info_size = LocalSize(st.info);
    const uint64_t bits_size = LocalSize(st.bits);
    if (info_size < kBitmapHeaderBytes) return Refused("Picture cannot get", Stage::Data);
    const int32_t width = ReadI32(st.info_ptr + 4);
    const int32_t height = ReadI32(st.info_ptr + 8);
    const uint32_t bpp = ReadU16(st.info_ptr + 14);
    if (height == INT32_MIN) return Refused("Picture cannot get", Stage::Data);
    const int32_t rows = height < 0 ? -height : height;
    const bool converted = bpp == 1 || bpp == 4 || bpp == 8 || bpp == 24;
    if (converted && width > 0 && rows > 0) {
        const uint64_t table = bpp == 24 ? 0 : 4ull << bpp;
        if (info_size - kBitmapHeaderBytes < table ||
            RowStride(width, bpp) > bits_size / static_cast<uint64_t>(rows))
            return Refused("Picture cannot get", Stage::Data);
    }

    KvzaImage *image = NewImage(nullptr, width, rows);
    if (image == nullptr) return Failed("out of memory");
    // The block comes zeroed: every pixel is already (0, 0, 0, 0).
    if (converted) ConvertBitmap(image, st.info_ptr, st.bits_ptr, height, bpp);
    return Loaded(image);
}

Attempt LoadWithInputPlugin(const std::string &file_name, const DynLib &lib) {
    const auto pixs = reinterpret_cast<KinPixsFunc>(lib.sym("kin_pixs"));
    const auto load = reinterpret_cast<KinLoadFunc>(lib.sym("kin_load"));
    if (pixs == nullptr || load == nullptr) return LoadWithForeignReader(file_name, lib);
    const auto imgs = reinterpret_cast<KinImgsFunc>(lib.sym("kin_imgs"));
    const char *path = file_name.c_str();

    int32_t offset = 0;
    if (imgs != nullptr && imgs(path, 0) == 0) {
        offset = kPrefixBytes;
        if (imgs(path, offset) == 0) return Refused("bad file format", Stage::Header);
    }

    int32_t width = 0;
    int32_t height = 0;
    int32_t count = pixs(path, offset, &width, &height);
    if (count == 0 && offset == 0) {
        offset = kPrefixBytes;
        count = pixs(path, offset, &width, &height);
    }
    if (count == 0) return Refused("bad file format", Stage::Header);

    // The block comes zeroed, every pixel (0, 0, 0, 0), and its untouched
    // pages take no memory: a header that claims more pixels than its file
    // holds costs no more than the pixels the reader stores.
    KvzaImage *image = NewImage(nullptr, width, height);
    if (image == nullptr) return Failed("out of memory");
    const int32_t status = load(image, path, offset, nullptr);
    if (status == KIN_OK) return Loaded(image);
    ReleaseImage(image);
    if (status == KIN_CANCELED) return {TryEnd::Canceled, nullptr, "load failed", Stage::Data};
    return Refused("load failed", Stage::Data);
}

// The first bytes of the file into head (length: how many there are); false
// when the file cannot be opened.
bool ReadFileStart(const std::string &file_name, uint8_t (&head)[kSignatureBytes], size_t &length) {
    length = 0;
    const int fd = OpenFile(file_name);
    if (fd < 0) return false;
    while (length < kSignatureBytes) {
        const ssize_t got = ::read(fd, head + length, kSignatureBytes - length);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        length += static_cast<size_t>(got);
    }
    ::close(fd);
    return true;
}

// The library for the extension's settings key, by default its default name.
std::string ExtensionLibraryName(PluginDir dir, const std::string &ext) {
    return ReadIniString(dir == PluginDir::Input ? "InPlug" : "OutPlug", ext,
                         DefaultPluginName(dir, ext));
}

// The reader a file's first bytes point to, or empty.
std::string SignatureLibrary(const uint8_t *head, size_t length) {
    const SignatureReader reader = ReaderBySignature(head, length);
    if (reader == SignatureReader::None) return {};
    const std::string ext = SignatureExtension(reader);
    return ext.empty() ? std::string(kWideReaderName) : ExtensionLibraryName(PluginDir::Input, ext);
}

// True when both handles are one loaded library (loaded under two names):
// their reader exports lie at the same addresses.
bool SameLibrary(const DynLib &a, const DynLib &b) {
    for (const char *name : {"kin_pixs", "GetPicture"}) {
        void *const address = a.sym(name);
        if (address != nullptr && address == b.sym(name)) return true;
    }
    return false;
}

}  // namespace

std::string PluginLibraryName(PluginDir dir, const std::string &file_name) {
    // The extension runs from the last "." of the name (not of a folder).
    const size_t slash = file_name.rfind('/');
    const size_t dot = file_name.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    const std::string ext = file_name.substr(dot + 1);
    // A name ending in "." gives no key to look up.
    if (ext.empty()) return {};
    return ExtensionLibraryName(dir, ext);
}

KvzaImage *LoadImageFile(const std::string &file_name, const std::string &library, HostUi &ui) {
    DynLib lib;
    if (!lib.open(library)) {
        ui.ErrorBox("'" + library + "' cannot load");
        return nullptr;
    }
    Attempt attempt = LoadWithInputPlugin(file_name, lib);
    if (attempt.end == TryEnd::Refused) {
        uint8_t head[kSignatureBytes];
        size_t length = 0;
        if (!ReadFileStart(file_name, head, length)) {
            ui.ErrorBox("file not found");
            return nullptr;
        }
        // One more try, with the reader the first bytes name, unless that is
        // the reader that has just refused the file.
        const std::string second = SignatureLibrary(head, length);
        DynLib other;
        if (!second.empty() && second != library && other.open(second) &&
            !SameLibrary(lib, other)) {
            lib.close();
            Attempt again = LoadWithInputPlugin(file_name, other);
            // Of two refusals, the reader that got further has the better word.
            if (again.end != TryEnd::Refused || again.stage >= attempt.stage)
                attempt = std::move(again);
        }
    }
    if (attempt.end == TryEnd::Loaded) return attempt.image;
    ui.ErrorBox(attempt.message);
    return nullptr;  // the libraries unload on return
}

}  // namespace kvzaedit
