// The state of a decode run, in its parts: the trace sink, the buffers of a
// pass and a reading's result; and the geometry types the stages share.
#pragma once

#include <cstdint>

#include "1_base/heap_array.h"
#include "1_base/memchunk.h"
#include "1_base/symbol.h"
#include "1_base/trace.h"

namespace vantor {

struct Vec2f {
    float x;
    float y;
};

// The image steps of one module along a symbol row (x) and down a symbol
// column (y).
struct StepUnits {
    Vec2f x;
    Vec2f y;
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
    StepUnits local_units;
};

// The buffers of one pass: the binarised image, its run tables and the
// eye pattern candidates found in them.
struct PassBuffers {
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
};

// The three eye patterns a reading builds on, copied out of the pass's
// candidates once they are picked and oriented.
struct PickedEyes {
    EyePattern corner; // top left of the symbol
    EyePattern along;  // along its rows from the corner
    EyePattern down;   // down its columns from the corner
};

// A reading's result: the three eyes it picked, the grid it sampled and the
// symbol it read there.
struct ReadingResult : SymbolMatrix, SymbolCodewords, SymbolText {
    int eye_pick[3] = {-1, -1, -1}; // corner, along the rows, down the columns
    StepUnits units{}; // the module step vectors of the picks
    MemChunk<GridPoint> grid_points;
};

// The state of one decode run: its trace sink, its pass buffers and the
// latest reading. States share nothing, so runs on different states may go
// at once.
struct DecoderState : TraceSink, PassBuffers, ReadingResult {};

} // namespace vantor
