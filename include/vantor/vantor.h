/* Vantor: reads the text of QR Code symbols out of grey images.
 *
 * Two interfaces live here.
 *
 * The vantor_ API is reentrant: any number of threads may call it at once,
 * each call works on its own state, and nothing carries over between calls.
 * Every object it returns is owned by the caller and freed with the matching
 * vantor_*_free function; pointers read out of an object stay valid until
 * that object is freed. Strings passed in are copied.
 *
 * The classic entry points (decode_image, decoder_version, and read_image in
 * image.h) keep one process-wide state and are not re-entrant; see below. */
#ifndef VANTOR_VANTOR_H
#define VANTOR_VANTOR_H

#include <stddef.h>
#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Images ------------------------------------------------------------ */

/* An 8-bit grey image: width x height bytes, row-major, top row first,
 * 0 black to 255 white, rows `width` bytes apart. */
typedef struct vantor_image vantor_image;

/* Why reading a file failed. */
typedef enum vantor_read_status {
    VANTOR_READ_OK = 0,
    VANTOR_READ_NO_SUCH_FILE,
    VANTOR_READ_PERMISSION_DENIED,
    VANTOR_READ_IS_DIRECTORY,
    VANTOR_READ_EMPTY_FILE,
    VANTOR_READ_UNKNOWN_FORMAT, /* not an image format Vantor reads */
    VANTOR_READ_DAMAGED,        /* damaged, truncated or too large; see message */
    VANTOR_READ_OUT_OF_MEMORY,
    VANTOR_READ_INVALID_ARGUMENT
} vantor_read_status;

/* Filled by the reading functions; owned by the caller (a local will do). */
/* The image formats the readers take, as users are told. */
#define VANTOR_IMAGE_FORMATS "BMP, JPEG, GIF, PNG, TIFF, WebP, PBM/PGM/PPM"

typedef struct vantor_read_error {
    vantor_read_status status;
    /* The reader's own failure text, as read_message would hold it for the
     * same file, may end in a line feed. Where read_message stays empty for
     * a damaged file (the JPEG library's failures, the BMP reader's), this
     * still names the file and what failed. Empty for the statuses that say
     * all there is (no such file, empty file, ...). */
    char message[1024];
} vantor_read_error;

/* A short English text for a status ("no such file", "is a directory", ...).
 * Static storage; never NULL. */
const char *vantor_read_status_text(vantor_read_status status);

/* Reads the image file at path, recognised by its leading bytes. Returns a
 * new image, or NULL with *error filled (error may be NULL). The pixels and
 * depth are those read_image gives for the same file. */
vantor_image *vantor_image_read(const char *path, vantor_read_error *error);

/* Same, for page `page` (0 first) of a file that holds several images
 * (TIFF pages, PDF pages); page 0 of any other format. */
vantor_image *vantor_image_read_page(const char *path, int page, vantor_read_error *error);

/* The resolution PDF pages render at unless the caller asks for another:
 * a module of a third of a millimetre, as small as printers make them,
 * renders about 4 pixels wide. */
#define VANTOR_PDF_DPI 300

/* Same as vantor_image_read_page, with PDF pages rendered at dpi dots per
 * inch (1 to 4800; 0: VANTOR_PDF_DPI). Other formats ignore dpi. */
vantor_image *vantor_image_read_page_dpi(const char *path, int page, int dpi, vantor_read_error *error);

/* A new image holding a copy of width x height grey pixels whose rows are
 * stride bytes apart (stride >= width). depth as in vantor_decode_pixels.
 * NULL on a bad argument or when memory runs out. */
vantor_image *vantor_image_from_pixels(const unsigned char *pixels, int width, int height,
                                       int stride, int depth);

void vantor_image_free(vantor_image *image); /* NULL is fine */

