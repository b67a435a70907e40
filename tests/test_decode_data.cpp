// Data segment decoding on bit streams written by the tests.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "1_base/data_segments.h"
#include "3_model2/classic/state.h"

using namespace vantor;

namespace {
// The state the stages of these tests work on.
DecoderState state;
} // namespace

namespace {

class BitStream {
public:
    BitStream &put(unsigned value, int width) {
        for (int i = width - 1; i >= 0; --i) {
            if (bits_ % 8 == 0)
                bytes_.push_back(0);
            if (value >> i & 1)
                bytes_.back() |= static_cast<std::uint8_t>(0x80 >> (bits_ % 8));
            ++bits_;
        }
        return *this;
    }
    // Pads with the usual alternating pad codewords up to `total` bytes.
    std::vector<std::uint8_t> bytes(std::size_t total) const {
        std::vector<std::uint8_t> out = bytes_;
        for (bool first = true; out.size() < total; first = !first)
            out.push_back(first ? 0xEC : 0x11);
        return out;
    }
    int bits() const { return bits_; }

private:
    std::vector<std::uint8_t> bytes_;
    int bits_ = 0;
};

// Installs the stream as the data codewords of one block of the version.
void load(int version, const std::vector<std::uint8_t> &data) {
    state.version = version;
    state.block_groups[0] = {1, static_cast<int>(data.size()) + 10, static_cast<int>(data.size()), 5};
    state.block_groups[1] = {};
    state.uncorrected_blocks = 0;
    ASSERT_TRUE(state.codewords.allocate(data.size() + 10));
    std::memset(state.codewords.get(), 0, data.size() + 10);
    if (!data.empty())
        std::memcpy(state.codewords.get(), data.data(), data.size());
}

// Decodes and returns the text, or "<null>".
std::string decode(int version, const BitStream &stream, std::size_t total) {
    load(version, stream.bytes(total));
    const char *text = decode_data(state, state.version, state);
    return text ? std::string(text) : std::string("<null>");
}

std::string bytes_of(std::initializer_list<int> values) {
    std::string s;
    for (int v : values)
        s.push_back(static_cast<char>(v));
    return s;
}

} // namespace

TEST(DecodeData, NumericAlphanumericAndMixedSegments) {
    BitStream numeric;
    numeric.put(1, 4).put(8, 10).put(12, 10).put(345, 10).put(67, 7).put(0, 4);
    EXPECT_EQ(decode(1, numeric, 19), "01234567");

    BitStream alnum;
    alnum.put(2, 4).put(5, 9).put(462, 11).put(1849, 11).put(2, 6).put(0, 4);
    EXPECT_EQ(decode(1, alnum, 19), "AC-42");

    BitStream four_five; // 4 digits: 10 + 4 bits; 5 digits: 10 + 7 bits
    four_five.put(1, 4).put(4, 10).put(123, 10).put(4, 4).put(1, 4).put(5, 10).put(987, 10).put(65, 7);
    EXPECT_EQ(decode(1, four_five, 19), "123498765");

    BitStream mixed;
    mixed.put(1, 4).put(3, 10).put(42, 10);
    mixed.put(4, 4).put(2, 8).put('h', 8).put('i', 8);
    mixed.put(8, 4).put(2, 8).put(0x1AAA, 13).put(0, 13);
    mixed.put(0, 4);
    EXPECT_EQ(decode(5, mixed, 40), bytes_of({'0', '4', '2', 'h', 'i', 0xE4, 0xAA, 0x81, 0x40}));
}

