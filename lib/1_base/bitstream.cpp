// The one data bit stream reader. A stream that the strict rules refuse
// gives nothing, since a wrong text is worse than none; the classic rules
// keep what the classic entry has always read.
#include "bitstream.h"

#include <string>

#include "symbol_tables.h"

namespace vantor {
namespace {

// Field widths of the bit stream by kind and version range: mode indicator,
// terminator, and the character counts of numeric, alphanumeric, byte and
// kanji segments.
constexpr StreamLayout stream_layouts[] = {
    {SymbolKind::model2, 1, 9, 4, 4, {10, 9, 8, 8}},
    {SymbolKind::model2, 10, 26, 4, 4, {12, 11, 16, 10}},
    {SymbolKind::model2, 27, 40, 4, 4, {14, 13, 16, 12}},
    // Micro QR M1..M4; 0: the version has no such mode.
    {SymbolKind::micro, 1, 1, 0, 3, {3, 0, 0, 0}},
    {SymbolKind::micro, 2, 2, 1, 5, {4, 3, 0, 0}},
    {SymbolKind::micro, 3, 3, 2, 7, {5, 4, 4, 3}},
    {SymbolKind::micro, 4, 4, 3, 9, {6, 5, 5, 4}},
    // QR Code Model 1, versions 1..14.
    {SymbolKind::model1, 1, 9, 4, 4, {10, 9, 8, 8}},
    {SymbolKind::model1, 10, 14, 4, 4, {12, 11, 16, 10}},
    // rMQR by size number + 1 (R7x43 .. R17x139).
    {SymbolKind::rmqr, 1, 1, 3, 3, {4, 3, 3, 2}}, {SymbolKind::rmqr, 2, 2, 3, 3, {5, 5, 4, 3}},
    {SymbolKind::rmqr, 3, 3, 3, 3, {6, 5, 5, 4}}, {SymbolKind::rmqr, 4, 4, 3, 3, {7, 6, 5, 5}},
    {SymbolKind::rmqr, 5, 5, 3, 3, {7, 6, 6, 5}}, {SymbolKind::rmqr, 6, 6, 3, 3, {5, 5, 4, 3}},
    {SymbolKind::rmqr, 7, 7, 3, 3, {6, 5, 5, 4}}, {SymbolKind::rmqr, 8, 8, 3, 3, {7, 6, 5, 5}},
    {SymbolKind::rmqr, 9, 9, 3, 3, {7, 6, 6, 5}}, {SymbolKind::rmqr, 10, 10, 3, 3, {8, 7, 6, 6}},
    {SymbolKind::rmqr, 11, 11, 3, 3, {4, 4, 3, 2}}, {SymbolKind::rmqr, 12, 12, 3, 3, {6, 5, 5, 4}},
    {SymbolKind::rmqr, 13, 13, 3, 3, {7, 6, 5, 5}}, {SymbolKind::rmqr, 14, 14, 3, 3, {7, 6, 6, 5}},
    {SymbolKind::rmqr, 15, 15, 3, 3, {8, 7, 6, 6}}, {SymbolKind::rmqr, 16, 16, 3, 3, {8, 7, 7, 6}},
    {SymbolKind::rmqr, 17, 17, 3, 3, {5, 5, 4, 3}}, {SymbolKind::rmqr, 18, 18, 3, 3, {6, 6, 5, 5}},
    {SymbolKind::rmqr, 19, 19, 3, 3, {7, 6, 6, 5}}, {SymbolKind::rmqr, 20, 20, 3, 3, {7, 7, 6, 6}},
    {SymbolKind::rmqr, 21, 21, 3, 3, {8, 7, 7, 6}}, {SymbolKind::rmqr, 22, 22, 3, 3, {8, 8, 7, 7}},
    {SymbolKind::rmqr, 23, 23, 3, 3, {7, 6, 6, 5}}, {SymbolKind::rmqr, 24, 24, 3, 3, {7, 7, 6, 5}},
    {SymbolKind::rmqr, 25, 25, 3, 3, {8, 7, 7, 6}}, {SymbolKind::rmqr, 26, 26, 3, 3, {8, 7, 7, 6}},
    {SymbolKind::rmqr, 27, 27, 3, 3, {9, 8, 7, 7}}, {SymbolKind::rmqr, 28, 28, 3, 3, {7, 6, 6, 5}},
    {SymbolKind::rmqr, 29, 29, 3, 3, {8, 7, 6, 6}}, {SymbolKind::rmqr, 30, 30, 3, 3, {8, 7, 7, 6}},
    {SymbolKind::rmqr, 31, 31, 3, 3, {8, 8, 7, 6}}, {SymbolKind::rmqr, 32, 32, 3, 3, {9, 8, 8, 7}},
};

// The mode each kind's indicator values announce.
struct ModeIndicator {
    SymbolKind kind;
    int value;
    Mode mode;
};
constexpr ModeIndicator mode_indicators[] = {
    {SymbolKind::model2, 0, Mode::terminator},   {SymbolKind::model2, 1, Mode::numeric},
    {SymbolKind::model2, 2, Mode::alphanumeric}, {SymbolKind::model2, 3, Mode::structured_append},
    {SymbolKind::model2, 4, Mode::byte},         {SymbolKind::model2, 5, Mode::fnc1_first},
    {SymbolKind::model2, 7, Mode::eci},          {SymbolKind::model2, 8, Mode::kanji},
    {SymbolKind::model2, 9, Mode::fnc1_second},  {SymbolKind::model2, 13, Mode::hanzi},
    {SymbolKind::micro, 0, Mode::numeric},       {SymbolKind::micro, 1, Mode::alphanumeric},
    {SymbolKind::micro, 2, Mode::byte},          {SymbolKind::micro, 3, Mode::kanji},
    {SymbolKind::model1, 0, Mode::terminator},   {SymbolKind::model1, 1, Mode::numeric},
    {SymbolKind::model1, 2, Mode::alphanumeric}, {SymbolKind::model1, 4, Mode::byte},
    {SymbolKind::model1, 8, Mode::kanji},
    {SymbolKind::rmqr, 0, Mode::terminator},     {SymbolKind::rmqr, 1, Mode::numeric},
    {SymbolKind::rmqr, 2, Mode::alphanumeric},   {SymbolKind::rmqr, 3, Mode::byte},
    {SymbolKind::rmqr, 4, Mode::kanji},          {SymbolKind::rmqr, 5, Mode::fnc1_first},
    {SymbolKind::rmqr, 6, Mode::fnc1_second},    {SymbolKind::rmqr, 7, Mode::eci},
};

// The subset indicator of GB 2312 in a Chinese mode segment.
constexpr int gb2312_subset = 1;

int character_index(Mode mode) {
    switch (mode) {
    case Mode::numeric: return 0;
    case Mode::alphanumeric: return 1;
    case Mode::byte: return 2;
    case Mode::kanji: return 3;
    default: return -1;
    }
}

// An FNC1 application indicator: two digits, or a letter as its ASCII value
// plus 100.
bool valid_application(int v) { return v <= 99 || (v >= 165 && v <= 190) || (v >= 197 && v <= 222); }

bool read_numeric(BitReader &in, int n, Rules rules, SegmentSink &sink) {
    for (; n >= 3; n -= 3) {
        const int v = in.read(10);
        if ((rules == Rules::strict && v > 999) || !sink.put_digits(v, 3))
            return false;
    }
    if (n == 0)
        return true;
    // The last one or two digits, in 4 or 7 bits.
    const int v = in.read(n == 2 ? 7 : 4);
    return !(rules == Rules::strict && v >= (n == 2 ? 100 : 10)) && sink.put_digits(v, n);
}

// A value without a table character is not valid data under either rules.
// Under FNC1, '%' stands for GS and "%%" for '%', so such a segment is
// gathered whole before it is passed on.
bool read_alphanumeric(BitReader &in, int n, bool gs1, SegmentSink &sink) {
    std::string gathered;
    auto put = [&](int value) {
        const char c = alphanumeric_chars[value];
        if (gs1) {
            gathered += c;
            return true;
        }
        return sink.put(static_cast<std::uint8_t>(c));
    };
    for (; n >= 2; n -= 2) {
        const int v = in.read(11);
        if (v >= alphanumeric_count * alphanumeric_count || !put(v / alphanumeric_count) ||
            !put(v % alphanumeric_count))
            return false;
    }
    if (n == 1) {
        const int v = in.read(6);
        if (v >= alphanumeric_count || !put(v))
            return false;
    }
    for (std::size_t r = 0; r < gathered.size(); ++r) {
        std::uint8_t c = static_cast<std::uint8_t>(gathered[r]);
        if (c == '%') {
            if (r + 1 < gathered.size() && gathered[r + 1] == '%')
                ++r;
            else
                c = 0x1D;
        }
        if (!sink.put(c))
            return false;
    }
    return true;
}

// 13-bit values to GB 2312 pairs in 0xA1A1..0xAAFE and 0xB0A1..0xF7FE.
bool read_hanzi(BitReader &in, int n, SegmentSink &sink) {
    for (int i = 0; i < n; ++i) {
        const int v = in.read(13);
        if (v % 0x60 > 0xFE - 0xA1) // a trail byte past 0xFE
            return false;
        int pair = (v / 0x60) << 8 | (v % 0x60);
        pair += pair < 0x0A00 ? 0xA1A1 : 0xA6A1;
        const int lead = pair >> 8, trail = pair & 0xFF;
        if (lead > 0xF7 || !sink.put(static_cast<std::uint8_t>(lead)) || !sink.put(static_cast<std::uint8_t>(trail)))
            return false;
    }
    return true;
}

bool read_kanji(BitReader &in, int n, Rules rules, SegmentSink &sink) {
    for (int i = 0; i < n; ++i) {
        const KanjiPair p = kanji_pair(in.read(13));
        if ((rules == Rules::strict && !p.valid()) || !sink.put(static_cast<std::uint8_t>(p.lead)) ||
            !sink.put(static_cast<std::uint8_t>(p.trail)))
            return false;
    }
    return true;
}

// Collects the bytes of a stream read strictly and the runs its ECIs govern.
class ContentSink final : public SegmentSink {
public:
    Content c;
    int current_eci = -1;