int vantor_image_width(const vantor_image *image);
int vantor_image_height(const vantor_image *image);
/* 1: a two-level source whose pixels are only 0 and 255; 8 otherwise. */
int vantor_image_depth(const vantor_image *image);
/* width x height bytes, rows width bytes apart. */
const unsigned char *vantor_image_pixels(const vantor_image *image);
/* Pages in the file the image came from (1 for single-image formats). */
int vantor_image_page_count(const vantor_image *image);
/* The format of the file the image came from ("BMP", "JPEG", "GIF", "PNG",
 * "TIFF", "WebP", "PNM", "PDF"); "" for an image made from pixels. */
const char *vantor_image_format(const vantor_image *image);
/* Warnings the reader gave while the file still read (for example a
 * truncated JPEG scan), one per line; "" when none. */
const char *vantor_image_warnings(const vantor_image *image);

/* ---- Options ----------------------------------------------------------- */

typedef struct vantor_options vantor_options;

/* Called with each trace line, zero-terminated and ending in "\n". */
typedef void (*vantor_trace_fn)(const char *line, void *user);

/* New options with the defaults: no trace, no debug images, the thorough
 * search on, the first symbol only, VANTOR_EFFORT_DEFAULT. NULL when memory
 * runs out. */
vantor_options *vantor_options_new(void);
void vantor_options_free(vantor_options *options); /* NULL is fine */

/* The decoder's trace lines go to stream (NULL: none). The stream stays the
 * caller's; a stream shared between threads interleaves their lines. */
void vantor_options_set_trace_file(vantor_options *options, FILE *stream);
/* The trace lines go to fn (NULL: none); replaces a trace file. */
void vantor_options_set_trace_callback(vantor_options *options, vantor_trace_fn fn, void *user);
/* Debug images (sample1-P.bmp, ...) are written into dir; NULL or "": none.
 * Calls sharing a directory overwrite each other's images. */
void vantor_options_set_debug_dir(vantor_options *options, const char *dir);
/* Nonzero (default): when the classic readings give no text, run the
 * thorough search. */
void vantor_options_set_thorough(vantor_options *options, int on);
/* Nonzero: return every distinct symbol found; 0 (default): the first. */
void vantor_options_set_all_symbols(vantor_options *options, int on);

/* The kinds of the QR family. */
typedef enum vantor_kind {
    VANTOR_KIND_QR = 0,    /* QR Code (Model 2) */
    VANTOR_KIND_QR_MODEL1, /* QR Code Model 1 */
    VANTOR_KIND_MICRO_QR,  /* Micro QR Code, M1..M4 */
    VANTOR_KIND_RMQR       /* rectangular Micro QR Code */
} vantor_kind;

/* The kinds looked for, as a set of bits (1u << kind); VANTOR_KINDS_ALL is
 * the default. Model 2 is read first; the other kinds are looked for only
 * when it gave no text. Without Model 2 the classic readings do not run (the
 * results hold no readings, and a call that finds nothing gives
 * VANTOR_NO_EYE_PATTERNS). A set without a known kind is refused (the
 * options stay as they were). Returns nonzero when the set was taken. */
#define VANTOR_KINDS_ALL 0xFu
int vantor_options_set_kinds(vantor_options *options, unsigned kinds);

/* The format name of a kind: "QRCode", "QRCodeModel1", "MicroQRCode",
 * "rMQRCode"; "" for a value that is no kind. Static storage. */
const char *vantor_kind_name(vantor_kind kind);

