// The symbol-reading stages on arbitrary module matrices and codewords:
// format information, codeword extraction for any version and level,
// Reed-Solomon correction and data decoding.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "1_base/data_segments.h"
#include "3_model2/classic/format.h"
#include "3_model2/classic/codewords.h"
#include "1_base/reed_solomon.h"
#include "3_model2/classic/state.h"
#include "3_model2/classic/unmask.h"

using namespace vantor;

namespace {

// The state the stages work on, one for the whole run as a fuzzer runs one
// input at a time.
DecoderState state;

// One Reed-Solomon block: n codewords, t correctable, contents from data.
void fuzz_block(const std::uint8_t *data, std::size_t size) {
    if (size < 2)
        return;
    const int n = 1 + data[0] % 160;
    const int t = data[1] % 17;
    std::vector<std::uint8_t> block(n);
    for (int i = 0; i < n; ++i)
        block[i] = size > 2 ? data[2 + i % (size - 2)] : 0;
    rs_correct_block(block.data(), n, t, &state);
}

// A whole symbol: the version and format from the first bytes, the modules
// from the bits of the rest.
void fuzz_symbol(const std::uint8_t *data, std::size_t size) {
    if (size < 3)
        return;
    const int version = 1 + data[0] % 40;
    const int side = 4 * version + 17;
    const std::uint8_t *bits = data + 2;
    const std::size_t nbits = (size - 2) * 8;
    state.version = version;
    state.matrix_width = state.matrix_height = side;
    if (!state.module_matrix.allocate(static_cast<std::size_t>(side) * side) ||
        !state.function_map.allocate_zeroed((static_cast<std::size_t>(side) * side + 7) / 8))
        return;
    for (int i = 0; i < side * side; ++i) {
        std::size_t b = static_cast<std::size_t>(i) % nbits;
        state.module_matrix[i] = (bits[b / 8] >> (b % 8)) & 1 ? 64 : 0;
    }
    if (!read_format_info(state, state)) {
        // Still exercise every level and mask.
        state.ecc_level = data[1] & 3;
        state.mask_pattern = (data[1] >> 2) & 7;
    }
    unmask(state);
    if (reorder_codewords(state, state, &state)) {
        // The text lives in a 7090-byte buffer: 7089 characters at most.
        const char *text = decode_data(state, state.version, state);
        if (text && std::strlen(text) >= sizeof state.result_text) {
            std::fprintf(stderr, "fuzz_symbol_stages: text longer than the result buffer\n");
            std::abort();
        }
    }
    release_codewords(state);
    state.module_matrix.reset();
    state.function_map.reset();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 1)
        return 0;
    if (data[0] & 1)
        fuzz_block(data + 1, size - 1);
    else
        fuzz_symbol(data + 1, size - 1);
    return 0;
}
