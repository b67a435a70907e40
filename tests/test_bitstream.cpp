// The bit stream reader: every mode under the strict rules, the headers the
// classic rules refuse (ECI, structured append, FNC1), and the streams it
// must refuse.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "qr_content.h"
#include "1_base/bitstream.h"
#include "1_base/display_text.h"


namespace {

using Bits = vantor::testing::BitWriter;

std::string text(const vantor::Content &c) { return std::string(c.bytes.begin(), c.bytes.end()); }

// Version 1-M holds 16 data codewords; version 10 changes the count widths.
constexpr std::size_t v1 = 16;

TEST(Bitstream, ReadsEveryModeWithTheirCountWidths) {
    // Numeric 01234567 (3 groups), alphanumeric "AC-42", byte "hi", kanji
    // 0x935F, terminator.
    Bits b;
    b.put(1, 4).put(8, 10).put(12, 10).put(345, 10).put(67, 7);
    b.put(2, 4).put(5, 9).put(10 * 45 + 12, 11).put(41 * 45 + 4, 11).put(2, 6);
    b.put(4, 4).put(2, 8).bytes("hi");
    b.put(8, 4).put(1, 8).put(0x0D9F, 13).put(0, 4);
    const auto c = vantor::parse_bitstream(b.codewords(44), 3);
    ASSERT_TRUE(c);
    EXPECT_EQ(text(*c), std::string("01234567AC-42hi") + "\x93\x5F");
    EXPECT_EQ(c->facts.eci, -1);
    EXPECT_EQ(c->facts.fnc1, 0);
    EXPECT_EQ(c->facts.sa_index, -1);

    // From version 10 the byte count takes 16 bits.
    Bits wide;
    wide.put(4, 4).put(3, 16).bytes("abc").put(0, 4);
    const auto w = vantor::parse_bitstream(wide.codewords(200), 10);
    ASSERT_TRUE(w);
    EXPECT_EQ(text(*w), "abc");
    EXPECT_FALSE(vantor::parse_bitstream(wide.codewords(200), 9)); // read as 8 bits: 0 count
}

TEST(Bitstream, ChineseModeKeepsGb2312PairsAndShowsUtf8) {
    // "x", then GB 2312 subset (1) with two characters: 0xD6D0 and 0xCEC4
    // ("zhong wen"), 13 bits each as (row - 0xA6) * 0x60 + column - 0xA1.
    Bits b;
    b.put(4, 4).put(1, 8).bytes("x");
    b.put(13, 4).put(1, 4).put(2, 8).put(0x30 * 0x60 + 0x2F, 13).put(0x28 * 0x60 + 0x23, 13);
    b.put(4, 4).put(1, 8).bytes("y").put(0, 4);
    const auto c = vantor::parse_bitstream(b.codewords(v1), 1);
    ASSERT_TRUE(c);
    EXPECT_EQ(text(*c), "x\xD6\xD0\xCE\xC4y");
    EXPECT_EQ(c->facts.eci, -1);
    EXPECT_EQ(vantor::eci_text(*c), "x\xE4\xB8\xAD\xE6\x96\x87y");
    // Another subset, and a value whose second byte would pass 0xFE, are
    // no GB 2312.
    Bits other;
    other.put(13, 4).put(2, 4).put(1, 8).put(0, 13).put(0, 4);
    EXPECT_FALSE(vantor::parse_bitstream(other.codewords(v1), 1));
    Bits past;
    past.put(13, 4).put(1, 4).put(1, 8).put(0x5E, 13).put(0, 4);
    EXPECT_FALSE(vantor::parse_bitstream(past.codewords(v1), 1));
}

TEST(Bitstream, EciSegmentsGovernTheBytesAfterThem) {
    // "x" before any ECI, then ECI 7 (ISO 8859-5) with Cyrillic bytes, then
    // ECI 26 (UTF-8) with "é" as UTF-8; designators of one and two bytes.
    Bits b;
    b.put(4, 4).put(1, 8).bytes("x");
    b.put(7, 4).put(7, 8).put(4, 4).put(2, 8).bytes("\xC4\xD0");
    b.put(7, 4).put(0x80 | 0, 8).put(26, 8).put(4, 4).put(2, 8).bytes("\xC3\xA9").put(0, 4);
    const auto c = vantor::parse_bitstream(b.codewords(v1), 1);
    ASSERT_TRUE(c);
    EXPECT_EQ(text(*c), "x\xC4\xD0\xC3\xA9"); // bytes kept as they are
    EXPECT_EQ(c->facts.eci, 7);               // the first designator
    ASSERT_EQ(c->runs.size(), 3u);
    EXPECT_EQ(c->runs[1].start, 1u);
    EXPECT_EQ(c->runs[1].eci, 7);
    EXPECT_EQ(c->runs[2].eci, 26);
    // Latin-1 before the first ECI, each run in its own character set.
    EXPECT_EQ(vantor::eci_text(*c), "x\xD0\xA4\xD0\xB0\xC3\xA9");

    // Shift JIS and binary (shown byte for byte as Latin-1).
    Bits sjis;
    sjis.put(7, 4).put(20, 8).put(4, 4).put(2, 8).bytes("\x82\xA0").put(0, 4);
    const auto s = vantor::parse_bitstream(sjis.codewords(v1), 1);
    ASSERT_TRUE(s);
    EXPECT_EQ(vantor::eci_text(*s), "\xE3\x81\x82"); // HIRAGANA LETTER A
    Bits binary;
    binary.put(7, 4).put(0xC0 | 0, 8).put(899, 16).put(4, 4).put(1, 8).bytes("\xFF").put(0, 4);
    const auto bin = vantor::parse_bitstream(binary.codewords(v1), 1);
    ASSERT_TRUE(bin);
    EXPECT_EQ(bin->facts.eci, 899);
    EXPECT_EQ(vantor::eci_text(*bin), "\xC3\xBF");
    // Without an ECI there is no converted text: the caller converts.
    Bits plain;
    plain.put(4, 4).put(1, 8).bytes("a").put(0, 4);
    EXPECT_EQ(vantor::eci_text(*vantor::parse_bitstream(plain.codewords(v1), 1)), "");
}

TEST(Bitstream, StructuredAppendHeaderComesFirst) {
    Bits b;
    b.put(3, 4).put(2, 4).put(3, 4).put(0x5A, 8).put(4, 4).put(2, 8).bytes("ok").put(0, 4);
    const auto c = vantor::parse_bitstream(b.codewords(v1), 1);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->facts.sa_index, 2);
    EXPECT_EQ(c->facts.sa_count, 4);
    EXPECT_EQ(c->facts.sa_parity, 0x5A);
    EXPECT_EQ(text(*c), "ok");