/* How much work a call may spend looking for a symbol.
 *
 * VANTOR_EFFORT_EXHAUSTIVE runs every classic reading of every binarisation
 * pass in order until one gives text, then (when the thorough setting is on
 * and none did) the thorough search: every reading is reported.
 *
 * VANTOR_EFFORT_DEFAULT reads every symbol the exhaustive effort reads on
 * the pictures it was measured on, but looks cheaply first: the first
 * binarisation pass, then a quick scan of a local binarisation of the
 * picture, of its inverse and (with the thorough search on, for blurred
 * symbols) of the picture sharpened for eye patterns. Only when the first
 * pass found a version, or the scans show eye patterns that could make a
 * symbol, does it go on to every pass and the thorough search, exactly as
 * the exhaustive effort does. A picture without that evidence costs a
 * fraction of an exhaustive call; one with it (dense texture, noise) costs
 * a little more than one.
 *
 * VANTOR_EFFORT_FAST is for video frames and similar streams, where the next
 * frame gives another chance: the default effort's first steps and no more.
 * The first pass and the quick looks; where they go on, the search over the
 * first pass's eye patterns (which reads a symbol in perspective, turned or
 * mirrored in a millisecond or so), then, when that reads nothing, at most
 * the first four binarisation passes (the three global thresholds and the
 * first local one). It never costs more than the default effort.
 *
 * At every effort, a picture large enough to hold a symbol whose modules
 * are wider than about 24 pixels (a close-up) and in which nothing was read
 * is looked at again in copies shrunk by 4, 8, 16 ... (each pixel the mean
 * of the block it covers), coarsest first; a copy whose quick look shows eye
 * patterns is read as the effort reads a picture, and the symbols it gives
 * are reported with corners in the picture's pixels. At the default and fast
 * efforts the copies come as soon as the first search read nothing, before
 * the other passes, which run only when no copy gives a symbol; at the
 * exhaustive effort with every symbol asked for, they are read beside the
 * symbols the picture as it is gave. These readings are not listed among
 * the call's readings.
 *
 * The readings a call reports (vantor_results_reading) are those that ran:
 * a reading that did not run is not in the list at all, so under the
 * default and fast efforts a pass may be missing, or the list may be empty
 * when the quick looks alone settled that there is no symbol; the reason
 * then says how far the evidence went (VANTOR_NO_EYE_PATTERNS or
 * VANTOR_EYES_NOT_A_SYMBOL). A trace stream, trace callback or debug folder
 * makes every effort exhaustive, so the trace lines and debug images are
 * those of every pass. */
typedef enum vantor_effort {
    VANTOR_EFFORT_DEFAULT = 0,
    VANTOR_EFFORT_FAST,
    VANTOR_EFFORT_EXHAUSTIVE
} vantor_effort;

/* Sets the effort and returns 1; returns 0 and changes nothing for NULL
 * options or a value that names no effort. */
int vantor_options_set_effort(vantor_options *options, vantor_effort effort);
/* The effort's name, "default", "fast" or "exhaustive" (static; never NULL:
 * "unknown" for a value that names no effort). */
const char *vantor_effort_name(vantor_effort effort);
/* Sets *effort to the effort called name and returns 1; 0 for any other
 * name (or NULL), leaving *effort as it was. */
int vantor_effort_from_name(const char *name, vantor_effort *effort);

/* ---- Decoding ---------------------------------------------------------- */

/* Why a call found no symbol; VANTOR_OK when it found one. A stage is
 * named only when a reading got as far as a plausible symbol: its format
 * information read alike from both copies, or a block of codewords that
 * checks. Otherwise the reason is VANTOR_NO_EYE_PATTERNS (nothing located)
 * or VANTOR_NO_SYMBOL; VANTOR_EYES_NOT_A_SYMBOL to VANTOR_FORMAT_UNREADABLE
 * are no longer given. */
typedef enum vantor_reason {
    VANTOR_OK = 0,
    VANTOR_NO_EYE_PATTERNS,      /* no binarisation showed three eye patterns */
    VANTOR_EYES_NOT_A_SYMBOL,    /* eye patterns never formed a symbol */
    VANTOR_VERSION_UNREADABLE,   /* no version could be determined */
    VANTOR_GRID_FAILED,          /* alignment or module grid failed */
    VANTOR_FORMAT_UNREADABLE,    /* format information unreadable */
    VANTOR_TOO_MANY_ERRORS,      /* codeword errors beyond the blocks' capacity */
    VANTOR_UNSUPPORTED_CONTENT,  /* ECI, structured append, FNC1 or another mode */
    VANTOR_BAD_DATA,             /* the data bit stream gives no text */
    VANTOR_INVALID_ARGUMENT,     /* null pixels, bad size or stride, over 2^28 pixels */
    VANTOR_OUT_OF_MEMORY,
    VANTOR_NO_SYMBOL             /* shapes like eye patterns, but no candidate
                                    got as far as a plausible symbol */
} vantor_reason;

