// Codeword extraction: marks the function modules, walks the data modules in
// placement order into codewords, splits the interleaved stream into its
// Reed-Solomon blocks, corrects each block and leaves the data codewords of
// all blocks, in block order, at the front of `codewords`.
#include "codewords.h"

#include <cstddef>
#include <cstdint>
#include <span>

#include "format.h"
#include "grid.h"
#include "1_base/blocks.h"
#include "1_base/heap_array.h"
#include "1_base/reed_solomon.h"
#include "bitmap.h"
#include "1_base/symbol.h"
#include "1_base/trace.h"
#include "1_base/zigzag.h"
#include "1_base/symbol_tables.h"

namespace vantor {
namespace {

// The vertical timing pattern's column, which the placement steps over.
constexpr int timing_column = 6;

std::size_t module_count(const SymbolMatrix &s) {
    return static_cast<std::size_t>(s.matrix_width) *
           static_cast<std::size_t>(s.matrix_height);
}

// The version, matrix and function map agree with each other and the
// buffers are large enough for the matrix.
bool layout_valid(const SymbolMatrix &s) {
    const int v = s.version;
    if (v < 1 || v > 40)
        return false;
    const int size = 4 * v + 17;
    if (s.matrix_width != size || s.matrix_height != size)
        return false;
    const std::size_t n = module_count(s);
    return s.module_matrix && s.module_matrix.size() >= n && s.function_map &&
           s.function_map.size() >= (n + 7) / 8;
}

std::size_t module_index(const SymbolMatrix &s, int row, int col) {
    return static_cast<std::size_t>(row) * static_cast<std::size_t>(s.matrix_width) +
           static_cast<std::size_t>(col);
}

void mark(SymbolMatrix &s, int row, int col) {
    const std::size_t i = module_index(s, row, col);
    s.function_map[i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));
}

void mark_rect(SymbolMatrix &s, int row0, int row1, int col0, int col1) {
    for (int r = row0; r <= row1; ++r)
        for (int c = col0; c <= col1; ++c)
            mark(s, r, c);
}

bool is_function(const SymbolMatrix &s, int row, int col) {
    const std::size_t i = module_index(s, row, col);
    return (s.function_map[i / 8] >> (i % 8)) & 1;
}

void dump(const TraceSink *sink, const HeapArray<std::uint8_t> &bytes, int count) {
    if (!sink || !sink->tracing())
        return;
    for (int i = 0; i < count; ++i)
        trace(*sink, "0x%02x ", bytes[static_cast<std::size_t>(i)]);
    trace(*sink, "\n");
}

} // namespace

void build_function_map(SymbolMatrix &s) {
    if (!layout_valid(s))
        return;
    const int w = s.matrix_width;
    const int h = s.matrix_height;

    // Eye patterns with their separators.
    mark_rect(s, 0, 7, 0, 7);
    mark_rect(s, 0, 7, w - 8, w - 1);
    mark_rect(s, h - 8, h - 1, 0, 7);
    // Format information, the always-dark module included.
    mark_rect(s, 8, 8, 0, 7);
    mark_rect(s, 0, 7, 8, 8);
    mark_rect(s, 8, 8, w - 8, w - 1);
    mark_rect(s, h - 8, h - 1, 8, 8);
    mark(s, 8, 8);
    // Timing patterns.
    mark_rect(s, 6, 6, 0, w - 1);
    mark_rect(s, 0, w - 1, 6, 6);
    // Version information.
    if (s.version >= 7) {
        mark_rect(s, 0, 5, w - 11, w - 9);
        mark_rect(s, w - 11, w - 9, 0, 5);
    }
    // Alignment patterns at every pair of listed centres, except where an
    // eye pattern sits.
    const std::span<const int, 7> coords = alignment_coords(s.version);
    int count = 0;
    while (count < 7 && coords[static_cast<std::size_t>(count)] > 0)
        ++count;
    for (int ia = 0; ia < count; ++ia) {
        const int a = coords[static_cast<std::size_t>(ia)];
        for (int ib = 0; ib < count; ++ib) {
            const int b = coords[static_cast<std::size_t>(ib)];
            if ((a < 7 && b < 7) || (a < 7 && b >= h - 7) || (a >= w - 7 && b < 7))
                continue;
            // A centre too close to the edge would mark outside the matrix.
            if (a < 2 || b < 2 || a + 2 >= w || b + 2 >= h)
                continue;
            mark_rect(s, b - 2, b + 2, a - 2, a + 2);
        }
    }
}