    // After a data segment it is out of place; an index past the count and
    // a set of one are not sets.
    Bits late;
    late.put(4, 4).put(2, 8).bytes("ok").put(3, 4).put(0, 4).put(1, 4).put(0, 8).put(0, 4);
    EXPECT_FALSE(vantor::parse_bitstream(late.codewords(v1), 1));
    Bits past;
    past.put(3, 4).put(4, 4).put(3, 4).put(0, 8).put(4, 4).put(1, 8).bytes("a").put(0, 4);
    EXPECT_FALSE(vantor::parse_bitstream(past.codewords(v1), 1));
    Bits single;
    single.put(3, 4).put(0, 4).put(0, 4).put(0, 8).put(4, 4).put(1, 8).bytes("a").put(0, 4);
    EXPECT_FALSE(vantor::parse_bitstream(single.codewords(v1), 1));
}

TEST(Bitstream, Fnc1FirstTurnsPercentIntoGroupSeparator) {
    // "01%%9%10" under FNC1: "01%9" GS "10".
    const std::string chars = "01%%9%10";
    auto value = [](char c) { return static_cast<int>(std::string("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ $%*+-./:").find(c)); };
    Bits b;
    b.put(5, 4).put(2, 4).put(static_cast<unsigned>(chars.size()), 9);
    for (std::size_t i = 0; i < chars.size(); i += 2)
        b.put(static_cast<unsigned>(value(chars[i]) * 45 + value(chars[i + 1])), 11);
    b.put(0, 4);
    const auto c = vantor::parse_bitstream(b.codewords(v1), 1);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->facts.fnc1, 1);
    EXPECT_EQ(text(*c), "01%9\x1D" "10");

    // Without FNC1 the same characters stay as they are.
    Bits plain;
    plain.put(2, 4).put(static_cast<unsigned>(chars.size()), 9);
    for (std::size_t i = 0; i < chars.size(); i += 2)
        plain.put(static_cast<unsigned>(value(chars[i]) * 45 + value(chars[i + 1])), 11);
    plain.put(0, 4);
    EXPECT_EQ(text(*vantor::parse_bitstream(plain.codewords(v1), 1)), chars);
}

