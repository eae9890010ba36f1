/* A foreign reader for JPEG files, built on libjpeg.
 *
 * It offers the four-function reader interface the editor uses for formats
 * it has no reader plug-in of its own for: GetPluginInfo, IsSupported,
 * GetPictureInfo and GetPicture. GetPicture hands the decoded picture back as
 * a bottom-up 24-bit device-independent bitmap in two local memory handles:
 * one with the 40-byte bitmap header, one with the rows (blue, green, red,
 * each row padded to a multiple of 4 bytes). The caller owns both handles and
 * frees them with LocalFree.
 */
#include <limits.h>
#include <setjmp.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <unistd.h>

#include <jerror.h>
#include <jpeglib.h>

#include "localmem.h"

#define FOREIGN_API __attribute__((visibility("default")))

/* Results of the interface. */
enum {
    FR_OK = 0,
    FR_CANCELED = 1,       /* the progress callback asked to stop */
    FR_UNKNOWN_FORMAT = 2, /* not a JPEG, or a JPEG this reader cannot decode */
    FR_CORRUPT = 3,        /* the data is damaged */
    FR_NO_MEMORY = 4,      /* memory for the picture cannot be had */
    FR_READ_ERROR = 6,     /* the file cannot be read */
};

/* Bit 0 of the flag: the data is in memory (else it is a file name and the
 * length is the offset of the image in that file). */
#define FR_FLAG_MEMORY 1u

/* What GetPictureInfo reports. */
typedef struct ForeignPictureInfo {
    long left, top;     /* position of the picture; always 0 here */
    long width, height; /* size in pixels */
    uint16_t x_density; /* pixels per metre, 0 when unknown */
    uint16_t y_density;
    int16_t colour_depth; /* bits per pixel of the bitmap GetPicture returns */
    HLOCAL text;          /* text information; never any here */
} ForeignPictureInfo;

/* Progress callback: nonzero asks to stop. */
typedef int (*ForeignProgressFn)(int done, int total, long user_data);

#define BITMAP_HEADER_BYTES 40u

/* ---- decoding ---- */

typedef struct ErrorManager {
    struct jpeg_error_mgr pub;
    jmp_buf jump;
    int truncated; /* the data ended before the picture did */
} ErrorManager;

/* Everything a decode holds, kept outside the function that calls setjmp so
 * that the values survive a jump. */
typedef struct Decoder {
    struct jpeg_decompress_struct cinfo;
    ErrorManager err;
    int created;
    HLOCAL info;
    HLOCAL bits;
    uint8_t *bits_ptr;
    uint8_t *row_buffer; /* one CMYK row */
    int rows_ready;      /* the bitmap is allocated; rows may be delivered */
} Decoder;

static void OnError(j_common_ptr cinfo) {
    ErrorManager *err = (ErrorManager *)cinfo->err;
    longjmp(err->jump, 1);
}

static void OnMessage(j_common_ptr cinfo, int level) {
    ErrorManager *err = (ErrorManager *)cinfo->err;
    /* A file cut short would otherwise be padded row after row with grey;
     * stop there and keep the rows decoded so far. Other warnings are
     * passed over. */
    if (level < 0 && err->pub.msg_code == JWRN_JPEG_EOF) {
        err->truncated = 1;
        longjmp(err->jump, 1);
    }
}

static void OnOutput(j_common_ptr cinfo) {
    (void)cinfo;
}

static uint64_t PhysicalMemory(void) {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long page = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || page <= 0) return UINT64_MAX;
    return (uint64_t)pages * (uint64_t)page;
}

static void PutU16(uint8_t *p, uint32_t v) {
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
}

static void PutU32(uint8_t *p, uint32_t v) {
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
    p[2] = (uint8_t)(v >> 16);
    p[3] = (uint8_t)(v >> 24);
}

/* Pixels per metre from the JFIF density, 0 when it has no unit. */
static uint32_t PixelsPerMetre(const struct jpeg_decompress_struct *cinfo, unsigned density) {
    if (cinfo->density_unit == 1) return (uint32_t)((density * 10000u + 127u) / 254u);
    if (cinfo->density_unit == 2) return density * 100u;
    return 0;
}

/* Starts decoding data: header read and output colour space chosen. */
static void Begin(Decoder *d, const unsigned char *data, unsigned long length) {
    d->cinfo.err = jpeg_std_error(&d->err.pub);
    d->err.pub.error_exit = OnError;
    d->err.pub.emit_message = OnMessage;
    d->err.pub.output_message = OnOutput;
    jpeg_create_decompress(&d->cinfo);
    d->created = 1;
    /* The library's own working memory stays well below the machine's. */
    const uint64_t limit = PhysicalMemory() / 4;
    d->cinfo.mem->max_memory_to_use = limit > (uint64_t)LONG_MAX ? LONG_MAX : (long)limit;
    jpeg_mem_src(&d->cinfo, data, length);
    jpeg_read_header(&d->cinfo, TRUE);
    if (d->cinfo.jpeg_color_space == JCS_CMYK || d->cinfo.jpeg_color_space == JCS_YCCK) {
        d->cinfo.out_color_space = JCS_CMYK;
    } else {
        d->cinfo.out_color_space = JCS_EXT_BGR;
    }
}