TEST(DecodeData, CountWidthsFollowTheVersion) {
    // 8-bit byte counts: 8 bits up to version 9, 16 from version 10.
    BitStream byte8, byte16;
    byte8.put(4, 4).put(1, 8).put('x', 8).put(0, 4);
    byte16.put(4, 4).put(1, 16).put('x', 8).put(0, 4);
    EXPECT_EQ(decode(9, byte8, 20), "x");
    EXPECT_EQ(decode(10, byte16, 20), "x");
    EXPECT_NE(decode(10, byte8, 20), "x");

    // Numeric: 10 bits to version 9, 12 to 26, 14 from 27.
    const int widths[][2] = {{9, 10}, {10, 12}, {26, 12}, {27, 14}, {40, 14}};
    for (const auto &w : widths) {
        BitStream s;
        s.put(1, 4).put(2, w[1]).put(77, 7).put(0, 4);
        EXPECT_EQ(decode(w[0], s, 20), "77") << w[0];
    }
    // Alphanumeric 9/11/13 and kanji 8/10/12.
    const int alnum[][2] = {{9, 9}, {10, 11}, {26, 11}, {27, 13}};
    const int kanji[][2] = {{9, 8}, {10, 10}, {26, 10}, {27, 12}};
    for (int i = 0; i < 4; ++i) {
        BitStream a, k;
        a.put(2, 4).put(1, alnum[i][1]).put(10, 6).put(0, 4);
        k.put(8, 4).put(1, kanji[i][1]).put(0, 13).put(0, 4);
        EXPECT_EQ(decode(alnum[i][0], a, 20), "A") << alnum[i][0];
        EXPECT_EQ(decode(kanji[i][0], k, 20), bytes_of({0x81, 0x40})) << kanji[i][0];
    }
}

TEST(DecodeData, EndsWithoutTerminatorWhenTheDataIsFull) {
    BitStream exact; // 4 + 10 + 10 = 24 bits = 3 codewords
    exact.put(1, 4).put(3, 10).put(999, 10);
    ASSERT_EQ(exact.bits(), 24);
    EXPECT_EQ(decode(1, exact, 3), "999");

    BitStream short_tail; // 21 bits: 3 left, too few for a mode indicator
    short_tail.put(1, 4).put(2, 10).put(5, 7).put(7, 3);
    EXPECT_EQ(decode(1, short_tail, 3), "05");
}

TEST(DecodeData, ZeroByteEndsTheTextAndNumericWritesAtIt) {
    BitStream s;
    s.put(4, 4).put(3, 8).put('A', 8).put(0, 8).put('B', 8);
    s.put(1, 4).put(2, 10).put(12, 7);
    s.put(4, 4).put(1, 8).put('Z', 8);
    s.put(0, 4);
    load(1, s.bytes(19));
    const char *text = decode_data(state, state.version, state);
    ASSERT_NE(text, nullptr);
    // Digits at the zero byte; the byte segment at text_length (5).
    EXPECT_EQ(std::string(state.result_text, 7), bytes_of({'A', '1', '2', 0, 0, 'Z', 0}));
    EXPECT_STREQ(text, "A12");
    // The exact bytes keep the zero byte and the order of the segments.
    ASSERT_EQ(state.result_length, 6);
    EXPECT_EQ(std::string(state.result_bytes, 7), bytes_of({'A', 0, 'B', '1', '2', 'Z', 0}));
}

// The exact bytes follow every segment kind; a numeric group whose value has
// more digits than the group makes them invalid while the classic text
// keeps its reading.
TEST(DecodeData, ExactBytesAndTheirLength) {
    BitStream s;
    s.put(1, 4).put(4, 10).put(123, 10).put(4, 4);    // "1234"
    s.put(2, 4).put(3, 9).put(10 * 45 + 11, 11).put(36, 6); // "AB "
    s.put(8, 4).put(1, 8).put(0x1AAA, 13);            // one kanji pair
    s.put(0, 4);
    load(1, s.bytes(19));
    ASSERT_NE(decode_data(state, state.version, state), nullptr);
    const std::string want = "1234AB " + std::string(state.result_text + 7, 2);
    ASSERT_EQ(state.result_length, 9);
    EXPECT_EQ(std::string(state.result_bytes, 9), want);
    EXPECT_EQ(std::string(state.result_text), want);

    BitStream big_group; // 1023 in a three-digit group
    big_group.put(1, 4).put(3, 10).put(1023, 10).put(0, 4);
    EXPECT_EQ(decode(1, big_group, 19), "1023");
    EXPECT_EQ(state.result_length, -1);

    BitStream none;
    none.put(0, 4);
    EXPECT_EQ(decode(1, none, 19), "<null>");
    EXPECT_EQ(state.result_length, 0);
}

