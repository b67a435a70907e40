// The reading stages of the other QR kinds on arbitrary input: Micro QR and
// rMQR module matrices of any size, their bit streams of any length, and
// both locators on small grey pictures.
//
// Input: byte 0 chooses the stage (its low two bits; the rest picks the
// kind of stream, or a rectangle's larger sizes), byte 1 its size, the rest
// is the content.
#include <cstdint>
#include <cstdio>
#include <span>
#include <vector>

#include "microqr/locate.h"
#include "microqr/reader.h"
#include "rmqr/locate.h"
#include "rmqr/reader.h"
#include "single_finder/outlines.h"
#include "bitstream.h"

using namespace vantor;

namespace {

// A square matrix of 0..20 modules a side from the bits of the content.
void fuzz_matrix(int side, std::span<const std::uint8_t> content) {
    thorough::ModuleMatrix m{side, std::vector<std::uint8_t>(static_cast<std::size_t>(side * side))};
    const std::size_t bits = content.size() * 8;
    for (std::size_t i = 0; i < m.modules.size() && bits > 0; ++i)
        m.modules[i] = (content[(i % bits) / 8] >> (i % 8)) & 1;
    microqr::read_matrix(m);
}

// A rectangular matrix of 0..145 x 0..19 modules from the bits of the
// content.
void fuzz_rectangle(int selector, std::span<const std::uint8_t> content) {
    rmqr::Matrix m{selector % 146, selector / 146 % 20, {}};
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
    single_finder::for_each_outline(content.data(), width, height, width, [&](const single_finder::Outline &o) {
        found += microqr::read_outline(o).has_value();
        found += rmqr::read_outline(o).has_value();
        return all || found == 0;
    });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 2)
        return 0;
    const std::span<const std::uint8_t> content(data + 2, size - 2);
    switch (data[0] % 4) {
    case 0: fuzz_matrix(data[1] % 21, content); break;
    case 1: fuzz_stream(data[0] / 4 % 2 == 1, data[1], content); break;
    case 2: fuzz_picture(data[1], content); break;
    default: fuzz_rectangle(data[1] | (data[0] / 4) << 8, content); break;
    }
    return 0;
}
