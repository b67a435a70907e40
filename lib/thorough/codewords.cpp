// The reading stages of the library applied to a matrix the search sampled.
#include "codewords.h"

#include <algorithm>

#include "format.h"
#include "reorder.h"
#include "rsdecode.h"
#include "state.h"
#include "unmask.h"
#include "version.h"

namespace vantor::thorough {
namespace {

// Most corrections per block the search accepts in the smallest symbols,
// by version 1, 2 and level L, M, Q, H (see small_symbol_limit).
constexpr int small_limits[2][4] = {{2, 4, 6, 8}, {4, 8, 11, 14}};

// Loads the matrix into the library's state (64 dark) with its layout, and
// restores the members that outlive a decode when it goes.
class StageState {
public:
    StageState() : saved_flag_(state.rs_below_capacity), saved_log_(state.log_stream) { state.log_stream = nullptr; }
    ~StageState() {
        state.rs_below_capacity = saved_flag_;
        state.log_stream = saved_log_;
        state.module_matrix.reset();
        state.function_map.reset();
        release_codewords();
    }
    bool load(const ModuleMatrix &m, int version) {
        const std::size_t cells = static_cast<std::size_t>(m.size) * static_cast<std::size_t>(m.size);
        if (!state.module_matrix.allocate(cells) || !state.function_map.allocate_zeroed((cells + 7) / 8))
            return false;
        for (std::size_t i = 0; i < cells; ++i)
            state.module_matrix[i] = m.modules[i] ? 64 : 0;
        state.matrix_width = state.matrix_height = m.size;
        state.version = version;
        return true;
    }

private:
    int saved_flag_;
    std::FILE *saved_log_;
};

} // namespace

ModuleMatrix ModuleMatrix::transposed() const {
    ModuleMatrix t{size, std::vector<std::uint8_t>(modules.size())};
    for (int r = 0; r < size; ++r)
        for (int c = 0; c < size; ++c)
            t.modules[static_cast<std::size_t>(c) * size + r] = modules[static_cast<std::size_t>(r) * size + c];
    return t;
}

std::optional<FormatInfo> read_format(const ModuleMatrix &matrix) {
    StageState s;
    if (matrix.size < 21 || !s.load(matrix, (matrix.size - 17) / 4))
        return std::nullopt;
    if (!read_format_info())
        return std::nullopt;
    return FormatInfo{state.ecc_level, state.mask_pattern};
}

int read_version_blocks(const ModuleMatrix &m) {
    const int n = m.size;
    if (n < 45)
        return -1;
    // Bit i (0 the lowest) of the block left of the upper-right eye pattern
    // is at column n - 11 + i % 3, row i / 3; the other block is its
    // transpose.
    for (int block = 0; block < 2; ++block) {
        std::uint32_t value = 0;
        for (int i = 17; i >= 0; --i) {
            const int a = i / 3, b = n - 11 + i % 3;
            value = (value << 1) | (block == 0 ? m.dark(b, a) : m.dark(a, b));
        }
        StageState s;
        const int v = match_version_info(value);
        if (v > 0)
            return v;
    }
    return -1;
}

int small_symbol_limit(int version, int level_index) {
    if (version < 1 || version > 2 || level_index < 0 || level_index > 3)
        return 1 << 30;
    return small_limits[version - 1][level_index];
}

std::optional<Corrected> correct_codewords(const ModuleMatrix &matrix, int version, const FormatInfo &format) {
    if (version < 1 || version > 40 || matrix.size != 4 * version + 17)
        return std::nullopt;
    StageState s;
    if (!s.load(matrix, version))
        return std::nullopt;
    state.ecc_level = format.level_bits;
    state.mask_pattern = format.mask;
    unmask();
    build_function_map();
    if (!read_codewords())
        return std::nullopt;

    // The interleaved stream: data codewords round the blocks (the longer
    // blocks alone in the last round), then the check codewords round all.
    const BlockGroup g1 = state.block_groups[0], g2 = state.block_groups[1];
    const int blocks = g1.block_count + g2.block_count;
    const int ec = g1.block_codewords - g1.data_codewords;
    const int limit = small_symbol_limit(version, format.level_bits ^ 1);
    std::vector<std::vector<std::uint8_t>> block(static_cast<std::size_t>(blocks));
    const std::uint8_t *raw = state.raw_codewords.get();
    int at = 0;
    const int longest = std::max(g1.data_codewords, g2.block_count ? g2.data_codewords : 0);
    for (int j = 0; j < longest; ++j)
        for (int b = 0; b < blocks; ++b)
            if (j < (b < g1.block_count ? g1 : g2).data_codewords)
                block[static_cast<std::size_t>(b)].push_back(raw[at++]);
    for (int j = 0; j < ec; ++j)
        for (int b = 0; b < blocks; ++b)
            block[static_cast<std::size_t>(b)].push_back(raw[at++]);

    Corrected out;
    for (int b = 0; b < blocks; ++b) {
        std::vector<std::uint8_t> &cw = block[static_cast<std::size_t>(b)];
        const BlockGroup &g = b < g1.block_count ? g1 : g2;
        const std::vector<std::uint8_t> before = cw;
        const int n = static_cast<int>(cw.size());
        if (!rs_syndromes_zero(cw.data(), n, ec))
            rs_correct_block(cw.data(), n, g.correctable);
        if (!rs_syndromes_zero(cw.data(), n, ec))
            return std::nullopt;
        int changed = 0;
        for (int i = 0; i < n; ++i)
            changed += cw[static_cast<std::size_t>(i)] != before[static_cast<std::size_t>(i)];
        if (changed > limit)
            return std::nullopt;
        out.corrected += changed;
        out.worst_block = std::max(out.worst_block, changed);
        out.data.insert(out.data.end(), cw.begin(), cw.begin() + g.data_codewords);
    }
    return out;
}

} // namespace vantor::thorough