TEST(DecodeData, UnsupportedIndicatorsAndShortDataGiveNoText) {
    for (unsigned mode : {3u, 5u, 6u, 7u, 9u, 10u, 15u}) {
        BitStream s;
        s.put(1, 4).put(1, 10).put(7, 4).put(mode, 4).put(0, 16);
        EXPECT_EQ(decode(1, s, 19), "<null>") << mode;
    }
    BitStream empty;
    empty.put(0, 4);
    EXPECT_EQ(decode(1, empty, 19), "<null>");
    BitStream zero_counts;
    zero_counts.put(1, 4).put(0, 10).put(4, 4).put(0, 8).put(0, 4);
    EXPECT_EQ(decode(1, zero_counts, 19), "<null>");
    BitStream no_bits;
    EXPECT_EQ(decode(1, no_bits, 0), "<null>");

    BitStream short_count; // 8 bits of data: no room for the 10-bit count
    short_count.put(1, 4).put(0xF, 4);
    EXPECT_EQ(decode(1, short_count, 1), "<null>");
    BitStream short_chars; // 200 bytes announced in 19 codewords
    short_chars.put(4, 4).put(200, 8);
    EXPECT_EQ(decode(1, short_chars, 19), "<null>");

    // Alphanumeric values without a table character.
    BitStream pair, single;
    pair.put(2, 4).put(2, 9).put(2025, 11).put(0, 4);
    single.put(2, 4).put(1, 9).put(45, 6).put(0, 4);
    EXPECT_EQ(decode(1, pair, 19), "<null>");
    EXPECT_EQ(decode(1, single, 19), "<null>");

    // A block left with errors: no text however good the stream looks.
    BitStream good;
    good.put(4, 4).put(1, 8).put('x', 8).put(0, 4);
    load(1, good.bytes(19));
    state.uncorrected_blocks = 1;
    EXPECT_EQ(decode_data(state, state.version, state), nullptr);
    state.uncorrected_blocks = 0;
    EXPECT_NE(decode_data(state, state.version, state), nullptr);
    state.version = 0;
    EXPECT_EQ(decode_data(state, state.version, state), nullptr);
    state.codewords.reset();
    state.version = 1;
    EXPECT_EQ(decode_data(state, state.version, state), nullptr);
}

// The text buffer holds 7089 characters; a stream that would write more
// gives no text and nothing lands beyond the buffer.
TEST(DecodeData, TextBufferNeverOverflows) {
    // Numeric groups of value 1023 write four characters each.
    BitStream numeric;
    numeric.put(1, 4).put(7089, 14);
    for (int i = 0; i < 7089 / 3; ++i)
        numeric.put(1023, 10);
    numeric.put(0, 4);
    EXPECT_EQ(decode(40, numeric, 3000), "<null>");
    EXPECT_EQ(state.result_text[text_capacity - 1], 0);

    // Byte segments of 7089 bytes fit exactly; one more does not.
    for (int extra : {0, 1}) {
        BitStream bytes;
        bytes.put(4, 4).put(7000, 16);
        for (int i = 0; i < 7000; ++i)
            bytes.put('a' + i % 26, 8);
        bytes.put(4, 4).put(static_cast<unsigned>(89 + extra), 16);
        for (int i = 0; i < 89 + extra; ++i)
            bytes.put('z', 8);
        bytes.put(0, 4);
        const std::string text = decode(40, bytes, 7200);
        if (extra == 0) {
            EXPECT_EQ(text.size(), 7089u);
            EXPECT_EQ(text.back(), 'z');
        } else {
            EXPECT_EQ(text, "<null>");
        }
        EXPECT_EQ(state.result_text[text_capacity - 1], 0);
    }
    // Kanji pairs over the end: 3544 characters fill 7088 bytes, the next
    // one needs two more.
    BitStream kanji;
    kanji.put(8, 4).put(3545, 12);
    for (int i = 0; i < 3545; ++i)
        kanji.put(0x1AAA, 13);
    kanji.put(0, 4);
    EXPECT_EQ(decode(40, kanji, 6000), "<null>");
    EXPECT_EQ(state.result_text[text_capacity - 1], 0);

    state.codewords.reset();
}
