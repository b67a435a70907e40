// Model 1 symbols written module by module.
#include "model1_symbols.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "qr_content.h"

namespace vantor::testing {
namespace {

// Model 1 blocks by version 1..14 and level L, M, Q, H: block count, all
// data codewords, all check codewords.
struct BlockSet {
    int blocks, data, ecc;
};
constexpr BlockSet block_sets[14][4] = {
    {{1, 19, 7}, {1, 16, 10}, {1, 13, 13}, {1, 9, 17}},
    {{1, 36, 10}, {1, 30, 16}, {1, 24, 22}, {1, 16, 30}},
    {{1, 57, 15}, {1, 44, 28}, {1, 36, 36}, {1, 24, 48}},
    {{1, 80, 20}, {1, 60, 40}, {1, 50, 50}, {1, 34, 66}},
    {{1, 108, 26}, {1, 82, 52}, {1, 68, 66}, {2, 46, 88}},
    {{1, 136, 34}, {2, 106, 64}, {2, 86, 84}, {2, 58, 112}},
    {{1, 170, 42}, {2, 132, 80}, {2, 108, 104}, {3, 72, 138}},
    {{2, 208, 48}, {2, 160, 96}, {2, 128, 128}, {3, 87, 168}},
    {{2, 246, 60}, {2, 186, 120}, {3, 156, 150}, {3, 102, 204}},
    {{2, 290, 68}, {2, 222, 136}, {3, 183, 174}, {4, 124, 232}},
    {{2, 336, 80}, {4, 256, 160}, {4, 208, 208}, {5, 145, 270}},
    {{2, 384, 92}, {4, 292, 184}, {4, 244, 232}, {5, 165, 310}},
    {{3, 432, 108}, {4, 332, 208}, {4, 276, 264}, {6, 192, 348}},
    {{3, 489, 120}, {4, 368, 240}, {5, 310, 300}, {6, 210, 396}},
};

// Where the codewords go: eight-module blocks named by their lower-right
// module, tall ones (2 x 4) at the right edge and left of the vertical
// timing pattern, wide ones (4 x 2) between, all filled from the lower
// right upwards. `extension` blocks carry the extension patterns.
struct Place {
    int col, row;
    bool tall, extension;
};

std::vector<Place> places(int version) {
    const int n = 4 * version + 17;
    std::vector<Place> out;
    const int right_count = version + 2; // tall blocks in each right column pair
    for (int col : {n - 1, n - 3})
        for (int k = 0; k < right_count; ++k)
            out.push_back({col, n - 1 - 4 * k, true, col == n - 1 && k % 2 == 0 && k != 0 && k != right_count - 1});
    // Row pairs of the wide blocks from the bottom: every pair down to rows
    // 7-8, then three pairs above the timing row.
    std::vector<int> lower_rows;
    for (int r = n - 1; r >= 8; r -= 2)
        lower_rows.push_back(r);
    for (int r : {5, 3, 1})
        lower_rows.push_back(r);
    for (int c = 0; c <= version; ++c) {
        const int col = n - 5 - 4 * c;
        for (std::size_t i = 0; i < lower_rows.size(); ++i) {
            if (c == 0 && lower_rows[i] < 9) // beside the upper-right eye pattern
                continue;
            out.push_back({col, lower_rows[i], false, i == 0 && c % 2 == 1 && c != version});
        }
    }
    for (int col : {8, 5, 3, 1})
        for (int row = n - 9; row >= 12; row -= 4)
            out.push_back({col, row, true, false});
    return out;
}

// Reed-Solomon check codewords over GF(256) (polynomial 0x11D), the
// generator's roots 2^0 .. 2^(count-1); libqrencode's encoder stops at 30
// check codewords, Model 1 blocks have up to 86.
std::vector<std::uint8_t> check_codewords(const std::uint8_t *data, std::size_t length, std::size_t count) {
    std::uint8_t exp[512], log[256] = {};
    int x = 1;
    for (int i = 0; i < 255; ++i) {
        exp[i] = exp[i + 255] = static_cast<std::uint8_t>(x);
        log[x] = static_cast<std::uint8_t>(i);
        x = (x << 1) ^ (x & 0x80 ? 0x11D : 0);
    }
    auto mul = [&](std::uint8_t a, std::uint8_t b) -> std::uint8_t { return a && b ? exp[log[a] + log[b]] : 0; };
    std::vector<std::uint8_t> gen{1}; // highest power first
    for (std::size_t i = 0; i < count; ++i) {
        std::vector<std::uint8_t> next(gen.size() + 1, 0);
        for (std::size_t j = 0; j < gen.size(); ++j) {
            next[j] ^= gen[j];
            next[j + 1] ^= mul(gen[j], exp[i]);
        }
        gen = next;
    }
    std::vector<std::uint8_t> rem(count, 0);
    for (std::size_t i = 0; i < length; ++i) {
        const std::uint8_t factor = data[i] ^ rem[0];
        rem.erase(rem.begin());
        rem.push_back(0);
        for (std::size_t j = 0; j < count; ++j)
            rem[j] ^= mul(gen[j + 1], factor);
    }
    return rem;
}

class Bits {
public:
    void put(unsigned value, int count) {
        for (int i = count - 1; i >= 0; --i)
            bits_.push_back(static_cast<std::uint8_t>((value >> i) & 1));
    }
    std::size_t size() const { return bits_.size(); }
    std::vector<std::uint8_t> bytes() const {
        std::vector<std::uint8_t> out((bits_.size() + 7) / 8, 0);
        for (std::size_t i = 0; i < bits_.size(); ++i)
            out[i / 8] = static_cast<std::uint8_t>(out[i / 8] | (bits_[i] << (7 - i % 8)));
        return out;
    }

private:
    std::vector<std::uint8_t> bits_;
};

constexpr std::string_view alnum_chars = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ $%*+-./:";

// Appends one segment: mode indicator, count, characters. False when a
// character is not of the mode or the count does not fit its field.
bool put_segment(Bits &bits, const Segment &seg, int version) {
    const bool large = version >= 10;
    const std::string &s = seg.data;
    switch (seg.mode) {
    case Mode::numeric: {
        const int width = large ? 12 : 10;
        if (s.size() >= (1u << width))
            return false;
        bits.put(1, 4);
        bits.put(static_cast<unsigned>(s.size()), width);
        for (std::size_t i = 0; i < s.size(); i += 3) {
            const std::string group = s.substr(i, 3);
            unsigned v = 0;
            for (char c : group) {
                if (c < '0' || c > '9')
                    return false;
                v = v * 10 + static_cast<unsigned>(c - '0');
            }
            bits.put(v, group.size() == 3 ? 10 : group.size() == 2 ? 7 : 4);
        }
        return true;
    }
    case Mode::alphanumeric: {
        const int width = large ? 11 : 9;
        if (s.size() >= (1u << width))
            return false;
        bits.put(2, 4);
        bits.put(static_cast<unsigned>(s.size()), width);
        std::vector<unsigned> values;
        for (char c : s) {
            const auto at = alnum_chars.find(c);
            if (at == std::string_view::npos)
                return false;
            values.push_back(static_cast<unsigned>(at));
        }
        for (std::size_t i = 0; i + 1 < values.size(); i += 2)
            bits.put(values[i] * 45 + values[i + 1], 11);
        if (values.size() % 2)
            bits.put(values.back(), 6);
        return true;
    }
    case Mode::byte: {
        const int width = large ? 16 : 8;
        if (s.size() >= (1u << width))
            return false;
        bits.put(4, 4);
        bits.put(static_cast<unsigned>(s.size()), width);
        for (char c : s)
            bits.put(static_cast<unsigned char>(c), 8);
        return true;
    }
    case Mode::kanji: {
        const int width = large ? 10 : 8;
        if (s.size() % 2 || s.size() / 2 >= (1u << width))
            return false;
        bits.put(8, 4);
        bits.put(static_cast<unsigned>(s.size() / 2), width);
        for (std::size_t i = 0; i < s.size(); i += 2) {
            const unsigned code = (static_cast<unsigned char>(s[i]) << 8) | static_cast<unsigned char>(s[i + 1]);
            unsigned v;
            if (code >= 0x8140 && code <= 0x9FFC)
                v = code - 0x8140;
            else if (code >= 0xE040 && code <= 0xEBBF)
                v = code - 0xC140;
            else
                return false;
            bits.put((v >> 8) * 0xC0 + (v & 0xFF), 13);
        }
        return true;
    }
    }
    return false;
}

// The data codewords of the segments for a version and level: four clear
// lead bits, the segments, a terminator as far as it fits, then the pad
// codewords. Empty when they do not fit.
std::vector<std::uint8_t> data_codewords(std::span<const Segment> segments, int version, const BlockSet &set) {
    Bits bits;
    bits.put(0, 4);
    for (const Segment &seg : segments)
        if (!put_segment(bits, seg, version))
            return {};
    const std::size_t capacity = static_cast<std::size_t>(set.data) * 8;
    if (bits.size() > capacity)
        return {};
    bits.put(0, static_cast<int>(std::min<std::size_t>(4, capacity - bits.size())));
    std::vector<std::uint8_t> out = bits.bytes();
    for (bool second = false; out.size() < static_cast<std::size_t>(set.data); second = !second)
        out.push_back(second ? 0x11 : 0xEC);
    return out;
}

// The 15-bit format word of a level and mask under Model 1's own mask.
int format_word(Level level, int mask) {
    constexpr int level_bits[] = {1, 0, 3, 2};
    const int data = (level_bits[static_cast<int>(level)] << 3) | mask;
    int rem = data << 10;
    for (int bit = 14; bit >= 10; --bit)
        if (rem & (1 << bit))
            rem ^= 0x537 << (bit - 10);
    return ((data << 10) | rem) ^ 0x2825;
}

std::optional<Symbol> build(std::span<const Segment> segments, int version, Level level, int mask) {
    const BlockSet &set = block_sets[version - 1][static_cast<int>(level)];
    const std::vector<std::uint8_t> data = data_codewords(segments, version, set);
    if (data.empty())
        return std::nullopt;
    // Blocks follow each other: all data codewords, then the check
    // codewords of each block in turn.
    std::vector<std::uint8_t> stream(data);
    const std::size_t per_data = static_cast<std::size_t>(set.data / set.blocks);
    const std::size_t per_ecc = static_cast<std::size_t>(set.ecc / set.blocks);
    for (int b = 0; b < set.blocks; ++b) {
        const auto ecc = check_codewords(data.data() + b * per_data, per_data, per_ecc);
        stream.insert(stream.end(), ecc.begin(), ecc.end());
    }
    const int n = 4 * version + 17;
    // The frame: function modules carry bit 7, data modules bit 1.
    std::vector<unsigned char> frame(static_cast<std::size_t>(n) * n, 0);
    auto at = [&](int col, int row) -> unsigned char & { return frame[static_cast<std::size_t>(row) * n + col]; };
    for (auto [cx, cy] : {std::pair{0, 0}, std::pair{n - 7, 0}, std::pair{0, n - 7}})
        for (int dy = -1; dy <= 7; ++dy)
            for (int dx = -1; dx <= 7; ++dx) {
                const int x = cx + dx, y = cy + dy;
                if (x < 0 || y < 0 || x >= n || y >= n)
                    continue;
                const int ring = std::max(std::abs(2 * dx - 6), std::abs(2 * dy - 6)) / 2; // 0 centre .. 4 separator
                at(x, y) = static_cast<unsigned char>(0x80 | (ring == 2 || ring == 4 ? 0 : 1));
            }
    for (int i = 8; i < n - 8; ++i) {
        at(i, 6) = static_cast<unsigned char>(0x80 | (i % 2 == 0));
        at(6, i) = static_cast<unsigned char>(0x80 | (i % 2 == 0));
    }
    for (int i = 0; i <= 8; ++i) { // format modules, written below
        at(8, i) |= 0x80;
        at(i, 8) |= 0x80;
    }
    for (int i = 0; i < 8; ++i) {
        at(n - 1 - i, 8) |= 0x80;
        at(8, n - 1 - i) |= 0x80;
    }
    at(8, n - 8) = 0x81;
    std::size_t word = 0;
    for (const Place &p : places(version)) {
        for (int bit = 0; bit < 8; ++bit) {
            const int w = p.tall ? 2 : 4;
            const int col = p.col - bit % w, row = p.row - bit / w;
            if (p.extension) // dark along the symbol's edge, light inside
                at(col, row) = static_cast<unsigned char>(0x80 | (col == n - 1 || row == n - 1));
            else
                at(col, row) = static_cast<unsigned char>(
                    0x02 | (word < stream.size() ? (stream[word] >> (7 - bit)) & 1 : 0));
        }
        word += !p.extension;
    }
    std::optional<Symbol> s = masked_frame(frame.data(), n, version, level, mask);
    if (!s)
        return std::nullopt;
    // Format, bit 0 the lowest: bits 0..7 down column 8 (rows 0-5, 7, 8)
    // and bits 8..14 leftwards along row 8 (columns 7, 5..0), stepping over
    // the timing modules; again bits 0..7 leftwards along row 8 from the
    // right edge and bits 8..14 down column 8 from row n - 7.
    const int f = format_word(level, mask);
    const int first_rows[] = {0, 1, 2, 3, 4, 5, 7, 8};
    const int first_cols[] = {7, 5, 4, 3, 2, 1, 0};
    auto set_module = [&](int col, int row, int bit) { s->modules[static_cast<std::size_t>(row) * n + col] = (f >> bit) & 1; };
    for (int i = 0; i < 8; ++i)
        set_module(8, first_rows[i], i);
    for (int i = 0; i < 7; ++i)
        set_module(first_cols[i], 8, 8 + i);
    for (int i = 0; i < 8; ++i)
        set_module(n - 1 - i, 8, i);
    for (int i = 8; i < 15; ++i)
        set_module(8, n - 15 + i, i);
    for (const Segment &seg : segments)
        s->text += seg.data;
    return s;
}

} // namespace

int model1_data_codewords(int version, Level level) {
    return version >= 1 && version <= 14 ? block_sets[version - 1][static_cast<int>(level)].data : 0;
}

int model1_check_codewords(int version, Level level) {
    return version >= 1 && version <= 14 ? block_sets[version - 1][static_cast<int>(level)].ecc : 0;
}

std::optional<Symbol> make_model1(std::span<const Segment> segments, int version, Level level, int mask) {
    if (version < 0 || version > 14 || mask < 0 || mask > 7)
        return std::nullopt;
    for (int v = version == 0 ? 1 : version; v <= (version == 0 ? 14 : version); ++v)
        if (auto s = build(segments, v, level, mask))
            return s;
    return std::nullopt;
}

std::optional<Symbol> make_model1(std::string_view text, int version, Level level, Mode mode, int mask) {
    const Segment seg{mode, std::string(text)};
    return make_model1(std::span<const Segment>(&seg, 1), version, level, mask);
}

} // namespace vantor::testing
