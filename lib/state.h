// The decoder's one state: every stage of the library reads and writes the
// members of `state`, owned by lib/top. One decode runs at a time.
#pragma once

#include <cstdint>
#include <cstdio>

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

struct DecoderState {
    std::FILE *log_stream = nullptr;
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

    // Process-wide: nonzero when the last block that needed correction was
    // corrected with fewer errors than its capacity.
    int rs_below_capacity = 0;

    char result_text[text_capacity] = {};
    char saved_text[text_capacity] = {};
};

extern DecoderState state;

} // namespace vantor
