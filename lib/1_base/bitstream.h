// The data bit stream of a symbol: segments, each a mode indicator, a
// character count and its characters. One reader serves every path; the
// widths of its fields for each kind of symbol are rows of one table
// (stream_layouts in bitstream.cpp), and how much it forgives is a parameter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace vantor {

// The kinds of symbol whose bit streams the reader knows; each has its rows
// in the layout table and its mode indicator values in the mode table.
enum class SymbolKind { model2, micro, model1, rmqr };

// What a mode indicator announces.
enum class Mode {
    terminator, numeric, alphanumeric, byte, kanji,
    hanzi, // GB 2312 characters after a 4-bit subset indicator (strict only)
    eci, structured_append, fnc1_first, fnc1_second, unknown
};

// The field widths of the bit stream of one kind over a range of versions.
struct StreamLayout {
    SymbolKind kind;
    int first_version;
    int last_version;
    int mode_bits;       // width of a mode indicator
    int terminator_bits; // zero bits that end the stream
    int count_bits[4];   // character count width: numeric, alphanumeric, byte, kanji
};

// The layout of a kind's version; null when the kind has no such version.
const StreamLayout *stream_layout(SymbolKind kind, int version);

// The mode a kind's indicator value announces (Mode::unknown: none).
Mode mode_of(SymbolKind kind, int indicator);

// Bits the characters of a segment of n characters take in a character mode.
long payload_bits(Mode mode, long n);

// The Shift JIS pair of a kanji mode value; valid() tells whether the pair
// lies in 0x8140..0x9FFC or 0xE040..0xEBBF with a possible trail byte.
struct KanjiPair {
    int lead;
    int trail;
    bool valid() const { return lead <= 0xEB && trail != 0x7F && trail <= 0xFC; }
};
KanjiPair kanji_pair(int value);

// Reads the bit stream: the next bit is bit (7 - pos % 8) of byte pos / 8.
class BitReader {
public:
    explicit BitReader(std::span<const std::uint8_t> data) : BitReader(data, static_cast<long>(data.size()) * 8) {}
    // A stream of the first `bits` bits of data (at most all of them).
    BitReader(std::span<const std::uint8_t> data, long bits) : data_(data), bits_(bits) {}
    long remaining() const { return bits_ - pos_; }
    // The next n bits (n <= 24), first bit highest. Bits past the stream read
    // as 0; callers test remaining() first, so this only keeps a stray call
    // inside the buffer.
    int read(int n);
    // The next n bits, left to be read again.
    int peek(int n);

private:
    std::span<const std::uint8_t> data_;
    long bits_;
    long pos_ = 0;
};

// An ECI designator (1, 2 or 3 bytes, told apart by their leading bits);
// nothing when it runs past the stream or is malformed.
std::optional<int> read_eci(BitReader &in);

// How much the reader forgives.
// - classic: only the four character modes; any other mode ends the stream
//   as unsupported; numeric groups out of range and kanji values off the
//   Shift JIS rows are passed on as they are; a count of 0 is read.
// - strict: ECI, structured append and FNC1 are read under their placement
//   rules; anything out of range or out of place breaks the stream.
enum class Rules { classic, strict };

// What the data bit stream declared besides its characters.
struct Facts {
    int eci = -1;             // designator of the first ECI segment; -1: none
    int sa_index = -1;        // structured append: position 0..15; -1: none
    int sa_count = 0;         // structured append: symbols in the set
    int sa_parity = 0;        // structured append: parity byte
    int fnc1 = 0;             // 0 none, 1 first position (GS1), 2 second position
    int fnc1_application = 0; // application indicator of an FNC1 in second position
};

// Receives what the reader decodes; a false return ends the stream as broken.
class SegmentSink {
public:
    virtual bool put(std::uint8_t c) = 0;                 // one byte of text
    virtual bool put_digits(int value, int digits) = 0;   // a numeric group of 1-3 digits
    virtual void begin_characters(Mode) {}                // a character segment follows
    virtual void eci(int) {}                              // an ECI designator (strict only)

protected:
    ~SegmentSink() = default;
};

enum class StreamEnd { complete, unsupported_mode, broken };

// Reads the segments of a kind's version's bit stream into sink, and the
// declarations besides characters into facts, up to a terminator or until
// fewer bits than a terminator remain (a terminator cut short by the end of
// the data).
StreamEnd read_segments(BitReader in, SymbolKind kind, int version, Rules rules, SegmentSink &sink, Facts &facts);

// The designator a run of GB 2312 characters (Chinese mode) carries in place
// of an ECI: its bytes are GB 2312 pairs whatever ECI is declared.
inline constexpr int gb2312_run = -2;

// A run of bytes that one ECI governs (-1: no ECI declared before it).
struct EciRun {
    std::size_t start = 0; // first byte of the run in Content::bytes
    int eci = -1;
};

struct Content {
    std::vector<std::uint8_t> bytes; // under FNC1, alphanumeric '%' as GS and "%%" as '%'
    std::vector<EciRun> runs;        // in order; the first starts at 0
    Facts facts;
};

// The data codewords of a symbol of this version read under the strict
// rules, or nothing when the stream breaks a rule: an unknown mode, a mode the version
// does not have, a count that runs past the data, a value out of its mode's
// range, a header out of place, or no characters at all. Bits after a
// terminator, and the bits after the last segment when no terminator fits,
// are not read. `bits` is how many leading bits of data hold the stream
// (Micro QR M1 and M3 end in a half codeword); -1: all of them; more than
// data holds: nothing.
std::optional<Content> parse_bitstream(std::span<const std::uint8_t> data, int version,
                                       SymbolKind kind = SymbolKind::model2, long bits = -1);

} // namespace vantor
