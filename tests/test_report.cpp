// The report writer: floats written as std::to_chars writes them, also by
// the form used where the C++ library lacks it (the web module), and the
// shape of the rows every front end shares.
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "decode_rows.h"
#include "float_text.h"
#include "json_value.h"

namespace report = vantor::report;
using vantor::testing::Json;

namespace {

std::string to_chars_text(float f) {
    char text[64];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, f);
    return std::string(text, end);
}

std::string portable_text(float f) {
    std::string out;
    report::append_shortest_portable(out, f);
    return out;
}

vantor::Symbol symbol(std::string text) {
    vantor::Symbol s;
    s.text = s.bytes = std::move(text);
    s.version = 2;
    s.version_name = "2";
    s.level = 'Q';
    s.mask = 5;
    s.corners = {{{15.5f, 15.5f}, {115.5f, 15.5f}, {116.0f, 116.0f}, {1e-5f, 0.1f}}};
    return s;
}

Json parsed(const report::JsonObject &o) {
    const auto json = vantor::testing::parse(o.str());
    EXPECT_TRUE(json) << o.str();
    return json.value_or(Json());
}

} // namespace

TEST(ReportFloats, PortableFormEqualsToChars) {
    std::vector<float> values = {0.0f, -0.0f, 1.0f, 0.1f, 1e-5f, 1e-4f, 1e-3f, 123456792.0f, 16777217.0f,
                                 1e15f, 9.999999e8f, std::numeric_limits<float>::max(),
                                 std::numeric_limits<float>::min(), std::numeric_limits<float>::denorm_min()};
    // Powers of two and their neighbours, where a float's gap below is half
    // the gap above.
    for (int e = -149; e < 128; ++e) {
        const float p = std::ldexp(1.0f, e);
        for (float f : {p, std::nextafter(p, 0.0f), std::nextafter(p, std::numeric_limits<float>::infinity())})
            if (std::isfinite(f))
                values.insert(values.end(), {f, -f});
    }
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> pixels(-50.0f, 40000.0f);
    for (int i = 0; i < 100000; ++i) {
        values.push_back(pixels(rng));
        const float any = std::bit_cast<float>(static_cast<std::uint32_t>(rng()));
        if (std::isfinite(any))
            values.push_back(any);
    }
    int differ = 0;
    for (const float f : values)
        if (portable_text(f) != to_chars_text(f) && ++differ <= 10)
            ADD_FAILURE() << std::hexfloat << f << ": " << portable_text(f) << " against " << to_chars_text(f);
    EXPECT_EQ(differ, 0) << "of " << values.size();
    std::string out;
    report::append_shortest(out, 16.015621f);
    EXPECT_EQ(out, "16.015621");
}

TEST(ReportRows, SymbolFieldsOrderAndOptionalNesting) {
    vantor::Results results;
    results.symbols.push_back(symbol("PLAIN"));
    vantor::Symbol carrying = symbol("CARRIES ALL");
    carrying.kind = VANTOR_KIND_RMQR;
    carrying.version_name = "R7x43";
    carrying.eci = 26;
    carrying.sa_index = 1;
    carrying.sa_count = 3;
    carrying.sa_parity = 0xA5;
    carrying.fnc1 = 2;
    carrying.fnc1_application = 37;
    carrying.mirrored = true;
    results.symbols.push_back(carrying);
    report::JsonObject head;
    head.text("file", "f.png").number("page", 2);
    const auto rows = report::decode_rows(head, results, {{"w1"}, {"e1", "e2"}});
    ASSERT_EQ(rows.size(), 2u);
    // The head first, the notes last, the symbol's optional fields left out.
    EXPECT_EQ(rows[0].str(),
              R"({"file":"f.png","page":2,"decoded":true,"text":"PLAIN","bytes_hex":"504c41494e","version":2,)"
              R"("level":"Q","mask":5,"corners":[15.5,15.5,115.5,15.5,116,116,1e-05,0.1],"corrected":0,)"
              R"("format":"QRCode","version_name":"2","mirrored":false,"inverted":false,"warnings":["w1"],)"
              R"("explain":["e1","e2"]})");
    const Json all = parsed(rows[1]);
    EXPECT_EQ(all.get("eci")->n, 26);
    EXPECT_EQ(all.get("structured_append")->get("index")->n, 1);
    EXPECT_EQ(all.get("structured_append")->get("count")->n, 3);
    EXPECT_EQ(all.get("structured_append")->get("parity")->n, 0xA5);
    EXPECT_EQ(all.get("fnc1")->get("position")->n, 2);
    EXPECT_EQ(all.get("fnc1")->get("application")->n, 37);
    EXPECT_EQ(all.get("format")->s, "rMQRCode");
    EXPECT_EQ(all.get("version_name")->s, "R7x43");
    EXPECT_TRUE(all.get("mirrored")->b);
    EXPECT_FALSE(all.get("inverted")->b);
    // First-position FNC1 has no application indicator.
    carrying.fnc1 = 1;
    report::JsonObject gs1;
    report::add_symbol_fields(gs1, carrying);
    EXPECT_EQ(parsed(gs1).get("fnc1")->fields.size(), 1u);
    // A corner that is not a number is written as null, never as text JSON rejects.
    carrying.corners[2].x = std::numeric_limits<float>::quiet_NaN();
    report::JsonObject nan;
    report::add_symbol_fields(nan, carrying);
    EXPECT_EQ(parsed(nan).get("corners")->items[4].kind, Json::null);
}

TEST(ReportRows, JoinedSetAndNoSymbol) {
    vantor::Results set;
    for (int i : {1, 0}) {
        vantor::Symbol s = symbol(i == 0 ? "AB" : "CD");
        s.sa_index = i;
        s.sa_count = 2;
        s.sa_parity = 7;
        set.symbols.push_back(s);
    }
    set.joined = "AB\xff";
    const auto rows = report::decode_rows(report::JsonObject(), set, {});
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[2].str(), R"({"decoded":true,"joined":true,"text":"ABÿ","bytes_hex":"4142ff",)"
                             R"("structured_append":{"count":2,"parity":7}})");

    vantor::Results none;
    none.reason = VANTOR_TOO_MANY_ERRORS;
    const auto failed = report::decode_rows(report::JsonObject(), none, {{}, {"reason: x"}});
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_EQ(failed[0].str(), std::string(R"({"decoded":false,"error":"no symbol","reason":")") +
                                   vantor_reason_text(VANTOR_TOO_MANY_ERRORS) + R"(","explain":["reason: x"]})");
    EXPECT_EQ(report::split_lines("one\n\ntwo\n"), (std::vector<std::string>{"one", "two"}));
}
