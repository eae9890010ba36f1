/* kin.h - the contract between the editor and its input (reader) plug-ins.
 *
 * A reader plug-in is a shared library exporting kin_imgs, kin_pixs and
 * kin_load. It keeps no state: every export opens the file by its path, seeks
 * to the offset (0, or 128 when the file carries a 128-byte prefix), parses
 * the header again, reads what it needs and closes the file before returning.
 * The host allocates the image with the size kin_pixs reported, clears it to
 * (0, 0, 0, 0) and hands it to kin_load; the plug-in writes every pixel
 * through kvza_getpixptr, so a record smaller than the file's image is never
 * written outside itself.
 */
#ifndef KIN_H
#define KIN_H

#include <stdint.h>

#include "kvza.h"

/* Export macro for the three functions of a reader plug-in. */
#if defined(_WIN32)
#define KIN_API __declspec(dllexport)
#else
#define KIN_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Status codes of kin_load. */
enum kin_status {
    KIN_OK = 0,       /* image loaded */
    KIN_FAILED = 1,   /* cannot open, header refused, unsupported, out of memory, data short */
    KIN_CANCELED = 2, /* stopped by the progress callback; the pixels stored so far remain */
};

/* Number of images the file holds at offset; 0 when the file cannot be opened
 * or is not of this format. Optional for a plug-in. */
KIN_API int32_t kin_imgs(const char *path, int32_t offset);

/* Pixel count width x height of the first image at offset, or 0 when the file
 * cannot be opened or its header is refused. Stores the size through the
 * pointers that are not NULL; after a 0 the stored values mean nothing. */
KIN_API int32_t kin_pixs(const char *path, int32_t offset, int32_t *width, int32_t *height);

/* Decodes the first image at offset into image (allocated and cleared by the
 * caller). progress may be NULL. Returns a kin_status; on success pixtype is
 * set where the format names one. */
KIN_API int32_t kin_load(KvzaImage *image, const char *path, int32_t offset,
                         KvzaProgress *progress);

/* The exports as the host resolves them. */
typedef int32_t (*KinImgsFunc)(const char *path, int32_t offset);
typedef int32_t (*KinPixsFunc)(const char *path, int32_t offset, int32_t *width, int32_t *height);
typedef int32_t (*KinLoadFunc)(KvzaImage *image, const char *path, int32_t offset,
                               KvzaProgress *progress);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* KIN_H */