    bool put(std::uint8_t b) override {
        c.bytes.push_back(b);
        return true;
    }
    bool put_digits(int value, int digits) override {
        for (int d = digits - 1; d >= 0; --d)
            c.bytes.push_back(static_cast<std::uint8_t>('0' + value / (d == 2 ? 100 : d == 1 ? 10 : 1) % 10));
        return true;
    }
    // A GB 2312 segment is a run of its own; the ECI goes on after it.
    void begin_characters(Mode mode) override {
        const int run_eci = mode == Mode::hanzi ? gb2312_run : current_eci;
        if (c.runs.empty() || c.runs.back().eci != run_eci)
            start_run(run_eci);
    }
    void eci(int designator) override {
        current_eci = designator;
        start_run(designator);
    }

private:
    // A run from the next byte on; one that holds no byte yet is taken over.
    void start_run(int designator) {
        if (!c.runs.empty() && c.runs.back().start == c.bytes.size())
            c.runs.back().eci = designator;
        else
            c.runs.push_back({c.bytes.size(), designator});
    }
};

} // namespace

const StreamLayout *stream_layout(SymbolKind kind, int version) {
    for (const StreamLayout &l : stream_layouts)
        if (l.kind == kind && version >= l.first_version && version <= l.last_version)
            return &l;
    return nullptr;
}

Mode mode_of(SymbolKind kind, int indicator) {
    for (const ModeIndicator &m : mode_indicators)
        if (m.kind == kind && m.value == indicator)
            return m.mode;
    return Mode::unknown;
}

long payload_bits(Mode mode, long n) {
    switch (mode) {
    case Mode::numeric: return 10 * (n / 3) + (n % 3 == 1 ? 4 : n % 3 == 2 ? 7 : 0);
    case Mode::alphanumeric: return 11 * (n / 2) + 6 * (n % 2);
    case Mode::byte: return 8 * n;
    case Mode::kanji:
    case Mode::hanzi: return 13 * n;
    default: return 0;
    }
}

// 13-bit values count Shift JIS pairs in rows of 0xC0 from 0x8140, skipping
// from lead byte 0x9F to 0xE0.
KanjiPair kanji_pair(int value) {
    const int q = value / 0xC0;
    return {q + (q + 0x81 <= 0x9F ? 0x81 : 0xC1), value % 0xC0 + 0x40};
}

int BitReader::peek(int n) {
    const long at = pos_;
    const int v = read(n);
    pos_ = at;
    return v;
}

int BitReader::read(int n) {
    unsigned v = 0;
    for (int i = 0; i < n; ++i, ++pos_) {
        unsigned bit = 0;
        if (pos_ >= 0 && pos_ < static_cast<long>(data_.size()) * 8)
            bit = (data_[static_cast<std::size_t>(pos_ >> 3)] >> (7 - (pos_ & 7))) & 1u;
        v = (v << 1) | bit;
    }
    return static_cast<int>(v);
}

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

StreamEnd read_segments(BitReader in, SymbolKind kind, int version, Rules rules, SegmentSink &sink, Facts &facts) {
    const StreamLayout *layout = stream_layout(kind, version);
    if (!layout)
        return StreamEnd::broken;
    const bool strict = rules == Rules::strict;
    bool any_data = false; // a character segment has been read
    bool any_segment = false;
    // Micro QR terminators are longer than its mode indicators, and its mode
    // 0 is numeric: the terminator is looked for before the mode is read.
    while (in.remaining() >= layout->terminator_bits && in.peek(layout->terminator_bits) != 0) {
        const Mode mode = mode_of(kind, in.read(layout->mode_bits));
        if (mode == Mode::terminator)
            break;
        const bool first_segment = !any_segment;
        any_segment = true;
        const int index = character_index(mode);
        if (index < 0 && !strict)
            return StreamEnd::unsupported_mode;
        switch (mode) {
        case Mode::structured_append:
            // Only at the very start of the stream.
            if (!first_segment || in.remaining() < 16)
                return StreamEnd::broken;
            facts.sa_index = in.read(4);
            facts.sa_count = in.read(4) + 1;
            facts.sa_parity = in.read(8);
            if (facts.sa_count < 2 || facts.sa_index >= facts.sa_count)
                return StreamEnd::broken;
            continue;
        case Mode::fnc1_first:
        case Mode::fnc1_second:
            // Once, before the first character.
            if (any_data || facts.fnc1 != 0)
                return StreamEnd::broken;
            facts.fnc1 = mode == Mode::fnc1_first ? 1 : 2;
            if (mode == Mode::fnc1_second) {
                if (in.remaining() < 8)
                    return StreamEnd::broken;
                facts.fnc1_application = in.read(8);
                if (!valid_application(facts.fnc1_application))
                    return StreamEnd::broken;
            }
            continue;
        case Mode::eci: {
            const auto designator = read_eci(in);
            if (!designator)
                return StreamEnd::broken;
            if (facts.eci < 0)
                facts.eci = *designator;
            sink.eci(*designator);
            continue;
        }
        case Mode::hanzi:
            // Only the GB 2312 subset is defined; its counts are as wide as
            // kanji's.
            if (in.remaining() < 4 || in.read(4) != gb2312_subset)
                return StreamEnd::broken;
            break;
        default: break;
        }
        const int widths = mode == Mode::hanzi ? character_index(Mode::kanji) : index;
        if (widths < 0)
            return StreamEnd::broken; // no such mode
        const int width = layout->count_bits[widths];
        if (width == 0 || in.remaining() < width)
            return StreamEnd::broken;
        const int n = in.read(width);
        if ((strict && n == 0) || in.remaining() < payload_bits(mode, n))
            return StreamEnd::broken;
        sink.begin_characters(mode);
        bool ok = true;
        switch (mode) {
        case Mode::numeric: ok = read_numeric(in, n, rules, sink); break;
        case Mode::alphanumeric: ok = read_alphanumeric(in, n, facts.fnc1 != 0, sink); break;
        case Mode::byte:
            for (int i = 0; i < n && ok; ++i)
                ok = sink.put(static_cast<std::uint8_t>(in.read(8)));
            break;
        case Mode::hanzi: ok = read_hanzi(in, n, sink); break;
        default: ok = read_kanji(in, n, rules, sink); break;
        }
        if (!ok)
            return StreamEnd::broken;
        any_data = true;
    }
    return StreamEnd::complete;
}

std::optional<Content> parse_bitstream(std::span<const std::uint8_t> data, int version, SymbolKind kind,
                                       long bits) {
    const long available = static_cast<long>(data.size()) * 8;
    if (bits > available)
        return std::nullopt;
    ContentSink sink;
    if (read_segments(BitReader(data, bits < 0 ? available : bits), kind, version, Rules::strict, sink,
                      sink.c.facts) != StreamEnd::complete ||
        sink.c.bytes.empty())
        return std::nullopt;
    return std::move(sink.c);
}

} // namespace vantor