/* Blue, green, red of one CMYK pixel. Adobe files store the inks inverted. */
static void CmykToBgr(const uint8_t *cmyk, uint8_t *bgr, int inverted) {
    unsigned c = cmyk[0], m = cmyk[1], y = cmyk[2], k = cmyk[3];
    if (!inverted) {
        c = 255u - c;
        m = 255u - m;
        y = 255u - y;
        k = 255u - k;
    }
    bgr[0] = (uint8_t)((y * k + 127u) / 255u);
    bgr[1] = (uint8_t)((m * k + 127u) / 255u);
    bgr[2] = (uint8_t)((c * k + 127u) / 255u);
}

/* Decodes data into d->info and d->bits. Returns a result code. */
static int Decode(Decoder *d, const unsigned char *data, unsigned long length,
                  ForeignProgressFn progress, long user_data) {
    if (setjmp(d->err.jump) != 0) {
        /* Rows already delivered stand when the data merely ran out. */
        if (d->err.truncated && d->rows_ready) return FR_OK;
        return d->rows_ready ? FR_CORRUPT : FR_UNKNOWN_FORMAT;
    }
    Begin(d, data, length);
    jpeg_start_decompress(&d->cinfo);

    const uint64_t width = d->cinfo.output_width;
    const uint64_t height = d->cinfo.output_height;
    if (width == 0 || height == 0 || width > INT32_MAX || height > INT32_MAX) {
        return FR_UNKNOWN_FORMAT;
    }
    const uint64_t stride = (width * 3u + 3u) / 4u * 4u;
    const uint64_t bytes = stride * height; /* below 2^64: both below 2^33 */
    if (bytes > PhysicalMemory() / 2 || bytes > SIZE_MAX) return FR_NO_MEMORY;

    d->info = LocalAlloc(LHND, BITMAP_HEADER_BYTES);
    d->bits = LocalAlloc(LHND, (size_t)bytes);
    if (d->cinfo.out_color_space == JCS_CMYK) d->row_buffer = (uint8_t *)malloc(width * 4u);
    if (d->info == NULL || d->bits == NULL ||
        (d->cinfo.out_color_space == JCS_CMYK && d->row_buffer == NULL)) {
        return FR_NO_MEMORY;
    }

    uint8_t *header = (uint8_t *)LocalLock(d->info);
    PutU32(header + 0, BITMAP_HEADER_BYTES);
    PutU32(header + 4, (uint32_t)width);
    PutU32(header + 8, (uint32_t)height); /* positive: bottom row first */
    PutU16(header + 12, 1);               /* planes */
    PutU16(header + 14, 24);              /* bits per pixel */
    PutU32(header + 16, 0);               /* no compression */
    PutU32(header + 20, bytes > UINT32_MAX ? 0u : (uint32_t)bytes);
    PutU32(header + 24, PixelsPerMetre(&d->cinfo, d->cinfo.X_density));
    PutU32(header + 28, PixelsPerMetre(&d->cinfo, d->cinfo.Y_density));
    LocalUnlock(d->info);

    d->bits_ptr = (uint8_t *)LocalLock(d->bits);
    d->rows_ready = 1;
    const int inverted = d->cinfo.saw_Adobe_marker;
    while (d->cinfo.output_scanline < d->cinfo.output_height) {
        const uint64_t y = d->cinfo.output_scanline;
        uint8_t *row = d->bits_ptr + (height - 1u - y) * stride;
        JSAMPROW target = d->row_buffer != NULL ? d->row_buffer : row;
        if (jpeg_read_scanlines(&d->cinfo, &target, 1) != 1) break;
        if (d->row_buffer != NULL) {
            for (uint64_t x = 0; x < width; ++x) {
                CmykToBgr(d->row_buffer + 4u * x, row + 3u * x, inverted);
            }
        }
        if (progress != NULL && progress((int)(y + 1u), (int)height, user_data) != 0) {
            return FR_CANCELED;
        }
    }
    jpeg_finish_decompress(&d->cinfo);
    return FR_OK;
}

/* Reads the header of data into info. Returns a result code. */
static int ReadInfo(Decoder *d, const unsigned char *data, unsigned long length,
                    ForeignPictureInfo *info) {
    if (setjmp(d->err.jump) != 0) return FR_UNKNOWN_FORMAT;
    Begin(d, data, length);
    memset(info, 0, sizeof *info);
    info->width = (long)d->cinfo.image_width;
    info->height = (long)d->cinfo.image_height;
    info->x_density = (uint16_t)PixelsPerMetre(&d->cinfo, d->cinfo.X_density);
    info->y_density = (uint16_t)PixelsPerMetre(&d->cinfo, d->cinfo.Y_density);
    info->colour_depth = 24;
    return FR_OK;
}

