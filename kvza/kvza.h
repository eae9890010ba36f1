/* kvza.h - the KVZA image library.
 *
 * Every pixel is four 32-bit floats: c and s (chroma times cosine and sine of
 * the hue), w (whiteness, -1 black .. 1 white) and a (alpha). The library
 * never allocates, keeps or frees an image; it works on the blocks its caller
 * hands it. Operations return 0 when done, 1 for a missing argument or an
 * impossible request, 2 when the progress callback asked them to stop (the
 * target then keeps what was already processed). Every progress argument may
 * be NULL.
 */
#ifndef KVZA_H
#define KVZA_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#define KVZA_API __declspec(dllexport)
#else
#define KVZA_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Status codes of every operation. */
enum kvza_status {
    KVZA_OK = 0,       /* done */
    KVZA_FAILED = 1,   /* a pointer is missing or the request cannot be met */
    KVZA_CANCELED = 2, /* stopped by the progress callback */
};

/* Wrap modes: how a coordinate outside the image resolves, per axis. */
enum kvza_wrap {
    KVZA_WRAP_CLAMP = 0,  /* nearest edge pixel (also any unknown value) */
    KVZA_WRAP_WRAP = 1,   /* tiling */
    KVZA_WRAP_MIRROR = 2, /* reflected tiling */
    KVZA_WRAP_BORDER = 3, /* the image's border colour */
};

/* Alpha modes of the palette operations. */
enum kvza_alpha_mode {
    KVZA_ALPHA_OPAQUE = 0, /* alpha ignored, palettes opaque */
    KVZA_ALPHA_BINARY = 1, /* alpha two-valued, threshold 0.001 */
    KVZA_ALPHA_FULL = 2,   /* alpha is a fourth distance dimension */
};

/* One pixel. The same record carries RGBA and HLSA at the conversions. */
typedef struct KvzaPixel {
    float c; /* chroma x cos(hue), -1 .. 1 */
    float s; /* chroma x sin(hue), -1 .. 1 */
    float w; /* whiteness, -1 .. 1 */
    float a; /* alpha, 0 transparent .. 1 opaque */
} KvzaPixel;

#define KVZA_VIEWINFO_BYTES 88
#define KVZA_PALETTE_ENTRIES 256
#define KVZA_HEADER_BYTES 4216 /* bytes before the first pixel */

/* One image: header, palette and pixels in one block of
 * KVZA_HEADER_BYTES + 16 x width x height bytes. */
typedef struct KvzaImage {
    int32_t width;   /* pixels per row (used as unsigned) */
    int32_t height;  /* rows (used as unsigned) */
    int16_t pixtype; /* pixel-type id the image was read as, 0 if new */
    uint16_t reserved;
    uint8_t wrapx; /* enum kvza_wrap for x */
    uint8_t wrapy; /* enum kvza_wrap for y */
    uint8_t pad[2];
    uint8_t viewinfo[KVZA_VIEWINFO_BYTES]; /* bytes 0..2: background R, G, B */
    KvzaPixel border;                      /* colour outside a Border axis */
    KvzaPixel palette[KVZA_PALETTE_ENTRIES];
    KvzaPixel pixels[]; /* row 0 is the top row; pixel (x, y) is x + y x width */
} KvzaImage;

/* Progress and cancel record. The caller fills callback, userdata and
 * interval; operations set count, done and total. */
typedef int32_t (*KvzaProgressCallback)(void *userdata, uint32_t done, uint32_t total);
typedef struct KvzaProgress {
    KvzaProgressCallback callback; /* nonzero return asks to stop; may be NULL */
    void *userdata;
    uint32_t interval; /* the callback runs every interval+1 counted steps */
    uint32_t count;    /* steps since the callback last ran */
    uint32_t done;     /* steps done, never above total */
    uint32_t total;    /* steps expected */
} KvzaProgress;

/* ---- image record, pixel access, progress ---- */

/* Address of the pixel (x, y) resolves to under the wrap modes, or of border. */
KVZA_API KvzaPixel *kvza_getpixptr(KvzaImage *image, int32_t x, int32_t y);
/* Sets every pixel to colour. */
KVZA_API int32_t kvza_clr(KvzaImage *image, const KvzaPixel *colour, KvzaProgress *progress);
/* Copies (mode 0) or mixes by source alpha x factor (mode 1) a rectangle. */
KVZA_API int32_t kvza_copy(KvzaImage *dst, int32_t dx, int32_t dy, const KvzaImage *src, int32_t sx,
                           int32_t sy, int32_t width, int32_t height, int32_t mode, float factor,
                           KvzaProgress *progress);