TEST(Bitstream, Fnc1SecondCarriesItsApplicationIndicator) {
    for (unsigned indicator : {37u, 165u + 1u, 197u + 25u}) {
        Bits b;
        b.put(9, 4).put(indicator, 8).put(4, 4).put(1, 8).bytes("z").put(0, 4);
        const auto c = vantor::parse_bitstream(b.codewords(v1), 1);
        ASSERT_TRUE(c) << indicator;
        EXPECT_EQ(c->facts.fnc1, 2);
        EXPECT_EQ(c->facts.fnc1_application, static_cast<int>(indicator));
    }
    // Neither two digits nor a letter plus 100.
    for (unsigned indicator : {100u, 164u, 191u, 223u}) {
        Bits b;
        b.put(9, 4).put(indicator, 8).put(4, 4).put(1, 8).bytes("z").put(0, 4);
        EXPECT_FALSE(vantor::parse_bitstream(b.codewords(v1), 1)) << indicator;
    }
    // After the first character, or twice, FNC1 is out of place.
    Bits late;
    late.put(4, 4).put(1, 8).bytes("z").put(5, 4).put(0, 4);
    EXPECT_FALSE(vantor::parse_bitstream(late.codewords(v1), 1));
    Bits twice;
    twice.put(5, 4).put(5, 4).put(4, 4).put(1, 8).bytes("z").put(0, 4);
    EXPECT_FALSE(vantor::parse_bitstream(twice.codewords(v1), 1));
}

TEST(Bitstream, RefusesWhatNoEncoderWrites) {
    struct Case {
        const char *what;
        Bits bits;
    };
    std::vector<Case> cases;
    cases.push_back({"undefined mode 6", Bits().put(6, 4).put(0, 12)});
    cases.push_back({"mode 13 (not of this symbology's set)", Bits().put(13, 4).put(1, 8).put(0, 13)});
    cases.push_back({"byte count past the data", Bits().put(4, 4).put(20, 8).bytes("abc")});
    cases.push_back({"numeric group of 1000", Bits().put(1, 4).put(3, 10).put(1000, 10).put(0, 4)});
    cases.push_back({"two digits of 100", Bits().put(1, 4).put(2, 10).put(100, 7).put(0, 4)});
    cases.push_back({"alphanumeric pair past 45 x 45", Bits().put(2, 4).put(2, 9).put(2025, 11).put(0, 4)});
    cases.push_back({"alphanumeric single of 45", Bits().put(2, 4).put(1, 9).put(45, 6).put(0, 4)});
    cases.push_back({"kanji trail byte 0x7F", Bits().put(8, 4).put(1, 8).put(0x3F, 13).put(0, 4)});
    cases.push_back({"segment of no characters", Bits().put(4, 4).put(0, 8).put(0, 4)});
    cases.push_back({"only a terminator", Bits().put(0, 4)});
    cases.push_back({"only an ECI", Bits().put(7, 4).put(3, 8).put(0, 4)});
    cases.push_back({"ECI designator of four bytes", Bits().put(7, 4).put(0xE0, 8).put(0, 24)});
    cases.push_back({"ECI past 999999", Bits().put(7, 4).put(0xDF, 8).put(0xFFFF, 16).put(4, 4).put(1, 8).bytes("a")});
    for (const Case &c : cases)
        EXPECT_FALSE(vantor::parse_bitstream(c.bits.codewords(v1), 1)) << c.what;
    EXPECT_FALSE(vantor::parse_bitstream(Bits().put(4, 4).put(1, 8).bytes("a").codewords(v1), 0));
    EXPECT_FALSE(vantor::parse_bitstream(Bits().put(4, 4).put(1, 8).bytes("a").codewords(v1), 41));
}

TEST(Bitstream, StopsAtTheTerminatorOrWhenNoModeFits) {
    // After the terminator anything may follow (the pad codewords do).
    Bits b;
    b.put(4, 4).put(1, 8).bytes("a").put(0, 4).put(0xF, 4).put(0xFF, 8);
    const auto c = vantor::parse_bitstream(b.codewords(v1), 1);
    ASSERT_TRUE(c);
    EXPECT_EQ(text(*c), "a");
    // A full symbol leaves fewer than four bits for the terminator: none.
    Bits full;
    full.put(4, 4).put(15, 8).bytes("abcdefghijklmno").put(0, 4);
    const auto f = vantor::parse_bitstream(full.codewords(v1), 1);
    ASSERT_TRUE(f);
    EXPECT_EQ(text(*f), "abcdefghijklmno");
}