/* A short English text for a reason. Static storage; never NULL. */
const char *vantor_reason_text(vantor_reason reason);

/* How far a reading, or a whole call, got. */
typedef enum vantor_stage {
    VANTOR_STAGE_NONE = 0,   /* nothing located */
    VANTOR_STAGE_EYES,       /* three or more eye pattern candidates */
    VANTOR_STAGE_ARRANGED,   /* three of them picked and oriented */
    VANTOR_STAGE_VERSION,    /* version determined */
    VANTOR_STAGE_GRID,       /* module grid sampled */
    VANTOR_STAGE_FORMAT,     /* format information read */
    VANTOR_STAGE_CODEWORDS,  /* every block corrected to a codeword */
    VANTOR_STAGE_TEXT        /* the data gave text */
} vantor_stage;

const char *vantor_stage_text(vantor_stage stage); /* static; never NULL */

typedef struct vantor_point {
    float x;
    float y;
} vantor_point;

/* One symbol found. Owned by its vantor_results. Fields may be added at the
 * end in later versions: never allocate or copy one by value. */
typedef struct vantor_symbol {
    const unsigned char *bytes; /* the exact data bytes (kanji as Shift JIS
                                   pairs); zero bytes kept; bytes[length] == 0 */
    size_t length;
    const char *text;           /* the bytes for display, as UTF-8 */
    int version;                /* 1..40 for Model 2; see vantor_symbol_kind */
    char level;                 /* 'L', 'M', 'Q' or 'H' (M1: 'L', detection only) */
    int mask;                   /* 0..7; Micro QR 0..3; rMQR 0, its one mask */
    /* The symbol's own top-left, top-right, bottom-right and bottom-left
     * corners (outer edge of the eye patterns), image pixels. */
    vantor_point corners[4];
    int corrected;              /* codewords the error correction changed */
    int pass;                   /* binarisation pass 0..6; -1: thorough search */
    int reading;                /* module-size estimate 0 or 1 of the pass */
    int mirrored;               /* read transposed */
    int inverted;               /* light modules on dark */
    int eci;                    /* ECI designator of the first ECI segment; -1: none */
    int sa_index;               /* structured append: position 0..15; -1: none */
    int sa_count;               /* structured append: symbols in the set */
    int sa_parity;              /* structured append: parity byte */
    int fnc1;                   /* 0 none, 1 first position (GS1), 2 second position */
    int fnc1_application;       /* application indicator of an FNC1 in second position */
    size_t text_length;         /* bytes of text; it holds a zero byte where
                                   the data does, so text is cut there as a C
                                   string */
    /* Read through vantor_symbol_kind and vantor_symbol_version_name. */
    int kind;
    char version_name[8];
    /* 0: read in the picture as it is; 4, 8, 16 ...: read in a copy of the
     * picture shrunk by this factor (see vantor_effort); 1: read in a copy
     * of the picture's size with a screen's fine pixel grid filled in. The
     * copy's binarisation pass and reading are what pass and reading name
     * (corners are the picture's). */
    int copy_factor;
} vantor_symbol;

/* The kind of a symbol. version is its version within the kind: 1..40 for
 * Model 2, 1..14 for Model 1, 1..4 for Micro QR (M1..M4), 1..32 for rMQR
 * (R7x43..R17x139 in their order). */
vantor_kind vantor_symbol_kind(const vantor_symbol *symbol);
/* The version as the kind names it: "7", "M3", "R13x77". Owned by the
 * symbol's results. */
const char *vantor_symbol_version_name(const vantor_symbol *symbol);

