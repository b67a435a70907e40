// The state of one decode: every stage of the library reads and writes the
// members of the DecoderState it is given. States share nothing, so decodes
// on different states may run at once.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "heap_array.h"
#include "memchunk.h"

namespace vantor {

struct Vec2f {
    float x;
    float y;
};

// A 1:1:3:1:1 (eye pattern) or light-dark-light (alignment) run match.
struct RunHit {
    int line;   // image row of a row hit, column of a column hit
    int start;  // offset of the match's first pixel along the line
    int length; // pixels
    int label;  // group number, -1 while ungrouped
};

// An eye pattern candidate: the group of crossing row and column hits.
struct EyePattern {
    float width;  // mean length of its row hits
    float height; // mean length of its column hits
    float y;      // centre row
    float x;      // centre column
    int h_hits;   // row hits in the group (0: to be dropped)
    int v_hits;   // column hits in the group (0: to be dropped)
    int id;       // the group's label
    int score;    // consistency score, -1 when rejected
    int min_y;
    int max_y;
    int min_x;
    int max_x;
    float size; // full width of the pattern (seven modules), pixels
};

// Input and output of one alignment pattern search; the leading fields of
// GridPoint.
struct AlignmentProbe {
    float x; // out: centre column, pixels
    float y; // out: centre row, pixels
    int col; // in: module column
    int row; // in: module row
};

// A known module centre of the sampling grid.
struct GridPoint {
    float x;
    float y;
    int col;
    int row;
    float units_state; // below 0 until the cell's local step vectors are set
    Vec2f local_x_unit;
    Vec2f local_y_unit;
};

// One kind of Reed-Solomon block of a symbol.
struct BlockGroup {
    int32_t block_count;
    int32_t block_codewords; // c
    int32_t data_codewords;  // k
    int32_t correctable;     // r
};

inline constexpr int text_capacity = 7090; // 7089 characters and the zero

// How the Reed-Solomon blocks of one reading came out.
struct BlockTally {
    int blocks = 0;              // blocks of the symbol
    int clean = 0;               // without errors
    int corrected = 0;           // corrected to a codeword
    int beyond = 0;              // more errors than the block can repair
    int codewords_corrected = 0; // codewords the corrections changed
};

// Receives each complete trace line, "\n" included.
using TraceFn = void (*)(const char *line, void *user);

struct DecoderState {
    // Trace sink: a C stream, or a callback given whole lines. Neither set:
    // no trace and no debug images.
    std::FILE *trace_file = nullptr;
    TraceFn trace_fn = nullptr;
    void *trace_user = nullptr;
    // Text of the callback's current line until its "\n" arrives.
    mutable std::string trace_pending;
    // Folder of the debug images; empty: the current directory.
    std::string debug_dir;
    // When debug images are written: by default (the classic entry) whenever
    // a trace sink is set.
    enum class DebugImages { with_trace, always, never };
    DebugImages debug_images = DebugImages::with_trace;

    bool tracing() const { return trace_file != nullptr || trace_fn != nullptr; }
    bool writes_debug_images() const {
        return debug_images == DebugImages::always || (debug_images == DebugImages::with_trace && tracing());
    }

    // Set by a caller that reads nothing of the state but what the readings
    // report: with no trace and no debug images, a pass whose bitmap
    // provably equals an earlier one's reports that pass's readings again
    // instead of searching its bitmap a second time.
    bool repeat_equal_passes = false;

    int image_width = 0;
    int image_height = 0;

    // Binarised image: 64 dark, 0 light, bit 16 the sampled mark.
    HeapArray<std::uint8_t> work_bitmap;
    // Locally normalised grey 0..255, -1 where the contrast is too low.
    HeapArray<std::int16_t> contrast_map;

    // Run lengths per row / column, dark run first, -1 terminated.
    HeapArray<std::int16_t> row_runs;
    HeapArray<std::int16_t> col_runs;
    MemChunk<RunHit> row_hits;
    MemChunk<RunHit> col_hits;
    MemChunk<EyePattern> eyes;
    int eye_count = 0;
    int eye_pick[3] = {-1, -1, -1}; // corner, along the rows, down the columns

    int version = 0;
    Vec2f x_unit{}; // image step of one module along a symbol row
    Vec2f y_unit{}; // image step of one module down a symbol column

    MemChunk<GridPoint> grid_points;
    HeapArray<std::uint8_t> module_matrix; // 64 dark, 0 light
    int matrix_width = 0;
    int matrix_height = 0;
    HeapArray<std::uint8_t> function_map; // one bit per module

    int mask_pattern = 0;
    int ecc_level = 0;

    BlockGroup block_groups[2] = {};
    HeapArray<std::uint8_t> raw_codewords;
    HeapArray<std::uint8_t> codewords;
    int codeword_count = 0;
    // Blocks of the latest reading that still have errors after correction;
    // such a reading gives no text.
    int uncorrected_blocks = 0;
    BlockTally block_tally; // of the latest reading

    // Nonzero when the last block that needed correction was corrected with
    // fewer errors than its capacity. Carried from decode to decode on the
    // same state.
    int rs_below_capacity = 0;

    // The text as the classic entry gives it: zero-terminated, a numeric
    // group written at the first zero byte.
    char result_text[text_capacity] = {};
    // The data bytes exactly as the segments carry them, zero bytes kept;
    // result_length is -1 when they are not valid (a numeric group beyond
    // its digits, or more bytes than the buffer holds).
    char result_bytes[text_capacity] = {};
    int result_length = 0;
    // The latest data stopped at a mode indicator the classic rules do not
    // read (ECI, structured append, FNC1 or an undefined one).
    bool data_unsupported_mode = false;
};

// Writes one trace line (or part of one) to the state's sink; nothing when
// it has none. With a callback, text is held until its line ends.
void trace(const DecoderState &s, const char *format, ...) __attribute__((format(printf, 2, 3)));
// Hands an unfinished callback line over with a "\n" added.
void trace_flush(const DecoderState &s);
// The trace line of a stage that ran out of memory.
void trace_malloc_failed(const DecoderState &s);

} // namespace vantor
