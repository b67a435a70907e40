// Data segment decoding: reads the data bit stream of the corrected data
// codewords as segments (mode indicator, character count, characters) in the
// numeric, alphanumeric, 8-bit byte and kanji modes and writes the text into
// result_text.
#include "data_segments.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "state.h"
#include "symbol_tables.h"

namespace vantor {
namespace {

// The largest text, leaving room for the terminating zero.
constexpr int max_text = text_capacity - 1;

// Reads the data bit stream: the next bit is bit (7 - offset) of
// bytes[cursor]; the stream is the first `length` bytes.
struct BitReader {
    const std::uint8_t *bytes;
    long length;
    long cursor = 0;
    int offset = 0;

    long remaining() const { return (length - cursor) * 8 - offset; }

    // The next n bits, first bit highest. Bits past the stream read as 0;
    // callers test the remaining bits first, so this only keeps a stray
    // call inside the buffer.
    int read(int n) {
        if (n <= 0)
            return 0;
        unsigned value = 0;
        for (int i = 0; i < n; ++i) {
            unsigned bit = 0;
            if (cursor >= 0 && cursor < length)
                bit = (bytes[static_cast<std::size_t>(cursor)] >> (7 - offset)) & 1u;
            value = (value << 1) | bit;
            if (++offset == 8) {
                offset = 0;
                ++cursor;
            }
        }
        return static_cast<int>(value);
    }
};

// Writes the text twice: result_text as the classic entry has always given
// it (a numeric group lands at the first zero byte, and the length counts
// the group's digits) and result_bytes exactly as the segments carry it.
struct TextWriter {
    DecoderState &s;
    BitReader &bits;
    int text_length = 0;  // classic write position
    int exact_length = 0; // bytes in result_bytes
    bool exact_valid = true;

    void put_exact(const char *p, int n) {
        if (!exact_valid || exact_length + n > max_text) {
            exact_valid = false;
            return;
        }
        std::memcpy(s.result_bytes + exact_length, p, static_cast<std::size_t>(n));
        exact_length += n;
    }

    // Appends one byte at text_length; false when the text is full.
    bool put(char c) {
        if (text_length >= max_text)
            return false;
        s.result_text[text_length++] = c;
        put_exact(&c, 1);
        return true;
    }

    // Appends a numeric group at the text's first zero byte.
    bool put_digits(const char *format, int value, int digits) {
        char group[16];
        const int len = std::snprintf(group, sizeof group, format, value);
        const std::size_t end = strnlen(s.result_text, text_capacity);
        if (len < 0 || end + static_cast<std::size_t>(len) > static_cast<std::size_t>(max_text))
            return false;
        std::memcpy(s.result_text + end, group, static_cast<std::size_t>(len));
        text_length += digits;
        // A value with more digits than its group is no valid data.
        if (len != digits)
            exact_valid = false;
        put_exact(group, len);
        return true;
    }

    int read_bits(int n) { return bits.read(n); }

    bool decode_numeric(int n) {
        for (int i = 0; i < n / 3; ++i)
            if (!put_digits("%03d", read_bits(10), 3))
                return false;
        if (n % 3 == 2)
            return put_digits("%02d", read_bits(7), 2);
        if (n % 3 == 1)
            return put_digits("%d", read_bits(4), 1);
        return true;
    }

    // A value without a table character is not valid data and ends decoding.
    bool decode_alphanumeric(int n) {
        for (int i = 0; i < n / 2; ++i) {
            const int v = read_bits(11);
            if (v >= alphanumeric_count * alphanumeric_count)
                return false;
            if (!put(alphanumeric_chars[v / alphanumeric_count]) ||
                !put(alphanumeric_chars[v % alphanumeric_count]))
                return false;
        }
        if (n % 2 == 1) {
            const int v = read_bits(6);
            if (v >= alphanumeric_count)
                return false;
            return put(alphanumeric_chars[v]);
        }
        return true;
    }

    bool decode_bytes(int n) {
        for (int i = 0; i < n; ++i)
            if (!put(static_cast<char>(read_bits(8))))
                return false;
        return true;
    }

    // 13-bit values to Shift JIS pairs: 0x8140..0x9FFC and 0xE040..0xEBBF.
    bool decode_kanji(int n) {
        for (int i = 0; i < n; ++i) {
            const int v = read_bits(13);
            const int q = v / 0xC0;
            const int r = v % 0xC0;
            const int first = q + 0x81 <= 0x9F ? q + 0x81 : q + 0xC1;
            if (!put(static_cast<char>(first)) || !put(static_cast<char>(r + 0x40)))
                return false;
        }
        return true;
    }
};

} // namespace

char *decode_data(DecoderState &s) {
    std::memset(s.result_text, 0, sizeof s.result_text);
    s.result_bytes[0] = 0;
    s.result_length = 0;
    s.data_unsupported_mode = false;

    // A block left with errors would give a wrong text.
    if (s.uncorrected_blocks != 0)
        return nullptr;
    const int v = s.version;
    if (v < 1 || v > 40 || !s.codewords)
        return nullptr;
    long d = 0;
    for (const BlockGroup &g : s.block_groups) {
        if (g.block_count < 0 || g.data_codewords < 0)
            return nullptr;
        d += static_cast<long>(g.block_count) * g.data_codewords;
    }
    if (d > static_cast<long>(s.codewords.size()))
        return nullptr;
    BitReader bits{s.codewords.get(), d};
    TextWriter text{s, bits};
    const int range = v <= 9 ? 0 : v <= 26 ? 1 : 2;

    while (bits.remaining() >= 4) {
        const int mode = bits.read(4);
        if (mode == 0)
            break;
        int kind;
        switch (mode) {
        case 1: kind = 0; break;
        case 2: kind = 1; break;
        case 4: kind = 2; break;
        case 8: kind = 3; break;
        default: // ECI, structured append, FNC1 and undefined
            s.data_unsupported_mode = true;
            return nullptr;
        }
        const int width = count_widths[kind][range];
        if (bits.remaining() < width)
            return nullptr;
        const int n = bits.read(width);
        long need = 0;
        switch (kind) {
        case 0: need = 10L * (n / 3) + (n % 3 == 1 ? 4 : n % 3 == 2 ? 7 : 0); break;
        case 1: need = 11L * (n / 2) + (n % 2 == 1 ? 6 : 0); break;
        case 2: need = 8L * n; break;
        default: need = 13L * n; break;
        }
        if (bits.remaining() < need)
            return nullptr;
        bool ok = true;
        switch (kind) {
        case 0: ok = text.decode_numeric(n); break;
        case 1: ok = text.decode_alphanumeric(n); break;
        case 2: ok = text.decode_bytes(n); break;
        default: ok = text.decode_kanji(n); break;
        }
        if (!ok)
            return nullptr;
    }
    if (text.text_length <= 0)
        return nullptr;
    s.result_bytes[text.exact_valid ? text.exact_length : 0] = 0;
    s.result_length = text.exact_valid ? text.exact_length : -1;
    return s.result_text;
}

} // namespace vantor
