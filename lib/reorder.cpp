// Codeword extraction: marks the function modules, walks the data modules in
// placement order into codewords, splits the interleaved stream into its
// Reed-Solomon blocks, corrects each block and leaves the data codewords of
// all blocks, in block order, at the front of `codewords`.
#include "reorder.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "grid.h"
#include "heap_array.h"
#include "rsdecode.h"
#include "state.h"

namespace vantor {
namespace {

// Error correction characteristics per version 1..40 and level L, M, Q, H:
// error correction codewords per block, blocks of the first group, data
// codewords per block of the first group, blocks of the second group (whose
// blocks hold one data codeword more).
struct EcRow {
    std::int16_t ec;
    std::int16_t blocks1;
    std::int16_t data1;
    std::int16_t blocks2;
};
constexpr EcRow ec_rows[40][4] = {
    {{7, 1, 19, 0}, {10, 1, 16, 0}, {13, 1, 13, 0}, {17, 1, 9, 0}},
    {{10, 1, 34, 0}, {16, 1, 28, 0}, {22, 1, 22, 0}, {28, 1, 16, 0}},
    {{15, 1, 55, 0}, {26, 1, 44, 0}, {18, 2, 17, 0}, {22, 2, 13, 0}},
    {{20, 1, 80, 0}, {18, 2, 32, 0}, {26, 2, 24, 0}, {16, 4, 9, 0}},
    {{26, 1, 108, 0}, {24, 2, 43, 0}, {18, 2, 15, 2}, {22, 2, 11, 2}},
    {{18, 2, 68, 0}, {16, 4, 27, 0}, {24, 4, 19, 0}, {28, 4, 15, 0}},
    {{20, 2, 78, 0}, {18, 4, 31, 0}, {18, 2, 14, 4}, {26, 4, 13, 1}},
    {{24, 2, 97, 0}, {22, 2, 38, 2}, {22, 4, 18, 2}, {26, 4, 14, 2}},
    {{30, 2, 116, 0}, {22, 3, 36, 2}, {20, 4, 16, 4}, {24, 4, 12, 4}},
    {{18, 2, 68, 2}, {26, 4, 43, 1}, {24, 6, 19, 2}, {28, 6, 15, 2}},
    {{20, 4, 81, 0}, {30, 1, 50, 4}, {28, 4, 22, 4}, {24, 3, 12, 8}},
    {{24, 2, 92, 2}, {22, 6, 36, 2}, {26, 4, 20, 6}, {28, 7, 14, 4}},
    {{26, 4, 107, 0}, {22, 8, 37, 1}, {24, 8, 20, 4}, {22, 12, 11, 4}},
    {{30, 3, 115, 1}, {24, 4, 40, 5}, {20, 11, 16, 5}, {24, 11, 12, 5}},
    {{22, 5, 87, 1}, {24, 5, 41, 5}, {30, 5, 24, 7}, {24, 11, 12, 7}},
    {{24, 5, 98, 1}, {28, 7, 45, 3}, {24, 15, 19, 2}, {30, 3, 15, 13}},
    {{28, 1, 107, 5}, {28, 10, 46, 1}, {28, 1, 22, 15}, {28, 2, 14, 17}},
    {{30, 5, 120, 1}, {26, 9, 43, 4}, {28, 17, 22, 1}, {28, 2, 14, 19}},
    {{28, 3, 113, 4}, {26, 3, 44, 11}, {26, 17, 21, 4}, {26, 9, 13, 16}},
    {{28, 3, 107, 5}, {26, 3, 41, 13}, {30, 15, 24, 5}, {28, 15, 15, 10}},
    {{28, 4, 116, 4}, {26, 17, 42, 0}, {28, 17, 22, 6}, {30, 19, 16, 6}},
    {{28, 2, 111, 7}, {28, 17, 46, 0}, {30, 7, 24, 16}, {24, 34, 13, 0}},
    {{30, 4, 121, 5}, {28, 4, 47, 14}, {30, 11, 24, 14}, {30, 16, 15, 14}},
    {{30, 6, 117, 4}, {28, 6, 45, 14}, {30, 11, 24, 16}, {30, 30, 16, 2}},
    {{26, 8, 106, 4}, {28, 8, 47, 13}, {30, 7, 24, 22}, {30, 22, 15, 13}},
    {{28, 10, 114, 2}, {28, 19, 46, 4}, {28, 28, 22, 6}, {30, 33, 16, 4}},
    {{30, 8, 122, 4}, {28, 22, 45, 3}, {30, 8, 23, 26}, {30, 12, 15, 28}},
    {{30, 3, 117, 10}, {28, 3, 45, 23}, {30, 4, 24, 31}, {30, 11, 15, 31}},
    {{30, 7, 116, 7}, {28, 21, 45, 7}, {30, 1, 23, 37}, {30, 19, 15, 26}},
    {{30, 5, 115, 10}, {28, 19, 47, 10}, {30, 15, 24, 25}, {30, 23, 15, 25}},
    {{30, 13, 115, 3}, {28, 2, 46, 29}, {30, 42, 24, 1}, {30, 23, 15, 28}},
    {{30, 17, 115, 0}, {28, 10, 46, 23}, {30, 10, 24, 35}, {30, 19, 15, 35}},
    {{30, 17, 115, 1}, {28, 14, 46, 21}, {30, 29, 24, 19}, {30, 11, 15, 46}},
    {{30, 13, 115, 6}, {28, 14, 46, 23}, {30, 44, 24, 7}, {30, 59, 16, 1}},
    {{30, 12, 121, 7}, {28, 12, 47, 26}, {30, 39, 24, 14}, {30, 22, 15, 41}},
    {{30, 6, 121, 14}, {28, 6, 47, 34}, {30, 46, 24, 10}, {30, 2, 15, 64}},
    {{30, 17, 122, 4}, {28, 29, 46, 14}, {30, 49, 24, 10}, {30, 24, 15, 46}},
    {{30, 4, 122, 18}, {28, 13, 46, 32}, {30, 48, 24, 14}, {30, 42, 15, 32}},
    {{30, 20, 117, 4}, {28, 40, 47, 7}, {30, 43, 24, 22}, {30, 10, 15, 67}},
    {{30, 19, 118, 6}, {28, 18, 47, 31}, {30, 34, 24, 34}, {30, 20, 15, 61}},
};

// Errors a block may correct: half its error correction codewords, less the
// codewords that the smallest symbols keep back against misdecoding.
constexpr int correctable(int version, int level_index, int ec) {
    if (version == 1 && level_index == 0)
        return 2;
    if ((version == 1 && level_index == 1) || (version == 2 && level_index == 0))
        return 4;
    return ec / 2;
}

using BlockEntry = std::array<BlockGroup, 2>;

// The block groups of every version 0..40 and level index (L 0, M 1, Q 2,
// H 3), at version * 4 + level index; version 0 is empty.
constexpr std::array<BlockEntry, 41 * 4> block_table = [] {
    std::array<BlockEntry, 41 * 4> table{};
    for (int v = 1; v <= 40; ++v) {
        for (int l = 0; l < 4; ++l) {
            const EcRow &row = ec_rows[v - 1][l];
            const int r = correctable(v, l, row.ec);
            BlockEntry &e = table[static_cast<std::size_t>(v * 4 + l)];
            e[0] = {row.blocks1, row.data1 + row.ec, row.data1, r};
            if (row.blocks2 > 0)
                e[1] = {row.blocks2, row.data1 + 1 + row.ec, row.data1 + 1, r};
        }
    }
    return table;
}();

std::size_t module_count(const DecoderState &s) {
    return static_cast<std::size_t>(s.matrix_width) *
           static_cast<std::size_t>(s.matrix_height);
}

// The version, matrix and function map agree with each other and the
// buffers are large enough for the matrix.
bool layout_valid(const DecoderState &s) {
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

std::size_t module_index(const DecoderState &s, int row, int col) {
    return static_cast<std::size_t>(row) * static_cast<std::size_t>(s.matrix_width) +
           static_cast<std::size_t>(col);
}

void mark(DecoderState &s, int row, int col) {
    const std::size_t i = module_index(s, row, col);
    s.function_map[i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));
}

void mark_rect(DecoderState &s, int row0, int row1, int col0, int col1) {
    for (int r = row0; r <= row1; ++r)
        for (int c = col0; c <= col1; ++c)
            mark(s, r, c);
}

bool is_function(const DecoderState &s, int row, int col) {
    const std::size_t i = module_index(s, row, col);
    return (s.function_map[i / 8] >> (i % 8)) & 1;
}

void dump(const DecoderState &s, const HeapArray<std::uint8_t> &bytes) {
    if (!s.tracing())
        return;
    for (int i = 0; i < s.codeword_count; ++i)
        trace(s, "0x%02x ", bytes[static_cast<std::size_t>(i)]);
    trace(s, "\n");
}

} // namespace

void build_function_map(DecoderState &s) {
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

int read_codewords(DecoderState &s) {
    release_codewords(s);
    const int v = s.version;
    const int level = s.ecc_level;
    if (v < 1 || v > 40 || level < 0 || level > 3 || !layout_valid(s))
        return 0;
    const BlockEntry &entry = block_table[static_cast<std::size_t>(v * 4 + (level ^ 1))];
    s.block_groups[0] = entry[0];
    s.block_groups[1] = entry[1];
    s.codeword_count = entry[0].block_count * entry[0].block_codewords +
                           entry[1].block_count * entry[1].block_codewords;

    const std::size_t count = static_cast<std::size_t>(s.codeword_count);
    if (!s.raw_codewords.allocate(count) || !s.codewords.allocate(count)) {
        release_codewords(s);
        return 0;
    }

    const int w = s.matrix_width;
    const int h = s.matrix_height;
    int row = h - 1;
    int right = w - 1;
    int col = right;
    bool upwards = true;
    auto advance = [&] {
        if (col == right) {
            col = right - 1;
            return;
        }
        col = right;
        row += upwards ? -1 : 1;
        if (row < 0 || row >= h) {
            row = upwards ? 0 : h - 1;
            upwards = !upwards;
            right -= 2;
            if (right == 6)
                right = 5;
            col = right;
        }
    };

    for (std::size_t i = 0; i < count; ++i) {
        int codeword = 0;
        for (int bit = 0; bit < 8; ++bit) {
            // A function map with too few marks for the version could run
            // the walk off the left edge.
            while (col >= 0 && is_function(s, row, col))
                advance();
            if (col < 0) {
                release_codewords(s);
                return 0;
            }
            codeword = (codeword << 1) | (s.module_matrix[module_index(s, row, col)] == 64 ? 1 : 0);
            advance();
        }
        s.raw_codewords[i] = static_cast<std::uint8_t>(codeword);
    }
    return -1;
}

int deinterleave_and_correct(DecoderState &s) {
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
        return 0;
    }

    const std::size_t nb = static_cast<std::size_t>(n_blocks);
    HeapArray<int> data_start;
    HeapArray<int> ec_start;
    HeapArray<std::uint8_t> block;
    const int longest = b2 > 0 ? g2.block_codewords : g1.block_codewords;
    if (!data_start.allocate(nb + 1) || !ec_start.allocate(nb + 1) ||
        !block.allocate(static_cast<std::size_t>(longest > 0 ? longest : 1))) {
        // Nothing was checked: the reading must not give text.
        s.uncorrected_blocks = n_blocks;
        return 0;
    }
    auto group = [&](int b) -> const BlockGroup & { return b < b1 ? g1 : g2; };

    int total_data = 0;
    for (int b = 0; b < n_blocks; ++b)
        total_data += group(b).data_codewords;
    data_start[0] = 0;
    ec_start[0] = total_data;
    for (int b = 0; b < n_blocks; ++b) {
        const BlockGroup &g = group(b);
        data_start[static_cast<std::size_t>(b) + 1] = data_start[static_cast<std::size_t>(b)] + g.data_codewords;
        ec_start[static_cast<std::size_t>(b) + 1] =
            ec_start[static_cast<std::size_t>(b)] + g.block_codewords - g.data_codewords;
    }

    std::uint8_t *out = s.codewords.get();
    const std::uint8_t *raw = s.raw_codewords.get();
    const int k1 = g1.data_codewords;
    for (int j = 0; j < k1; ++j)
        for (int b = 0; b < n_blocks; ++b)
            out[data_start[static_cast<std::size_t>(b)] + j] = raw[j * n_blocks + b];
    for (int b = b1; b < n_blocks; ++b)
        for (int j = k1; j < g2.data_codewords; ++j)
            out[data_start[static_cast<std::size_t>(b)] + j] = raw[k1 * n_blocks + (j - k1) * b2 + (b - b1)];

    s.uncorrected_blocks = 0;
    for (int b = 0; b < n_blocks; ++b) {
        const BlockGroup &g = group(b);
        const int k = g.data_codewords;
        const int o = data_start[static_cast<std::size_t>(b)];
        const int q = ec_start[static_cast<std::size_t>(b)];
        for (int e = 0; e < ec; ++e) {
            const std::uint8_t v = raw[total_data + e * n_blocks + b];
            block[static_cast<std::size_t>(k + e)] = v;
            out[q + e] = v;
        }
        for (int j = 0; j < k; ++j)
            block[static_cast<std::size_t>(j)] = out[o + j];
        int errors = 0;
        const int corrected = rs_correct_block(s, block.get(), g.block_codewords, g.correctable, &errors);
        // Judged by every check codeword: where a block has more of them
        // than the 2t the correction uses (versions 1, 2-L, 3-L), a wrong
        // correction can satisfy the first 2t syndromes.
        if (!rs_syndromes_zero(block.get(), g.block_codewords, ec)) {
            ++s.uncorrected_blocks;
            ++s.block_tally.beyond;
        } else if (corrected) {
            ++s.block_tally.corrected;
            s.block_tally.codewords_corrected += errors;
        } else {
            ++s.block_tally.clean;
        }
        for (int j = 0; j < k; ++j)
            out[o + j] = block[static_cast<std::size_t>(j)];
    }
    return -1;
}

int reorder_codewords(DecoderState &s) {
    if (!layout_valid(s)) {
        // No stale codewords of an earlier reading may be decoded.
        release_codewords(s);
        return 0;
    }
    build_function_map(s);
    if (!read_codewords(s))
        return 0;
    dump(s, s.raw_codewords);
    if (!deinterleave_and_correct(s))
        return 0;
    dump(s, s.codewords);
    return -1;
}

void release_codewords(DecoderState &s) {
    s.raw_codewords.reset();
    s.codewords.reset();
}

} // namespace vantor
