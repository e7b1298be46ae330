/* epochsift's C interface: the engine behind one flat set of functions, for
 * the WebAssembly build the web page runs and for any language that can call
 * C.
 *
 * Texts cross the boundary as UTF-8 bytes with a length (no terminator is
 * read). Options are one JSON object, or an empty text for none; a key a
 * function does not take is an error, so a misspelt option never passes
 * unnoticed:
 *
 *   "extended"   true/false      rank with the extended evidence
 *   "hint"       string          the artifact the value came from
 *   "byte_width" integer 1..16   width of the stored field
 *   "byte_order" "little"/"big"  order of the stored field
 *   "neighbours" [integer, ...]  the same field's other values, stored order
 *   "window"     [start, end]    RFC 3339 texts with offsets, or integer ns
 *   "best"       integer >= 1    keep the first `best` readings
 *   "families"   [string, ...]   encode: the family ids to write
 *
 * Every function that answers writes a new buffer: *out points at `*out_size`
 * bytes of UTF-8 JSON (not terminated), which the caller releases with
 * epochsift_free. On failure the buffer holds {"error":"..."} and the status
 * says why. Readings are UTC only: this interface reads no zone files, so a
 * host shows instants in its own zones.
 *
 * The engine is single-threaded per call; the functions keep no state but the
 * open column readers. A WebAssembly host first calls the reactor's
 * _initialize export, then writes inputs into memory from epochsift_alloc. */
#ifndef EPOCHSIFT_H
#define EPOCHSIFT_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__wasm__)
#define EPOCHSIFT_API __attribute__((visibility("default"), used))
#else
#define EPOCHSIFT_API __attribute__((visibility("default")))
#endif

typedef enum epochsift_status {
    EPOCHSIFT_OK = 0,
    EPOCHSIFT_BAD_ARGUMENT = 1, /* a null pointer with a non-zero size, an unknown column id, bad bytes */
    EPOCHSIFT_BAD_OPTIONS = 2,  /* options that are not a JSON object of known keys and valid values */
    EPOCHSIFT_BAD_INSTANT = 3,  /* encode: not an instant within years -9999 to 9999 */
    EPOCHSIFT_NO_MEMORY = 4,    /* the answer could not be allocated; *out is null */
} epochsift_status;

/* Room for the caller's inputs; null when size is 0 or memory runs out. */
EPOCHSIFT_API void* epochsift_alloc(size_t size);
/* Frees a buffer from epochsift_alloc or an answer; null is ignored. */
EPOCHSIFT_API void epochsift_free(void* buffer);

/* The ranked readings of one value as a JSON array, each reading an object
 * with format_id, label, citation, instant, rendered, score, components,
 * assumptions and sentinel: byte for byte the Python module's identify_json
 * (UTC, no zones). Options: extended, hint, byte_width, byte_order,
 * neighbours, window, best. */
EPOCHSIFT_API int epochsift_identify(const char* value, size_t value_size, const char* options,
                                     size_t options_size, char** out, size_t* out_size);

/* Raw bytes (1 to 16) read through every integer family in each byte order
 * (only byte_order's when given) and the binary records of their width; an
 * extended reading. Options: hint, byte_order, window, best. */
EPOCHSIFT_API int epochsift_identify_bytes(const uint8_t* bytes, size_t size, const char* options,
                                           size_t options_size, char** out, size_t* out_size);

/* Text spelling bytes in hex ("6817855a", "0x6817855A", "00 00 01 8b",
 * "aa:bb:cc") read as epochsift_identify_bytes reads them; a text that
 * spells no bytes is EPOCHSIFT_BAD_ARGUMENT. */
EPOCHSIFT_API int epochsift_identify_hex(const char* text, size_t size, const char* options, size_t options_size,
                                         char** out, size_t* out_size);

/* The best reading of each line of `lines` (separated by "\n", a "\r"
 * before it dropped) as a JSON array with one item a line: null when nothing
 * reads the line, else [format_id, label, rendered or null, instant as a
 * decimal string, score]. Options as epochsift_identify, but for best. */
EPOCHSIFT_API int epochsift_identify_lines(const char* lines, size_t size, const char* options,
                                           size_t options_size, char** out, size_t* out_size);

/* A column read in pieces. open: *column receives an id (options: hint,
 * byte_width, byte_order, window). add: the next lines of the column, in
 * order, split as epochsift_identify_lines splits them. verdicts: the
 * column's verdicts so far as identify_column's JSON array (format_id,
 * label, score, read, in_window, ordered, first, last and, for bytes,
 * byte_order). close: releases the id. */
EPOCHSIFT_API int epochsift_column_open(const char* options, size_t options_size, uint32_t* column, char** out,
                                        size_t* out_size);
EPOCHSIFT_API int epochsift_column_add(uint32_t column, const char* lines, size_t size);
EPOCHSIFT_API int epochsift_column_verdicts(uint32_t column, char** out, size_t* out_size);
EPOCHSIFT_API int epochsift_column_close(uint32_t column);

/* The value every family would hold for an instant (integer nanoseconds or
 * RFC 3339 text with an offset) as a JSON array of objects with format_id,
 * label, value, instant, rendered, hex_be, hex_le, exact and assumptions.
 * Options: families. */
EPOCHSIFT_API int epochsift_encode(const char* when, size_t when_size, const char* options, size_t options_size,
                                   char** out, size_t* out_size);

#ifdef __cplusplus
}
#endif

#endif /* EPOCHSIFT_H */