static void ReleaseDecoder(Decoder *d, int keep_picture) {
    if (d->created) jpeg_destroy_decompress(&d->cinfo);
    free(d->row_buffer);
    if (d->bits_ptr != NULL) LocalUnlock(d->bits);
    if (!keep_picture) {
        LocalFree(d->bits);
        LocalFree(d->info);
    }
}

/* The bytes of a file from offset on, in a malloc block. */
static int ReadFileFrom(const char *path, long offset, unsigned char **out, unsigned long *length) {
    if (path == NULL || offset < 0) return FR_READ_ERROR;
    FILE *file = fopen(path, "rb");
    if (file == NULL) return FR_READ_ERROR;
    int result = FR_READ_ERROR;
    off_t end;
    if (fseeko(file, 0, SEEK_END) == 0 && (end = ftello(file)) >= (off_t)offset &&
        fseeko(file, (off_t)offset, SEEK_SET) == 0) {
        const uint64_t size = (uint64_t)(end - (off_t)offset);
        if (size > PhysicalMemory() || size > SIZE_MAX - 1u) {
            result = FR_NO_MEMORY;
        } else {
            unsigned char *data = (unsigned char *)malloc((size_t)size + 1u);
            if (data == NULL) {
                result = FR_NO_MEMORY;
            } else if (fread(data, 1, (size_t)size, file) != (size_t)size) {
                free(data);
            } else {
                *out = data;
                *length = (unsigned long)size;
                result = FR_OK;
            }
        }
    }
    fclose(file);
    return result;
}

/* Points data/length at the picture's bytes, reading the file if needed;
 * *owned is set to a block the caller frees. */
static int GetSource(const char *buf, long len, unsigned flag, const unsigned char **data,
                     unsigned long *length, unsigned char **owned) {
    *owned = NULL;
    if (buf == NULL) return FR_READ_ERROR;
    if ((flag & FR_FLAG_MEMORY) != 0) {
        if (len <= 0) return FR_UNKNOWN_FORMAT;
        *data = (const unsigned char *)buf;
        *length = (unsigned long)len;
        return FR_OK;
    }
    const int result = ReadFileFrom(buf, len, owned, length);
    *data = *owned;
    return result;
}

/* ---- the exports ---- */

static const char *const kInfo[] = {
    "00IN",
    "JPEG reader for the KVZA editor (libjpeg)",
    "*.jpg;*.jpeg;*.jpe;*.jfif",
    "JPEG picture",
};

FOREIGN_API int GetPluginInfo(int infono, char *buf, int buflen) {
    if (infono < 0 || infono >= (int)(sizeof kInfo / sizeof kInfo[0]) || buf == NULL ||
        buflen <= 0) {
        return 0;
    }
    const size_t text = strlen(kInfo[infono]);
    const size_t copied = text < (size_t)buflen - 1u ? text : (size_t)buflen - 1u;
    memcpy(buf, kInfo[infono], copied);
    buf[copied] = '\0';
    return (int)copied;
}

/* data holds at least the first 2 KiB of the file. */
FOREIGN_API int IsSupported(const char *filename, const void *data) {
    (void)filename;
    const unsigned char *p = (const unsigned char *)data;
    if (p == NULL) return 0;
    return p[0] == 0xFF && p[1] == 0xD8 && p[2] == 0xFF;
}

FOREIGN_API int GetPictureInfo(const char *buf, long len, unsigned flag, ForeignPictureInfo *info) {
    if (info == NULL) return FR_UNKNOWN_FORMAT;
    const unsigned char *data = NULL;
    unsigned long length = 0;
    unsigned char *owned = NULL;
    int result = GetSource(buf, len, flag, &data, &length, &owned);
    if (result != FR_OK) return result;

    Decoder d;
    memset(&d, 0, sizeof d);
    result = ReadInfo(&d, data, length, info);
    ReleaseDecoder(&d, 0);
    free(owned);
    return result;
}

FOREIGN_API int GetPicture(const char *buf, long len, unsigned flag, HLOCAL *pHBInfo, HLOCAL *pHBm,
                           ForeignProgressFn progress, long lData) {
    if (pHBInfo == NULL || pHBm == NULL) return FR_UNKNOWN_FORMAT;
    *pHBInfo = NULL;
    *pHBm = NULL;
    const unsigned char *data = NULL;
    unsigned long length = 0;
    unsigned char *owned = NULL;
    int result = GetSource(buf, len, flag, &data, &length, &owned);
    if (result != FR_OK) return result;

    Decoder d;
    memset(&d, 0, sizeof d);
    result = Decode(&d, data, length, progress, lData);
    ReleaseDecoder(&d, result == FR_OK);
    if (result == FR_OK) {
        *pHBInfo = d.info;
        *pHBm = d.bits;
    }
    free(owned);
    return result;
}