// Collects what the reader passes on, numeric groups as their values.
struct Collect final : vantor::SegmentSink {
    std::string out;
    bool put(std::uint8_t c) override {
        out += static_cast<char>(c);
        return true;
    }
    bool put_digits(int value, int digits) override {
        out += "<" + std::to_string(value) + "/" + std::to_string(digits) + ">";
        return true;
    }
};

std::pair<vantor::StreamEnd, std::string> read(const Bits &b, int version, vantor::Rules rules) {
    Collect sink;
    vantor::Facts facts;
    const auto codewords = b.codewords(v1);
    const auto end =
        vantor::read_segments(vantor::BitReader(codewords), vantor::SymbolKind::model2, version, rules, sink, facts);
    return {end, sink.out};
}

TEST(Bitstream, ClassicRulesForgiveValuesAndStopAtHeaders) {
    using vantor::Rules;
    using vantor::StreamEnd;
    const std::pair<StreamEnd, std::string> broken{StreamEnd::broken, ""};
    // A stream both rules accept reads alike.
    Bits plain;
    plain.put(1, 4).put(4, 10).put(12, 10).put(3, 4).put(8, 4).put(1, 8).put(0x1A5F, 13).put(0, 4);
    EXPECT_EQ(read(plain, 1, Rules::classic), read(plain, 1, Rules::strict));
    EXPECT_EQ(read(plain, 1, Rules::classic).second, "<12/3><3/1>\xE4\x5F");
    // Values out of range: classic passes them on, strict breaks.
    Bits wide;
    wide.put(1, 4).put(3, 10).put(1000, 10).put(8, 4).put(1, 8).put(0x3F, 13).put(0, 4);
    EXPECT_EQ(read(wide, 1, Rules::classic), std::make_pair(StreamEnd::complete, std::string("<1000/3>\x81\x7F")));
    EXPECT_EQ(read(wide, 1, Rules::strict).first, StreamEnd::broken);
    // A count of 0 is an empty segment to the classic rules.
    Bits empty;
    empty.put(4, 4).put(0, 8).put(4, 4).put(1, 8).bytes("a").put(0, 4);
    EXPECT_EQ(read(empty, 1, Rules::classic), std::make_pair(StreamEnd::complete, std::string("a")));
    EXPECT_EQ(read(empty, 1, Rules::strict).first, StreamEnd::broken);
    // ECI, structured append, FNC1 and undefined modes end a classic reading
    // as unsupported, after what came before them.
    for (int mode : {3, 5, 6, 7, 9, 15}) {
        Bits b;
        b.put(4, 4).put(1, 8).bytes("a").put(mode, 4).put(0, 24);
        EXPECT_EQ(read(b, 1, Rules::classic), std::make_pair(StreamEnd::unsupported_mode, std::string("a"))) << mode;
    }
    // The count widths change at versions 10 and 27 (byte: 8, 16, 16).
    Bits byte16;
    byte16.put(4, 4).put(1, 16).bytes("z").put(0, 4);
    // Version 9 reads a count of 0 and then a terminator.
    EXPECT_EQ(read(byte16, 9, Rules::classic), std::make_pair(StreamEnd::complete, std::string()));
    EXPECT_EQ(read(byte16, 10, Rules::strict), std::make_pair(StreamEnd::complete, std::string("z")));
    EXPECT_EQ(read(byte16, 27, Rules::strict), std::make_pair(StreamEnd::complete, std::string("z")));
    EXPECT_EQ(read(byte16, 41, Rules::classic), broken);
}

