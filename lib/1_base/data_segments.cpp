// The classic entry's text: the data bit stream of the corrected data
// codewords read under the classic rules, written into result_text as that
// entry has always written it.
#include "data_segments.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "bitstream.h"
#include "symbol.h"

namespace vantor {
namespace {

// The largest text, leaving room for the terminating zero.
constexpr int max_text = text_capacity - 1;

// Writes the text twice: result_text as the classic entry has always given
// it (a numeric group lands at the first zero byte, and the length counts
// the group's digits) and result_bytes exactly as the segments carry it.
class TextWriter final : public SegmentSink {
public:
    explicit TextWriter(SymbolText &text) : s(text) {}

    SymbolText &s;
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
    bool put(std::uint8_t b) override {
        if (text_length >= max_text)
            return false;
        const char c = static_cast<char>(b);
        s.result_text[text_length++] = c;
        put_exact(&c, 1);
        return true;
    }

    // Appends a numeric group at the text's first zero byte.
    bool put_digits(int value, int digits) override {
        char group[16];
        const char *format = digits == 3 ? "%03d" : digits == 2 ? "%02d" : "%d";
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
};

} // namespace

char *decode_data(const SymbolCodewords &c, int version, SymbolText &t) {
    std::memset(t.result_text, 0, sizeof t.result_text);
    t.result_bytes[0] = 0;
    t.result_length = 0;
    t.data_unsupported_mode = false;

    // A block left with errors would give a wrong text.
    if (c.uncorrected_blocks != 0)
        return nullptr;
    if (version < 1 || version > 40 || !c.codewords)
        return nullptr;
    long d = 0;
    for (const BlockGroup &g : c.block_groups) {
        if (g.block_count < 0 || g.data_codewords < 0)
            return nullptr;
        d += static_cast<long>(g.block_count) * g.data_codewords;
    }
    if (d > static_cast<long>(c.codewords.size()))
        return nullptr;
    TextWriter text{t};
    Facts facts;
    const StreamEnd end = read_segments(BitReader(std::span(c.codewords.get(), static_cast<std::size_t>(d))),
                                        SymbolKind::model2, version, Rules::classic, text, facts);
    if (end == StreamEnd::unsupported_mode)
        t.data_unsupported_mode = true;
    if (end != StreamEnd::complete || text.text_length <= 0)
        return nullptr;
    t.result_bytes[text.exact_valid ? text.exact_length : 0] = 0;
    t.result_length = text.exact_valid ? text.exact_length : -1;
    return t.result_text;
}

} // namespace vantor
