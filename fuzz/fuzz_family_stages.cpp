// The reading stages of the other QR kinds on arbitrary input: Micro QR and
// rMQR module matrices of any size, their bit streams of any length, both
// locators on small grey pictures, Model 1 module matrices (some with valid
// format information, so that the codewords and the bit stream are
// reached), Model 1 bit streams, and the search reading Model 1.
//
// Input: byte 0 chooses the stage (its low two bits; the rest picks the
// kind of stream, or a rectangle's larger sizes), byte 1 its size, the rest
// is the content.
#include <cstdint>
#include <cstdio>
#include <span>
#include <vector>

#include "1_base/bitstream.h"
#include "5_microqr/locate.h"
#include "5_microqr/reader.h"
#include "4_model1/reader.h"
#include "6_api/search.h"
#include "5_rmqr/locate.h"
#include "5_rmqr/reader.h"
#include "2_image/lone_eyes.h"
#include "1_base/bitstream.h"

using namespace vantor;

namespace {

// A square matrix of 0..20 modules a side from the bits of the content.
void fuzz_matrix(int side, std::span<const std::uint8_t> content) {
    vantor::ModuleMatrix m{side, side, std::vector<std::uint8_t>(static_cast<std::size_t>(side * side))};
    const std::size_t bits = content.size() * 8;
    for (std::size_t i = 0; i < m.modules.size() && bits > 0; ++i)
        m.modules[i] = (content[(i % bits) / 8] >> (i % 8)) & 1;
    microqr::read_matrix(m);
}

// A rectangular matrix of 0..145 x 0..19 modules from the bits of the
// content.
void fuzz_rectangle(int selector, std::span<const std::uint8_t> content) {
    ModuleMatrix m{selector % 146, selector / 146 % 20, {}};
    m.modules.resize(static_cast<std::size_t>(m.width * m.height));
    const std::size_t bits = content.size() * 8;
    for (std::size_t i = 0; i < m.modules.size() && bits > 0; ++i)
        m.modules[i] = (content[(i % bits) / 8] >> (i % 8)) & 1;
    rmqr::read_matrix(m);
}

// A Micro QR bit stream of version 1..4, cut anywhere within its last
// byte, or an rMQR stream of size 1..32.
void fuzz_stream(bool rmqr, int selector, std::span<const std::uint8_t> content) {
    const long bits = static_cast<long>(content.size()) * 8 - (selector / 4) % 8;
    if (rmqr)
        parse_bitstream(content, 1 + selector % 32, SymbolKind::rmqr);
    else
        parse_bitstream(content, 1 + selector % 4, SymbolKind::micro, bits);
}

// A grey picture 11..74 pixels wide of the content's bytes.
void fuzz_picture(int selector, std::span<const std::uint8_t> content) {
    const int width = 11 + selector % 64;
    const int height = static_cast<int>(content.size() / static_cast<std::size_t>(width));
    if (height < 1)
        return;
    const bool all = selector >= 128;
    int found = 0;
    lone_eyes::for_each_outline(content.data(), width, height, width, [&](const lone_eyes::Outline &o) {
        found += microqr::read_outline(o).has_value();
        found += rmqr::read_outline(o).has_value();
        return all || found == 0;
    });
}

// A Model 1 matrix of version 1..14 from the bits of the content; with
// `stamp`, both copies of the format information hold a valid word of the
// level and mask the first byte names.
void fuzz_model1_matrix(int selector, std::span<const std::uint8_t> content) {
    const int n = 4 * (1 + selector % 14) + 17;
    vantor::ModuleMatrix m{n, n, std::vector<std::uint8_t>(static_cast<std::size_t>(n * n))};
    const std::size_t bits = content.size() * 8;
    for (std::size_t i = 0; i < m.modules.size() && bits > 0; ++i)
        m.modules[i] = (content[(i % bits) / 8] >> (i % 8)) & 1;
    if (selector >= 128 && !content.empty()) {
        const int data = content[0] & 31;
        int word = data << 10;
        for (int bit = 14; bit >= 10; --bit)
            if (word & (1 << bit))
                word ^= 0x537 << (bit - 10);
        word = ((data << 10) | word) ^ 0x2825;
        auto put = [&](int col, int row, int bit) { m.modules[static_cast<std::size_t>(row * n + col)] = (word >> bit) & 1; };
        const int rows[] = {0, 1, 2, 3, 4, 5, 7, 8}, cols[] = {7, 5, 4, 3, 2, 1, 0};
        for (int i = 0; i < 8; ++i) {
            put(8, rows[i], i);
            put(n - 1 - i, 8, i);
        }
        for (int i = 0; i < 7; ++i) {
            put(cols[i], 8, 8 + i);
            put(8, n - 7 + i, 8 + i);
        }
    }
    model1::read_matrix(m);
}

// A Model 1 bit stream of version 1..14, cut anywhere within its last byte.
void fuzz_model1_stream(int selector, std::span<const std::uint8_t> content) {
    const long bits = static_cast<long>(content.size()) * 8 - (selector / 14) % 8;
    parse_bitstream(content, 1 + selector % 14, SymbolKind::model1, bits);
}

// The search, reading Model 1 where Model 2 fails, on a grey picture 21..84
// pixels wide.
void fuzz_model1_search(int selector, std::span<const std::uint8_t> content) {
    const int width = 21 + selector % 64;
    const int height = static_cast<int>(content.size() / static_cast<std::size_t>(width));
    if (height < 21)
        return;
    thorough::SearchOptions options;
    options.model1 = true;
    options.all_symbols = selector >= 128;
    thorough::search(content.data(), width, height, width, {}, options);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 2)
        return 0;
    const std::span<const std::uint8_t> content(data + 2, size - 2);
    switch (data[0] % 8) {
    case 0: fuzz_matrix(data[1] % 21, content); break;
    case 1: fuzz_stream(data[0] / 8 % 2 == 1, data[1], content); break;
    case 2: fuzz_picture(data[1], content); break;
    case 3: fuzz_rectangle(data[1] | (data[0] / 8) << 8, content); break;
    case 4: fuzz_model1_matrix(data[1], content); break;
    case 5: fuzz_model1_stream(data[1], content); break;
    default: fuzz_model1_search(data[1], content); break;
    }
    return 0;
}