bool read_codewords(const SymbolMatrix &s, SymbolCodewords &c) {
    release_codewords(c);
    const int v = s.version;
    const int level = s.ecc_level;
    if (v < 1 || v > 40 || level < 0 || level > 3 || !layout_valid(s))
        return false;
    // The format information's level bits: 1 L, 0 M, 3 Q, 2 H.
    const std::span<const BlockGroup, 2> entry = block_groups_of(v, level_index(level));
    c.block_groups[0] = entry[0];
    c.block_groups[1] = entry[1];
    c.codeword_count = entry[0].block_count * entry[0].block_codewords +
                       entry[1].block_count * entry[1].block_codewords;

    const std::size_t count = static_cast<std::size_t>(c.codeword_count);
    if (!c.raw_codewords.allocate(count) || !c.codewords.allocate(count)) {
        release_codewords(c);
        return false;
    }

    // A function map with too few marks for the version could run the walk
    // off the left edge before every codeword is read.
    std::size_t i = 0;
    int codeword = 0, bit = 0;
    walk_zigzag(s.matrix_width, s.matrix_height, timing_column, [&](int col, int row) {
        if (is_function(s, row, col))
            return true;
        codeword = (codeword << 1) | (s.module_matrix[module_index(s, row, col)] == dark ? 1 : 0);
        if (++bit == 8) {
            c.raw_codewords[i++] = static_cast<std::uint8_t>(codeword);
            codeword = bit = 0;
        }
        return i < count;
    });
    if (i < count) {
        release_codewords(c);
        return false;
    }
    return true;
}

bool deinterleave_and_correct(SymbolCodewords &s, const TraceSink *sink) {
    const BlockGroup &g1 = s.block_groups[0];
    const BlockGroup &g2 = s.block_groups[1];
    const int b1 = g1.block_count;
    const int b2 = g2.block_count;
    const int n_blocks = b1 + b2;
    const int ec = g1.block_codewords - g1.data_codewords;

    // The groups must describe the buffers they are applied to.
    const bool groups_valid =
        b1 > 0 && b2 >= 0 && g1.data_codewords >= 0 && ec >= 0 &&
        (b2 == 0 || (g2.data_codewords >= g1.data_codewords &&
                     g2.block_codewords - g2.data_codewords == ec)) &&
        s.codeword_count == b1 * g1.block_codewords + b2 * g2.block_codewords &&
        s.raw_codewords && s.codewords &&
        s.raw_codewords.size() >= static_cast<std::size_t>(s.codeword_count) &&
        s.codewords.size() >= static_cast<std::size_t>(s.codeword_count);
    s.block_tally = {};
    s.block_tally.blocks = n_blocks > 0 ? n_blocks : 0;
    if (!groups_valid) {
        s.uncorrected_blocks = n_blocks > 0 ? n_blocks : 1;
        return false;
    }

    HeapArray<std::uint8_t> block;
    const int longest = b2 > 0 ? g2.block_codewords : g1.block_codewords;
    if (!block.allocate(static_cast<std::size_t>(longest > 0 ? longest : 1))) {
        // Nothing was checked: the reading must not give text.
        s.uncorrected_blocks = n_blocks;
        return false;
    }
    auto group = [&](int b) -> const BlockGroup & { return b < b1 ? g1 : g2; };

    // The blocks are read from the interleaved stream and kept in turn:
    // the data codewords of each block, then their check codewords.
    const std::span<const BlockGroup> groups(s.block_groups);
    std::uint8_t *out = s.codewords.get();
    const std::uint8_t *raw = s.raw_codewords.get();
    s.uncorrected_blocks = 0;
    for (int b = 0; b < n_blocks; ++b) {
        const BlockGroup &g = group(b);
        const int k = g.data_codewords;
        for (int i = 0; i < g.block_codewords; ++i) {
            const std::uint8_t v = raw[stream_place(groups, BlockOrder::interleaved, b, i)];
            block[static_cast<std::size_t>(i)] = v;
            out[stream_place(groups, BlockOrder::in_turn, b, i)] = v;
        }
        const BlockCorrection fix = rs_correct_block(block.get(), g.block_codewords, g.correctable, sink);
        if (fix.attempted)
            s.block_tally.last_fix = fix.corrected && fix.errors < g.correctable ? 1 : -1;
        // Judged by every check codeword: where a block has more of them
        // than the 2t the correction uses (versions 1, 2-L, 3-L), a wrong
        // correction can satisfy the first 2t syndromes.
        if (!rs_syndromes_zero(block.get(), g.block_codewords, ec)) {
            ++s.uncorrected_blocks;
            ++s.block_tally.beyond;
        } else if (fix.corrected) {
            ++s.block_tally.corrected;
            s.block_tally.codewords_corrected += fix.errors;
        } else {
            ++s.block_tally.clean;
        }
        for (int j = 0; j < k; ++j)
            out[stream_place(groups, BlockOrder::in_turn, b, j)] = block[static_cast<std::size_t>(j)];
    }
    return true;
}

bool reorder_codewords(SymbolMatrix &m, SymbolCodewords &c, const TraceSink *sink) {
    if (!layout_valid(m)) {
        // No stale codewords of an earlier reading may be decoded.
        release_codewords(c);
        return false;
    }
    build_function_map(m);
    if (!read_codewords(m, c))
        return false;
    dump(sink, c.raw_codewords, c.codeword_count);
    if (!deinterleave_and_correct(c, sink))
        return false;
    dump(sink, c.codewords, c.codeword_count);
    return true;
}

void release_codewords(SymbolCodewords &c) {
    c.raw_codewords.reset();
    c.codewords.reset();
}

} // namespace vantor
