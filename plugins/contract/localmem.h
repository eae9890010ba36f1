/* localmem.h - local memory handles shared by the editor and foreign readers.
 *
 * A foreign reader hands its bitmap back in two memory handles that the host
 * locks, reads and frees. A handle points to a small header that records the
 * size of its block; the block follows the header. The functions are static
 * inline, so each library carries its own copy, but every copy agrees on this
 * layout; the block is taken with malloc and given back with free, which are
 * shared by the whole process, so a handle allocated in a reader can be freed
 * by the host.
 */
#ifndef KVZA_LOCALMEM_H
#define KVZA_LOCALMEM_H

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

/* Allocation flags. Every block can be locked; FIXED and MOVEABLE differ only
 * in name here. */
#define LMEM_FIXED 0x0000u
#define LMEM_MOVEABLE 0x0002u
#define LMEM_ZEROINIT 0x0040u
#define LHND (LMEM_MOVEABLE | LMEM_ZEROINIT)
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)

/* Marks a block handed out here, so that a pointer from elsewhere is refused. */
#define KVZA_LOCALMEM_MAGIC 0x4B4C4D48u /* "HMLK" */

typedef void *HLOCAL;

/* The header in front of every block: 16 bytes, so the block that follows
 * keeps malloc's alignment. */
typedef struct KvzaLocalHeader {
    uint32_t magic;      /* KVZA_LOCALMEM_MAGIC while the block lives */
    uint32_t lock_count; /* locks not yet undone */
    uint64_t size;       /* bytes of the block */
} KvzaLocalHeader;

/* A handle for a block of bytes bytes (zero-filled with LMEM_ZEROINIT), or
 * NULL when the memory cannot be had. A block of 0 bytes gets a handle that
 * cannot be locked. */
static inline HLOCAL LocalAlloc(unsigned flags, size_t bytes) {
    if (bytes > SIZE_MAX - sizeof(KvzaLocalHeader)) return NULL;
    KvzaLocalHeader *header = (KvzaLocalHeader *)malloc(sizeof(KvzaLocalHeader) + bytes);
    if (header == NULL) return NULL;
    header->magic = KVZA_LOCALMEM_MAGIC;
    header->lock_count = 0;
    header->size = (uint64_t)bytes;
    if ((flags & LMEM_ZEROINIT) != 0 && bytes > 0) memset(header + 1, 0, bytes);
    return (HLOCAL)header;
}

/* The address of the block, or NULL for a missing or empty handle. */
static inline void *LocalLock(HLOCAL handle) {
    KvzaLocalHeader *header = (KvzaLocalHeader *)handle;
    if (header == NULL || header->magic != KVZA_LOCALMEM_MAGIC || header->size == 0) return NULL;
    if (header->lock_count < UINT32_MAX) header->lock_count++;
    return (void *)(header + 1);
}

/* Undoes one lock; nonzero while the block stays locked. */
static inline int LocalUnlock(HLOCAL handle) {
    KvzaLocalHeader *header = (KvzaLocalHeader *)handle;
    if (header == NULL || header->magic != KVZA_LOCALMEM_MAGIC || header->lock_count == 0) {
        return 0;
    }
    header->lock_count--;
    return header->lock_count != 0;
}

/* Bytes of the block; 0 for a missing handle. */
static inline size_t LocalSize(HLOCAL handle) {
    const KvzaLocalHeader *header = (const KvzaLocalHeader *)handle;
    if (header == NULL || header->magic != KVZA_LOCALMEM_MAGIC) return 0;
    return (size_t)header->size;
}

/* Frees the block; NULL on success, the handle itself when it is not a
 * live handle. */
static inline HLOCAL LocalFree(HLOCAL handle) {
    KvzaLocalHeader *header = (KvzaLocalHeader *)handle;
    if (header == NULL) return NULL;
    if (header->magic != KVZA_LOCALMEM_MAGIC) return handle;
    header->magic = 0;
    free(header);
    return NULL;
}

#endif /* KVZA_LOCALMEM_H */
