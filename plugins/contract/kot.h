/* kot.h - the contract between the editor and its output (writer) plug-ins.
 *
 * A writer plug-in is a shared library exporting kot_getusabletbl,
 * kot_getusabletbl_img and kot_save, and optionally kot_typehint. It
 * describes the pixel layouts and the options it offers in a KotUsableTable;
 * the save dialog shows them and fills a KotSaveOptions with the user's
 * choices, which kot_save then reads.
 * The records use this platform's natural alignment; the table is
 * KOT_USABLE_TABLE_SIZE bytes and the host passes that size.
 */
#ifndef KOT_H
#define KOT_H

#include <stddef.h>
#include <stdint.h>

#include "kvza.h"

/* Export macro for the functions of a writer plug-in. */
#if defined(_WIN32)
#define KOT_API __declspec(dllexport)
#else
#define KOT_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Status codes of kot_save and kot_getusabletbl_img. */
enum kot_status {
    KOT_OK = 0,       /* file written / table copied */
    KOT_FAILED = 1,   /* bad argument, unsupported choice or failed write */
    KOT_CANCELED = 2, /* stopped by the progress callback */
};

#define KOT_MAX_TRACKS 4          /* track bars a table can describe */
#define KOT_MAX_SWITCHES 16       /* switches a table can describe */
#define KOT_USABLE_BYTES 32       /* bit set over pixel-type ids 0..255 */
#define KOT_USABLE_TABLE_SIZE 424 /* sizeof(KotUsableTable) on this platform */

/* One track bar: caption, hint and the slider's range and steps. */
typedef struct KotTrackSpec {
    const char *name; /* caption (UTF-8) */
    const char *hint; /* hint text (UTF-8) */
    int16_t min;
    int16_t max;
    int16_t frequency; /* tick spacing */
    int16_t line_size; /* arrow-key step */
    int16_t page_size; /* page step */
    int16_t position;  /* default position */
} KotTrackSpec;

/* What a writer offers. Strings live in the plug-in's static data. */
typedef struct KotUsableTable {
    uint8_t track_count;                       /* track bars in use; the host reads at most 4 */
    uint16_t switch_mask;                      /* bit i: switch i exists */
    uint16_t switch_defaults;                  /* bit i: initial state of switch i */
    const char *switch_name[KOT_MAX_SWITCHES]; /* caption of switch i */
    const char *switch_hint[KOT_MAX_SWITCHES]; /* hint of switch i */
    KotTrackSpec track[KOT_MAX_TRACKS];
    /* id n is usable when bit (n mod 8) of byte (n div 8) is set */
    uint8_t usable[KOT_USABLE_BYTES];
} KotUsableTable;

/* The user's choices for one save. */
typedef struct KotSaveOptions {
    int16_t type;                  /* chosen pixel-type id; 0 = none chosen */
    uint16_t switches;             /* bit i: switch i on */
    uint8_t valid;                 /* nonzero once the record holds the user's choices */
    int16_t track[KOT_MAX_TRACKS]; /* position of track bar i */
} KotSaveOptions;

/* Returns the plug-in's table, built on the first call and unchanged after;
 * it stays valid while the library is loaded. Callers copy, never free it. */
KOT_API KotUsableTable *kot_getusabletbl(void);

/* Copies the table for saving image into table_out (size bytes long).
 * Returns 1 when image or table_out is NULL or size is below
 * KOT_USABLE_TABLE_SIZE (the buffer is then untouched), else 0. */
KOT_API int32_t kot_getusabletbl_img(KotUsableTable *table_out, uint32_t size,
                                     const KvzaImage *image);

/* Writes image to the file at path (created or truncated) in the layout and
 * options chosen. progress may be NULL. Returns 0 when written, 1 on failure,
 * 2 when cancelled; a partly written file stays. */
KOT_API int32_t kot_save(KvzaImage *image, const char *path, const KotSaveOptions *options,
                         KvzaProgress *progress);

/* Optional: a short UTF-8 hint on layout id for the save dialog (that other
 * programs refuse the layout or read it differently), or NULL when there is
 * nothing to say. The text lives in the plug-in's static data. A host that
 * does not find this export shows no hint. */
KOT_API const char *kot_typehint(int32_t id);

/* Pointer types for the host's dlsym look-ups. */
typedef KotUsableTable *(*KotGetUsableTblFn)(void);
typedef int32_t (*KotGetUsableTblImgFn)(KotUsableTable *table_out, uint32_t size,
                                        const KvzaImage *image);
typedef int32_t (*KotSaveFn)(KvzaImage *image, const char *path, const KotSaveOptions *options,
                             KvzaProgress *progress);
typedef const char *(*KotTypeHintFn)(int32_t id);

#ifdef __cplusplus
} /* extern "C" */
#endif

/* The layout is shared with every plug-in and the host: pin it down. */
KVZA_STATIC_ASSERT(sizeof(KotTrackSpec) == 32, "two pointers, six int16, padding");
KVZA_STATIC_ASSERT(offsetof(KotTrackSpec, min) == 16, "numbers follow the two pointers");
KVZA_STATIC_ASSERT(offsetof(KotUsableTable, switch_mask) == 2, "switch_mask at byte 2");
KVZA_STATIC_ASSERT(offsetof(KotUsableTable, switch_defaults) == 4, "switch_defaults at byte 4");
KVZA_STATIC_ASSERT(offsetof(KotUsableTable, switch_name) == 8, "switch_name at byte 8");
KVZA_STATIC_ASSERT(offsetof(KotUsableTable, switch_hint) == 136, "switch_hint at byte 136");
KVZA_STATIC_ASSERT(offsetof(KotUsableTable, track) == 264, "track at byte 264");
KVZA_STATIC_ASSERT(offsetof(KotUsableTable, usable) == 392, "usable at byte 392");
KVZA_STATIC_ASSERT(sizeof(KotUsableTable) == KOT_USABLE_TABLE_SIZE, "table size");
KVZA_STATIC_ASSERT(offsetof(KotSaveOptions, switches) == 2, "switches at byte 2");
KVZA_STATIC_ASSERT(offsetof(KotSaveOptions, valid) == 4, "valid at byte 4");
KVZA_STATIC_ASSERT(offsetof(KotSaveOptions, track) == 6, "track at byte 6");
KVZA_STATIC_ASSERT(sizeof(KotSaveOptions) == 14, "save options size");

#endif /* KOT_H */