/* The outcome of one reading (one module-size estimate of one pass). */
typedef struct vantor_reading {
    int pass;
    int reading;
    vantor_stage stage;   /* how far it got */
    int candidates;       /* eye pattern candidates of its pass */
    int version;          /* 0 when not determined */
    char level;           /* 0 when the format was not read */
    int mask;             /* -1 when the format was not read */
    int blocks;           /* Reed-Solomon blocks */
    int blocks_clean;     /* without errors */
    int blocks_corrected; /* corrected to a codeword */
    int blocks_beyond;    /* more errors than the block can repair */
} vantor_reading;

typedef struct vantor_results vantor_results;

/* The largest picture decoded or read from any format, in pixels (2^28):
 * it keeps width * height far from overflow and refuses headers that ask for
 * gigabytes. */
#define VANTOR_MAX_PIXELS (1LL << 28)

/* The classic readings keep run lengths in 16 bits: a picture with a side
 * longer than this is read by the thorough search alone, also when the
 * thorough search is switched off. */
#define VANTOR_CLASSIC_MAX_SIDE 32767

/* Decodes an image. Always returns results unless memory runs out (NULL);
 * a call that found nothing has no symbols and a reason. options may be
 * NULL for the defaults. */
vantor_results *vantor_decode(const vantor_image *image, const vantor_options *options);

/* Decodes caller-owned grey pixels, width x height, rows stride bytes apart
 * (stride >= width), read only. depth 1 marks a two-level source whose pixels
 * are 0 or 255 (one binarisation), 8 otherwise. */
vantor_results *vantor_decode_pixels(const unsigned char *pixels, int width, int height,
                                     int stride, int depth, const vantor_options *options);

void vantor_results_free(vantor_results *results); /* NULL is fine */

int vantor_results_count(const vantor_results *results);
/* Symbol i (0 first), NULL when out of range. */
const vantor_symbol *vantor_results_symbol(const vantor_results *results, int i);
/* VANTOR_OK when a symbol was found, else why not. */
vantor_reason vantor_results_reason(const vantor_results *results);
/* The furthest stage any reading reached. */
vantor_stage vantor_results_stage(const vantor_results *results);
/* When the symbols hold every part of one structured-append set once (the
 * same count and parity; decode with vantor_options_set_all_symbols), the
 * parts' bytes joined in index order, with *length set and a zero byte
 * after them; NULL otherwise. Owned by results. */
const unsigned char *vantor_results_joined(const vantor_results *results, size_t *length);
/* Nonzero when the thorough search ran in this call (whether or not it
 * found a symbol). */
int vantor_results_searched(const vantor_results *results);
/* The classic readings the call ran, in order; only those that ran (see
 * vantor_effort): under the default and fast efforts the list may leave out
 * passes or be empty. */
int vantor_results_reading_count(const vantor_results *results);
const vantor_reading *vantor_results_reading(const vantor_results *results, int i);

/* The library's version text, "1.2". */
const char *vantor_version(void);

/* Data bytes made readable as UTF-8: valid UTF-8 is kept, otherwise the
 * bytes are read as Shift JIS (what kanji segments give), failing that as
 * Latin-1. Writes at most out_size bytes including a terminating zero
 * (nothing when out_size is 0) and returns the full text's length without
 * the zero, so a result >= out_size means the text was cut. */
size_t vantor_display_text(const void *bytes, size_t length, char *out, size_t out_size);

/* ---- Classic entry points (not re-entrant) ----------------------------- */

/* Decodes the symbol in an 8-bit grey image (row-major, width x height bytes,
 * 0 = black). depth 1 marks a two-level source whose pixels are 0 or 255.
 * With a non-null log_stream the stages write trace lines to it and debug
 * images ("sample1-%d.bmp", ...) are written into the current directory.
 * Returns the zero-terminated text (bytes as the symbol carries them; kanji
 * as Shift JIS pairs) or NULL when no symbol could be read. The text belongs
 * to the library and stays valid until the next call. One process-wide state
 * carries a Reed-Solomon flag from call to call: run one call at a time. */
const char *decode_image(const unsigned char *pixels, int width, int height,
                         unsigned short depth, FILE *log_stream);

/* The decoder's version text, "1.2". */
const char *decoder_version(void);

#ifdef __cplusplus
}
#endif

#endif