/* Limits each float of an RGBA record to 0 .. 1. */
KVZA_API void kvza_cliprgba(KvzaPixel *dst, const KvzaPixel *src);
/* Projects the colour into the unit ball and limits alpha to -1 .. 1. */
KVZA_API void kvza_clipkvza(KvzaPixel *dst, const KvzaPixel *src);
/* Starts a count of width x height steps. */
KVZA_API void kvza_progress_setup(const KvzaImage *image, KvzaProgress *progress);
/* Counts one step; returns the callback's answer when it ran, else 0. */
KVZA_API int32_t kvza_progress_count(const KvzaImage *image, KvzaProgress *progress);
/* How many kvza_progress_count calls from now on would count without running
 * the callback (UINT64_MAX without a record or callback). A caller that
 * stores a run of units at once takes at most this many plus one. */
KVZA_API uint64_t kvza_progress_quiet(const KvzaProgress *progress);
/* n calls of kvza_progress_count at once; stops after the first whose callback
 * asks to stop and returns its answer, else 0. */
KVZA_API int32_t kvza_progress_count_n(const KvzaImage *image, KvzaProgress *progress, uint64_t n);
/* Reports completion (total of total). */
KVZA_API void kvza_progress_final(const KvzaImage *image, KvzaProgress *progress);

/* ---- colour model (destination first; it may be the source) ---- */

/* RGB -> KVZ; the destination's fourth float is untouched. */
KVZA_API void kvza_rgb2kvz(KvzaPixel *dst, const KvzaPixel *src);
/* KVZ -> RGB, unclipped; the destination's fourth float is untouched. */
KVZA_API void kvza_kvz2rgb(KvzaPixel *dst, const KvzaPixel *src);
/* The same two over count pixels (dst is src or does not overlap it), with
   exactly the results of count single calls; a large count runs on all cores. */
KVZA_API void kvza_rgb2kvz_n(KvzaPixel *dst, const KvzaPixel *src, uint64_t count);
KVZA_API void kvza_kvz2rgb_n(KvzaPixel *dst, const KvzaPixel *src, uint64_t count);
/* HLS (hue in turns) -> KVZ; the destination's fourth float is untouched. */
KVZA_API void kvza_hls2kvz(KvzaPixel *dst, const KvzaPixel *src);
/* The same three with alpha copied along. */
KVZA_API void kvza_rgba2kvza(KvzaPixel *dst, const KvzaPixel *src);
KVZA_API void kvza_kvza2rgba(KvzaPixel *dst, const KvzaPixel *src);
KVZA_API void kvza_hlsa2kvza(KvzaPixel *dst, const KvzaPixel *src);
/* Chroma sqrt(c^2 + s^2); 0 for NULL. */
KVZA_API float kvza_getpixchroma(const KvzaPixel *pixel);
/* Hue of p minus hue of q in turns (-0.5 .. 0.5); 0 if either is grey or NULL. */
KVZA_API float kvza_subhue(const KvzaPixel *p, const KvzaPixel *q);

/* ---- interpolation and stretching ---- */

/* Mixes p and q by t; a fully transparent end lends no colour. */
KVZA_API void kvza_interp(KvzaPixel *dst, const KvzaPixel *p, const KvzaPixel *q, double t);
/* Mixes two estimates, each colour weighted by the other's alpha. */
KVZA_API void kvza_blend2(KvzaPixel *dst, const KvzaPixel *p, const KvzaPixel *q);
/* Resample src into dst (already of the target size). */
KVZA_API int32_t kvza_stretch_near(KvzaImage *dst, const KvzaImage *src, KvzaProgress *progress);
KVZA_API int32_t kvza_stretch_line(KvzaImage *dst, const KvzaImage *src, KvzaProgress *progress);
KVZA_API int32_t kvza_stretch_slant(KvzaImage *dst, const KvzaImage *src, KvzaProgress *progress);
KVZA_API int32_t kvza_stretch_arc(KvzaImage *dst, const KvzaImage *src, KvzaProgress *progress);
KVZA_API int32_t kvza_stretch_shape(KvzaImage *dst, const KvzaImage *src, KvzaProgress *progress);