// Micro QR headers: shorter mode indicators, count widths by version, the
// modes each version has, and terminators of 3, 5, 7 and 9 bits that may be
// cut short by the end of the data.
TEST(Bitstream, MicroQrLayoutsReadTheirOwnHeaders) {
    using vantor::SymbolKind;
    auto micro = [](const Bits &b, std::size_t codewords, long bits, int version) {
        return vantor::parse_bitstream(b.codewords(codewords), version, SymbolKind::micro, bits);
    };
    EXPECT_FALSE(vantor::stream_layout(SymbolKind::micro, 0));
    EXPECT_FALSE(vantor::stream_layout(SymbolKind::micro, 5));
    // M1: no mode indicator, 3-bit count; 20 data bits, the last 4 a half
    // codeword. "12345" fills them all, no terminator.
    const auto full = micro(Bits().put(5, 3).put(123, 10).put(45, 7), 3, 20, 1);
    ASSERT_TRUE(full);
    EXPECT_EQ(text(*full), "12345");
    // "7" then the 3-bit terminator; bits past it are not read.
    const auto one = micro(Bits().put(1, 3).put(7, 4).put(0, 3).put(0xFF, 8), 3, 20, 1);
    ASSERT_TRUE(one);
    EXPECT_EQ(text(*one), "7");
    // The 20-bit limit: a count of 6 digits would need 24 bits.
    EXPECT_FALSE(micro(Bits().put(6, 3).put(123, 10).put(456, 10), 3, 20, 1));
    // M2: 1-bit mode, alphanumeric count of 3 bits; no 8-bit mode.
    const auto m2_text = micro(Bits().put(1, 1).put(2, 3).put(10 * 45 + 11, 11).put(0, 5), 5, 40, 2);
    ASSERT_TRUE(m2_text);
    EXPECT_EQ(text(*m2_text), "AB");
    // M3: 2-bit mode, 8-bit count of 4 bits, kanji count of 3.
    const auto m3_text =
        micro(Bits().put(2, 2).put(2, 4).bytes("hi").put(3, 2).put(1, 3).put(0x0D9F, 13).put(0, 7), 11, 84, 3);
    ASSERT_TRUE(m3_text);
    EXPECT_EQ(text(*m3_text), std::string("hi") + "\x93\x5F");
    // M4: 3-bit mode; values 4..7 are no mode (Model 2's ECI, FNC1 and
    // structured append do not exist here).
    for (unsigned mode = 4; mode < 8; ++mode)
        EXPECT_FALSE(micro(Bits().put(mode, 3).put(1, 5).bytes("a").put(0, 9), 16, 128, 4)) << mode;
    const auto m4_text = micro(Bits().put(2, 3).put(1, 5).bytes("a").put(0, 9), 16, 128, 4);
    ASSERT_TRUE(m4_text);
    EXPECT_EQ(text(*m4_text), "a");
    // A bit count beyond the data is refused, not read past.
    EXPECT_FALSE(micro(Bits().put(2, 3).put(1, 5).bytes("a"), 2, 17, 4));
}

// rMQR headers: 3-bit mode indicators (terminator 0, FNC1 5 and 6, ECI
// 7), count widths that grow with the size, and a stream cut short
// anywhere giving nothing rather than a shorter text.
TEST(Bitstream, RmqrLayoutsReadTheirOwnHeaders) {
    using vantor::SymbolKind;
    auto rmqr = [](const Bits &b, std::size_t codewords, int version) {
        return vantor::parse_bitstream(b.codewords(codewords), version, SymbolKind::rmqr);
    };
    EXPECT_FALSE(vantor::stream_layout(SymbolKind::rmqr, 0));
    EXPECT_FALSE(vantor::stream_layout(SymbolKind::rmqr, 33));
    // R7x43 (version 1): numeric count of 4 bits; "12345" and a terminator.
    const Bits digits = Bits().put(1, 3).put(5, 4).put(123, 10).put(45, 7).put(0, 3);
    const auto r7 = rmqr(digits, 6, 1);
    ASSERT_TRUE(r7);
    EXPECT_EQ(text(*r7), "12345");
    // The same bits in R17x139 (version 32, a 9-bit count) read otherwise:
    // a count of 5 * 32 + ... runs past the data.
    EXPECT_FALSE(rmqr(digits, 6, 32));
    // R17x139: byte count of 8 bits, then kanji (mode 4, count of 7).
    const auto r17 = rmqr(Bits().put(3, 3).put(2, 8).bytes("hi").put(4, 3).put(1, 7).put(0x0D9F, 13).put(0, 3), 12, 32);
    ASSERT_TRUE(r17);
    EXPECT_EQ(text(*r17), std::string("hi") + "\x93\x5F");
    // An ECI header (mode 7) and FNC1 in first position (mode 5).
    const auto eci = rmqr(Bits().put(7, 3).put(26, 8).put(3, 3).put(1, 8).bytes("x").put(0, 3), 8, 32);
    ASSERT_TRUE(eci);
    EXPECT_EQ(eci->facts.eci, 26);
    const auto gs1 = rmqr(Bits().put(5, 3).put(1, 3).put(2, 9).put(12, 7).put(0, 3), 6, 32);
    ASSERT_TRUE(gs1);
    EXPECT_EQ(gs1->facts.fnc1, 1);
    EXPECT_EQ(text(*gs1), "12");
    // Cut anywhere before its last character, the stream gives nothing.
    for (std::size_t bytes = 0; bytes < 3; ++bytes) {
        std::vector<std::uint8_t> cut = digits.codewords(6);
        cut.resize(bytes);
        EXPECT_FALSE(vantor::parse_bitstream(cut, 1, SymbolKind::rmqr)) << bytes;
    }
}

} // namespace
