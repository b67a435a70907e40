// Strict data bit stream reading for the search. Each segment is a 4-bit mode
// followed by its own fields; a reading that gets anything out of place gives
// nothing, since a wrong text is worse than none.
#include "bitstream.h"

#include <iconv.h>

#include <array>
#include <cstring>
#include <string>

#include "../symbol_tables.h"

namespace vantor::thorough {
namespace {

enum Mode : int {
    terminator = 0,
    numeric = 1,
    alphanumeric = 2,
    structured_append = 3,
    byte = 4,
    fnc1_first = 5,
    eci = 7,
    kanji = 8,
    fnc1_second = 9,
};

class BitReader {
public:
    BitReader(std::span<const std::uint8_t> data, long bits) : data_(data), bits_(bits) {}
    long remaining() const { return bits_ - pos_; }
    // The next n bits without moving past them.
    int peek(int n) {
        const long at = pos_;
        const int v = read(n);
        pos_ = at;
        return v;
    }
    // The next n bits (n <= 24); callers check remaining() first.
    int read(int n) {
        int v = 0;
        for (int i = 0; i < n; ++i, ++pos_)
            v = (v << 1) | ((data_[static_cast<std::size_t>(pos_ >> 3)] >> (7 - (pos_ & 7))) & 1);
        return v;
    }

private:
    std::span<const std::uint8_t> data_;
    long bits_;
    long pos_ = 0;
};

// ECI designator: 1, 2 or 3 bytes, told apart by their leading bits.
std::optional<int> read_eci(BitReader &in) {
    if (in.remaining() < 8)
        return std::nullopt;
    const int first = in.read(8);
    if ((first & 0x80) == 0)
        return first;
    if ((first & 0xC0) == 0x80) {
        if (in.remaining() < 8)
            return std::nullopt;
        return ((first & 0x3F) << 8) | in.read(8);
    }
    if ((first & 0xE0) == 0xC0) {
        if (in.remaining() < 16)
            return std::nullopt;
        const int v = ((first & 0x1F) << 16) | in.read(16);
        return v <= 999999 ? std::optional<int>(v) : std::nullopt;
    }
    return std::nullopt;
}

// An FNC1 application indicator: two digits, or a letter as its ASCII value
// plus 100.
bool valid_application(int v) { return v <= 99 || (v >= 165 && v <= 190) || (v >= 197 && v <= 222); }

bool read_numeric(BitReader &in, int n, std::vector<std::uint8_t> &out) {
    for (; n >= 3; n -= 3) {
        const int v = in.read(10);
        if (v > 999)
            return false;
        out.push_back(static_cast<std::uint8_t>('0' + v / 100));
        out.push_back(static_cast<std::uint8_t>('0' + v / 10 % 10));
        out.push_back(static_cast<std::uint8_t>('0' + v % 10));
    }
    if (n == 2) {
        const int v = in.read(7);
        if (v > 99)
            return false;
        out.push_back(static_cast<std::uint8_t>('0' + v / 10));
        out.push_back(static_cast<std::uint8_t>('0' + v % 10));
    } else if (n == 1) {
        const int v = in.read(4);
        if (v > 9)
            return false;
        out.push_back(static_cast<std::uint8_t>('0' + v));
    }
    return true;
}

// Under FNC1, '%' stands for GS and "%%" for '%'.
bool read_alphanumeric(BitReader &in, int n, bool gs1, std::vector<std::uint8_t> &out) {
    const std::size_t first = out.size();
    for (; n >= 2; n -= 2) {
        const int v = in.read(11);
        if (v >= alphanumeric_count * alphanumeric_count)
            return false;
        out.push_back(static_cast<std::uint8_t>(alphanumeric_chars[v / alphanumeric_count]));
        out.push_back(static_cast<std::uint8_t>(alphanumeric_chars[v % alphanumeric_count]));
    }
    if (n == 1) {
        const int v = in.read(6);
        if (v >= alphanumeric_count)
            return false;
        out.push_back(static_cast<std::uint8_t>(alphanumeric_chars[v]));
    }
    if (gs1) {
        std::size_t w = first;
        for (std::size_t r = first; r < out.size(); ++r) {
            if (out[r] == '%') {
                if (r + 1 < out.size() && out[r + 1] == '%') {
                    out[w++] = '%';
                    ++r;
                } else {
                    out[w++] = 0x1D;
                }
            } else {
                out[w++] = out[r];
            }
        }
        out.resize(w);
    }
    return true;
}

// 13-bit values to Shift JIS pairs in 0x8140..0x9FFC and 0xE040..0xEBBF.
bool read_kanji(BitReader &in, int n, std::vector<std::uint8_t> &out) {
    for (int i = 0; i < n; ++i) {
        const int v = in.read(13);
        const int lead = v / 0xC0 + (v / 0xC0 + 0x81 <= 0x9F ? 0x81 : 0xC1);
        const int trail = v % 0xC0 + 0x40;
        if (lead > 0xEB || trail == 0x7F || trail > 0xFC)
            return false;
        out.push_back(static_cast<std::uint8_t>(lead));
        out.push_back(static_cast<std::uint8_t>(trail));
    }
    return true;
}

// Bits the characters of a segment of n characters take.
long payload_bits(int kind, long n) {
    switch (kind) {
    case 0: return 10 * (n / 3) + (n % 3 == 1 ? 4 : n % 3 == 2 ? 7 : 0);
    case 1: return 11 * (n / 2) + 6 * (n % 2);
    case 2: return 8 * n;
    default: return 13 * n;
    }
}

// The iconv name of the character set an ECI designates; null for binary
// data and designators without a character set.
const char *eci_charset(int eci) {
    struct Entry {
        int eci;
        const char *name;
    };
    // The assignments of the ECI register that name a character set.
    static constexpr Entry table[] = {
        {0, "CP437"},       {1, "ISO-8859-1"},  {2, "CP437"},       {3, "ISO-8859-1"},   {4, "ISO-8859-2"},
        {5, "ISO-8859-3"},  {6, "ISO-8859-4"},  {7, "ISO-8859-5"},  {8, "ISO-8859-6"},   {9, "ISO-8859-7"},
        {10, "ISO-8859-8"}, {11, "ISO-8859-9"}, {12, "ISO-8859-10"}, {13, "ISO-8859-11"}, {15, "ISO-8859-13"},
        {16, "ISO-8859-14"}, {17, "ISO-8859-15"}, {18, "ISO-8859-16"}, {20, "SHIFT_JIS"}, {21, "CP1250"},
        {22, "CP1251"},     {23, "CP1252"},     {24, "CP1256"},     {25, "UTF-16BE"},    {26, "UTF-8"},
        {27, "US-ASCII"},   {28, "BIG5"},       {29, "GB18030"},    {30, "EUC-KR"},      {170, "US-ASCII"},
    };
    for (const Entry &e : table)
        if (e.eci == eci)
            return e.name;
    return nullptr;
}

bool convert(const char *from, const std::uint8_t *in, std::size_t n, std::string &out) {
    iconv_t cd = iconv_open("UTF-8", from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    std::string buffer(n * 4 + 4, '\0');
    char *src = const_cast<char *>(reinterpret_cast<const char *>(in));
    std::size_t src_left = n;
    char *dst = buffer.data();
    std::size_t dst_left = buffer.size();
    const std::size_t r = iconv(cd, &src, &src_left, &dst, &dst_left);
    iconv_close(cd);
    if (r == static_cast<std::size_t>(-1) || src_left != 0)
        return false;
    out.append(buffer.data(), buffer.size() - dst_left);
    return true;
}

} // namespace

std::optional<Content> parse_bitstream(std::span<const std::uint8_t> data, int version) {
    const auto layout = model2_layout(version);
    if (!layout)
        return std::nullopt;
    return parse_bitstream(data, static_cast<long>(data.size()) * 8, *layout);
}

std::optional<Content> parse_bitstream(std::span<const std::uint8_t> data, long bits, const StreamLayout &layout) {
    if (bits < 0 || bits > static_cast<long>(data.size()) * 8 || !layout.modes || layout.mode_bits < 0 ||
        layout.mode_bits > 4 || layout.terminator_bits < 1 || layout.terminator_bits > 24)
        return std::nullopt;
    BitReader in(data, bits);
    Content c;
    bool any_data = false; // a character segment has been read
    bool any_segment = false;
    int current_eci = -1;
    // A terminator cut short by the end of the data ends it as well.
    while (in.remaining() >= layout.terminator_bits && in.peek(layout.terminator_bits) != 0) {
        const int mode = layout.modes[in.read(layout.mode_bits)];
        if (mode == terminator)
            break;
        const bool first_segment = !any_segment;
        any_segment = true;
        switch (mode) {
        case structured_append:
            // Only at the very start of the stream.
            if (!first_segment || in.remaining() < 16)
                return std::nullopt;
            c.facts.sa_index = in.read(4);
            c.facts.sa_count = in.read(4) + 1;
            c.facts.sa_parity = in.read(8);
            if (c.facts.sa_count < 2 || c.facts.sa_index >= c.facts.sa_count)
                return std::nullopt;
            continue;
        case fnc1_first:
        case fnc1_second:
            // Once, before the first character.
            if (any_data || c.facts.fnc1 != 0)
                return std::nullopt;
            c.facts.fnc1 = mode == fnc1_first ? 1 : 2;
            if (mode == fnc1_second) {
                if (in.remaining() < 8)
                    return std::nullopt;
                c.facts.fnc1_application = in.read(8);
                if (!valid_application(c.facts.fnc1_application))
                    return std::nullopt;
            }
            continue;
        case eci: {
            const auto designator = read_eci(in);
            if (!designator)
                return std::nullopt;
            if (c.facts.eci < 0)
                c.facts.eci = *designator;
            current_eci = *designator;
            if (!c.runs.empty() && c.runs.back().start == c.bytes.size())
                c.runs.back().eci = current_eci;
            else
                c.runs.push_back({c.bytes.size(), current_eci});
            continue;
        }
        default: break;
        }
        int kind;
        switch (mode) {
        case numeric: kind = 0; break;
        case alphanumeric: kind = 1; break;
        case byte: kind = 2; break;
        case kanji: kind = 3; break;
        default: return std::nullopt; // no such mode
        }
        const int width = layout.count_widths[static_cast<std::size_t>(kind)];
        if (width == 0 || in.remaining() < width)
            return std::nullopt;
        const int n = in.read(width);
        if (n == 0 || in.remaining() < payload_bits(kind, n))
            return std::nullopt;
        if (c.runs.empty())
            c.runs.push_back({0, current_eci});
        bool ok = false;
        switch (kind) {
        case 0: ok = read_numeric(in, n, c.bytes); break;
        case 1: ok = read_alphanumeric(in, n, c.facts.fnc1 != 0, c.bytes); break;
        case 2:
            for (int i = 0; i < n; ++i)
                c.bytes.push_back(static_cast<std::uint8_t>(in.read(8)));
            ok = true;
            break;
        default: ok = read_kanji(in, n, c.bytes); break;
        }
        if (!ok)
            return std::nullopt;
        any_data = true;
    }
    if (!any_data)
        return std::nullopt;
    return c;
}

std::string eci_text(const Content &content) {
    if (content.facts.eci < 0)
        return {};
    std::string out;
    for (std::size_t i = 0; i < content.runs.size(); ++i) {
        const std::size_t start = content.runs[i].start;
        const std::size_t end = i + 1 < content.runs.size() ? content.runs[i + 1].start : content.bytes.size();
        if (end <= start)
            continue;
        const std::uint8_t *p = content.bytes.data() + start;
        const char *charset = eci_charset(content.runs[i].eci);
        // Runs before any ECI, and binary data, are shown as Latin-1.
        if (!convert(charset ? charset : "ISO-8859-1", p, end - start, out))
            return {};
    }
    return out;
}

} // namespace vantor::thorough