/* ---- outline, edge and channel maps ---- */

/* Gives fully transparent pixels the colour of their visible neighbours. */
KVZA_API int32_t kvza_adjustoutline(KvzaImage *image, float threshold, KvzaProgress *progress);
/* Fades visible pixels by how many neighbours are transparent. */
KVZA_API int32_t kvza_edgeantialias(KvzaImage *image, float threshold, KvzaProgress *progress);
/* Removes the chroma of every pixel. */
KVZA_API int32_t kvza_graymap(KvzaImage *image, KvzaProgress *progress);
/* Turns alpha into an opaque grey image. */
KVZA_API int32_t kvza_alphamap(KvzaImage *image, KvzaProgress *progress);

/* ---- palette matching and dithering ---- */

/* Ordered-dither decision (0 or 1) for the low byte of value at (x, y).
 * table: 16 x 16 bytes, NULL for the default. */
KVZA_API int32_t kvza_getdither(uint32_t value, int32_t x, int32_t y, uint32_t levels,
                                const uint8_t *table);
/* Index of the palette entry nearest colour. */
KVZA_API int32_t kvza_nearpal(int32_t alphamode, const KvzaPixel *palette, uint32_t count,
                              const KvzaPixel *colour, float chromaweight, float whiteweight,
                              float alphaweight);
/* As kvza_nearpal, dithering between the two nearest entries. */
KVZA_API int32_t kvza_nearpal_dit(int32_t alphamode, const KvzaPixel *palette, uint32_t count,
                                  const KvzaPixel *colour, float chromaweight, float whiteweight,
                                  float alphaweight, int32_t x, int32_t y, uint32_t levels,
                                  const uint8_t *table);
/* kvza_nearpal_dit of n pixels of one row, pixels[j] at (x + j, y), into
 * out[j]; the palette is prepared once for them all. */
KVZA_API void kvza_nearpal_dit_row(int32_t alphamode, const KvzaPixel *palette, uint32_t count,
                                   const KvzaPixel *pixels, uint32_t n, float chromaweight,
                                   float whiteweight, float alphaweight, int32_t x, int32_t y,
                                   uint32_t levels, const uint8_t *table, int32_t *out);

/* ---- palette optimisation and colour reduction ---- */

/* Computes a palette of at most n colours into image->palette. */
KVZA_API int32_t kvza_optimpal(KvzaImage *image, int32_t alphamode, uint32_t n,
                               KvzaProgress *progress);
/* Computes the palette and replaces every pixel by an entry; index (may be
 * NULL) receives width x height palette indices. */
KVZA_API int32_t kvza_reduce(KvzaImage *image, int32_t alphamode, uint32_t n, uint32_t levels,
                             const uint8_t *table, uint8_t *index, KvzaProgress *progress);

#ifdef __cplusplus
} /* extern "C" */
#endif

/* The byte layout is fixed: image blocks pass between processes as they lie in memory. */
#ifdef __cplusplus
#define KVZA_STATIC_ASSERT static_assert
#else
#define KVZA_STATIC_ASSERT _Static_assert
#endif
KVZA_STATIC_ASSERT(sizeof(KvzaPixel) == 16, "KvzaPixel is four floats");
KVZA_STATIC_ASSERT(offsetof(KvzaImage, pixtype) == 8, "pixtype at byte 8");
KVZA_STATIC_ASSERT(offsetof(KvzaImage, reserved) == 10, "reserved at byte 10");
KVZA_STATIC_ASSERT(offsetof(KvzaImage, wrapx) == 12, "wrapx at byte 12");
KVZA_STATIC_ASSERT(offsetof(KvzaImage, wrapy) == 13, "wrapy at byte 13");
KVZA_STATIC_ASSERT(offsetof(KvzaImage, viewinfo) == 16, "viewinfo at byte 16");
KVZA_STATIC_ASSERT(offsetof(KvzaImage, border) == 104, "border at byte 104");
KVZA_STATIC_ASSERT(offsetof(KvzaImage, palette) == 120, "palette at byte 120");
KVZA_STATIC_ASSERT(offsetof(KvzaImage, pixels) == KVZA_HEADER_BYTES, "pixels at byte 4216");
KVZA_STATIC_ASSERT(sizeof(KvzaProgress) == 32, "two pointers and four counters");

#endif /* KVZA_H */
