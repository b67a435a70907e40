// The thorough search end to end on pictures made here: the kinds of symbol
// the classic rules cannot read, several symbols at once, the content the
// classic rules refuse, and the readings it must never give.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "../end_to_end_cases.h"
#include "qr_content.h"
#include "qr_symbols.h"
#include "1_base/display_text.h"
#include "2_image/eye_outline.h"
#include "2_image/image.h"
#include "6_api/search.h"
#include <vantor/vantor.h>
#include <vantor/vantor.hpp>

namespace th = vantor::thorough;
namespace vt = vantor::testing;

namespace {

std::vector<vantor::Located> search(const vt::Picture &p, bool all = false,
                                    std::span<const th::Candidate> pooled = {}) {
    th::SearchOptions o;
    o.all_symbols = all;
    return th::search(p.pixels.data(), p.width, p.height, p.width, pooled, o);
}

// Of the default and exhaustive efforts, how many read `text` from the
// picture and nothing else.
int efforts_reading(const vt::Picture &p, const std::string &text) {
    int read = 0;
    for (vantor_effort effort : {VANTOR_EFFORT_DEFAULT, VANTOR_EFFORT_EXHAUSTIVE}) {
        vantor::Options opt;
        opt.effort(effort);
        const vantor::Results r = vantor::decode(p.pixels, p.width, p.height, p.width, 8, opt);
        read += r.symbols.size() == 1 && r.symbols[0].bytes == text;
    }
    return read;
}

std::string bytes(const vantor::Located &s) {
    return std::string(s.symbol.content.bytes.begin(), s.symbol.content.bytes.end());
}

vt::Symbol symbol(std::string_view text, int version, vt::Level level = vt::Level::M) {
    auto s = vt::make_symbol(text, version, level, vt::Mode::byte);
    EXPECT_TRUE(s);
    return *s;
}

// Where the renderer puts the symbol's own outer corners (top-left,
// top-right, bottom-right, bottom-left), for upright renderings.
std::array<e2e::Point, 4> corners_of(const vt::RenderOptions &o, int n) {
    auto at = [&](double c, double r) { return e2e::module_centre(o, n, c - 0.5, r - 0.5); };
    return {at(0, 0), at(n, 0), at(n, n), at(0, n)};
}

void expect_corners(const vantor::Located &s, const std::array<e2e::Point, 4> &want, double tolerance) {
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(s.corners[static_cast<std::size_t>(i)].x, want[static_cast<std::size_t>(i)].x, tolerance) << i;
        EXPECT_NEAR(s.corners[static_cast<std::size_t>(i)].y, want[static_cast<std::size_t>(i)].y, tolerance) << i;
    }
}

TEST(ThoroughSearch, ReadsAMirroredSymbolWithItsOwnCorners) {
    const vt::Symbol s = symbol("mirror, mirror", 3, vt::Level::Q);
    vt::RenderOptions o;
    o.module_px = 4;
    o.mirror = true;
    const auto found = search(vt::render(s, o));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(bytes(found[0]), "mirror, mirror");
    EXPECT_TRUE(found[0].symbol.mirrored);
    EXPECT_FALSE(found[0].inverted);
    EXPECT_EQ(found[0].symbol.version, 3);
    EXPECT_EQ(found[0].symbol.level, 'Q');
    // The picture shows the transpose: the symbol's own top-right corner is
    // the picture's bottom-left.
    const auto c = corners_of(o, s.size);
    expect_corners(found[0], {c[0], c[3], c[2], c[1]}, 1.0);
}

TEST(ThoroughSearch, ReadsLightModulesOnDark) {
    const vt::Symbol s = symbol("negative", 2);
    vt::RenderOptions o;
    o.module_px = 5;
    o.rotation_deg = 20;
    o.dark = 250;
    o.light = 10;
    const auto found = search(vt::render(s, o));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(bytes(found[0]), "negative");
    EXPECT_TRUE(found[0].inverted);
    EXPECT_FALSE(found[0].symbol.mirrored);
}

TEST(ThoroughSearch, AllSymbolsGivesEachOfTwoSideBySide) {
    const vt::Symbol left = symbol("left one", 2), right = symbol("the right one, larger", 5, vt::Level::H);
    vt::RenderOptions a, b;
    a.module_px = 4;
    b.module_px = 3;
    b.rotation_deg = 30;
    const vt::Picture pictures[] = {vt::render(left, a), vt::render(right, b)};
    const vt::Picture both = vt::side_by_side(pictures);
    const auto found = search(both, true);
    ASSERT_EQ(found.size(), 2u);
    std::vector<std::string> texts{bytes(found[0]), bytes(found[1])};
    std::sort(texts.begin(), texts.end());
    EXPECT_EQ(texts, (std::vector<std::string>{"left one", "the right one, larger"}));
    // Each symbol's corners lie in its own half.
    for (const auto &s : found) {
        const bool is_left = bytes(s) == "left one";
        for (const auto &c : s.corners)
            EXPECT_EQ(c.x < pictures[0].width, is_left) << bytes(s);
    }
    // Without all_symbols: the first symbol found, alone.
    EXPECT_EQ(search(both).size(), 1u);
}

TEST(ThoroughSearch, ReportsEciAndKeepsTheBytes) {
    // ISO 8859-5 (ECI 7): "Привет".
    const std::string cyrillic = "\xBF\xE0\xD8\xD2\xD5\xE2";
    const vt::Segment seg{vt::Mode::byte, cyrillic};
    const auto s = vt::make_eci_symbol(7, std::span(&seg, 1), 2, vt::Level::M);
    ASSERT_TRUE(s);
    vt::RenderOptions o;
    o.module_px = 4;
    const auto found = search(vt::render(*s, o));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(bytes(found[0]), cyrillic);
    EXPECT_EQ(found[0].symbol.content.facts.eci, 7);
    EXPECT_EQ(vantor::eci_text(found[0].symbol.content), "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82");
}

TEST(ThoroughSearch, ReadsAndJoinsAStructuredAppendSet) {
    std::string text;
    for (int i = 0; i < 5; ++i)
        text += "part of a longer message " + std::to_string(i) + ". ";
    const auto parts = vt::make_structured_append(text, 3, vt::Level::M);
    ASSERT_GE(parts.size(), 2u);
    vt::RenderOptions o;
    o.module_px = 3;
    // Shown out of order: the join goes by index.
    const auto found = search(vt::side_by_side(vt::render_last_first(parts, o)), true);
    ASSERT_EQ(found.size(), parts.size());
    for (const auto &f : found) {
        EXPECT_EQ(f.symbol.content.facts.sa_count, static_cast<int>(parts.size()));
        EXPECT_EQ(f.symbol.content.facts.sa_parity, found[0].symbol.content.facts.sa_parity);
    }
    const auto joined = th::join_structured_append(found);
    ASSERT_TRUE(joined);
    EXPECT_EQ(std::string(joined->begin(), joined->end()), text);
    // A set with a part missing is not joined.
    EXPECT_FALSE(th::join_structured_append(std::span(found).subspan(1)));
}

// The alphanumeric value of each character of s, two to 11 bits.
void put_alphanumeric(vt::BitWriter &w, std::string_view s) {
    constexpr std::string_view table = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ $%*+-./:";
    for (std::size_t i = 0; i + 1 < s.size(); i += 2)
        w.put(static_cast<unsigned>(table.find(s[i]) * 45 + table.find(s[i + 1])), 11);
    if (s.size() % 2)
        w.put(static_cast<unsigned>(table.find(s.back())), 6);
}

TEST(ThoroughSearch, ReadsFnc1InBothPositions) {
    // GS1 in first position: "%" between element strings is GS, "%%" a "%".
    const std::string gs1 = "0109506000134352%10AB%%C";
    vt::BitWriter first;
    first.put(5, 4).put(2, 4).put(static_cast<unsigned>(gs1.size()), 9);
    put_alphanumeric(first, gs1);
    first.put(0, 4);
    const int v = 3;
    auto s = vt::symbol_from_codewords(first.codewords(0), v, vt::Level::M, 2);
    ASSERT_TRUE(s);
    vt::RenderOptions o;
    o.module_px = 4;
    auto found = search(vt::render(*s, o));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].symbol.content.facts.fnc1, 1);
    EXPECT_EQ(bytes(found[0]), "0109506000134352\x1D" "10AB%C");
    EXPECT_EQ(found[0].symbol.mask, 2);

    // Second position: the application indicator follows the mode.
    vt::BitWriter second;
    second.put(9, 4).put(37, 8).put(4, 4).put(13, 8).bytes("industry data").put(0, 4);
    s = vt::symbol_from_codewords(second.codewords(0), 2, vt::Level::L, 5);
    ASSERT_TRUE(s);
    found = search(vt::render(*s, o));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].symbol.content.facts.fnc1, 2);
    EXPECT_EQ(found[0].symbol.content.facts.fnc1_application, 37);
    EXPECT_EQ(bytes(found[0]), "industry data");
}

TEST(ThoroughSearch, TestEncoderSymbolsAreOrdinarySymbols) {
    // A plain byte stream through the test encoder reads with the classic
    // rules too, at every mask: the encoder places what the standard says.
    for (int mask = 0; mask < 8; ++mask) {
        vt::BitWriter w;
        w.put(4, 4).put(5, 8).bytes("plain").put(0, 4);
        const auto s = vt::symbol_from_codewords(w.codewords(0), 7, vt::Level::Q, mask);
        ASSERT_TRUE(s);
        const vt::Picture p = vt::render(*s);
        const char *text = decode_image(p.pixels.data(), p.width, p.height, 8, nullptr);
        ASSERT_NE(text, nullptr) << mask;
        EXPECT_STREQ(text, "plain");
    }
}

TEST(ThoroughSearch, SamplesStrongPerspectiveAndSmallModules) {
    std::mt19937 rng(5);
    struct Look {
        int version;
        double px, rotation, keystone; // keystone: scale change across half the picture
    };
    // Large symbols seen at a steep angle: the first guess from the eyes
    // drifts far from them, and the alignment patterns must set it right.
    for (const Look &l : {Look{2, 4, 10, 0.25}, Look{9, 4, 200, 0.2}, Look{24, 4, 75, 0.2}, Look{6, 1.6, 35, 0},
                          Look{15, 2, 300, 0}, Look{20, 4, 120, 0.28}, Look{27, 4.5, 200, 0.25},
                          Look{30, 4, 330, 0.22}}) {
        auto s = e2e::make_case(l.version, vt::Level::M, e2e::Content::byte, 0.8, rng);
        ASSERT_TRUE(s);
        vt::RenderOptions o;
        o.module_px = l.px;
        o.rotation_deg = l.rotation;
        o.perspective = l.keystone / ((s->size + 8) * l.px / 2);
        const auto found = search(vt::render(*s, o));
        ASSERT_EQ(found.size(), 1u) << "version " << l.version << ", " << l.px << " px";
        EXPECT_EQ(bytes(found[0]), s->text) << "version " << l.version;
    }
}

TEST(ThoroughSearch, ReadsSymbolsShearedToACornerOf130Degrees) {
    // A symbol seen from well off to one side is sheared; turned so that
    // the sides from its corner eye pattern meet at 130 to 135 degrees.
    struct Shear {
        double skew, rotation;
    };
    for (const Shear &h : {Shear{-0.85, 0}, Shear{-0.85, 20}, Shear{-0.85, 200}, Shear{-0.95, 0}, Shear{-0.95, 10},
                           Shear{-0.95, 135}}) {
        const vt::Symbol s = symbol("sheared", 3);
        vt::RenderOptions o;
        o.module_px = 5;
        o.skew_x = h.skew;
        o.rotation_deg = h.rotation;
        o.canvas_width = o.canvas_height = 400;
        const auto found = search(vt::render(s, o));
        ASSERT_EQ(found.size(), 1u) << "skew " << h.skew << ", turned " << h.rotation;
        EXPECT_EQ(bytes(found[0]), s.text);
    }
}

TEST(ThoroughSearch, ReadsSymbolsShearedSoThatTheCornerFacesNoLongestSide) {
    // Sheared to a corner angle of 55 to 62 degrees, a symbol's column leg
    // grows longer than the side its corner eye pattern faces: the corner
    // facing the longest side is then the wrong one. Read by the search and
    // by a call at the default and exhaustive efforts.
    int read = 0, cases = 0;
    for (const double skew : {0.6, 0.7}) {
        for (const double turn : {0.0, 25.0, 160.0, 290.0}) {
            const vt::Symbol s = symbol("sheared to a sharp corner", 2);
            vt::RenderOptions o;
            o.module_px = 5;
            o.skew_x = skew;
            o.rotation_deg = turn;
            o.canvas_width = o.canvas_height = 400;
            const vt::Picture p = vt::render(s, o);
            const auto found = search(p);
            ++cases;
            read += found.size() == 1 && bytes(found[0]) == s.text;
            cases += 2;
            read += efforts_reading(p, s.text);
        }
    }
    EXPECT_EQ(read, cases);
}

TEST(ThoroughSearch, ReadsSymbolsShownOnAScreen) {
    // A screen's pixel grid darkens every light module with lines, and near
    // the picture's own pitch beats into moire; the dark modules stay whole.
    int read = 0, cases = 0;
    for (const double screen : {3.0, 5.0, 9.0}) {
        for (const double turn : {10.0, 200.0}) {
            const vt::Symbol s = symbol("shown on a screen", 4);
            vt::RenderOptions o;
            o.module_px = 9;
            o.screen_pixels = screen;
            o.screen_gap = 0.3;
            o.rotation_deg = turn;
            o.blur_sigma = 0.5;
            o.canvas_width = o.canvas_height = 500;
            cases += 2;
            read += efforts_reading(vt::render(s, o), s.text);
        }
    }
    EXPECT_EQ(read, cases);
}

// A look before the search hands it the picture's binarisation, its row
// matches and the triple that stood out. The right triple is read even
// where the search may try no triple of its own; a wrong one costs the
// search nothing of its grid budget, so it then reads exactly what it reads
// on its own.
TEST(ThoroughSearch, ATripleSeenBeforeIsTriedFirstAndAWrongOneChangesNothing) {
    const vt::Symbol s = symbol("seen before", 6);
    vt::RenderOptions o;
    o.module_px = 4;
    o.rotation_deg = 33;
    const vt::Picture p = vt::render(s, o);
    const auto alone = search(p);
    ASSERT_EQ(alone.size(), 1u);
    auto view = [&](std::optional<th::Eyes> stood) {
        const th::GreyView grey{p.pixels.data(), p.width, p.height, p.width, false};
        th::BlockGreys blocks = th::block_greys(grey);
        th::Binary binary(grey, blocks);
        std::vector<th::RowMatch> matches = th::row_matches(binary);
        std::optional<th::StandingEyes> standing;
        if (stood)
            standing = th::StandingEyes{std::move(*stood), 40};
        return th::ScannedView{std::move(binary), std::move(matches), std::move(standing), std::move(blocks)};
    };
    auto eye = [&](double c, double r) {
        const e2e::Point at = e2e::module_centre(o, s.size, c, r);
        return th::Candidate{static_cast<float>(at.x), static_cast<float>(at.y), 4};
    };
    auto right = th::orient_eyes(eye(3, 3), eye(s.size - 4, 3), eye(3, s.size - 4));
    // Outlined, as a look that saw them stand out hands them on.
    const th::Binary binary(th::GreyView{p.pixels.data(), p.width, p.height, p.width, false});
    for (int k = 0; right && k < 3; ++k) {
        const th::Candidate &c = k == 0 ? right->corner : k == 1 ? right->along : right->down;
        th::outline_eye(th::trace_eye(binary, {c.x, c.y}, c.module), *right, k);
    }
    // Three points of the quiet zone: no grid through them reads.
    const auto wrong = th::orient_eyes(eye(-2, -2), eye(s.size + 1, -2), eye(-2, s.size + 1));
    ASSERT_TRUE(right && wrong);
    for (const auto &stood : {std::optional<th::Eyes>{}, wrong}) {
        const auto found = th::search(p.pixels.data(), p.width, p.height, p.width, {}, th::SearchOptions{}, view(stood));
        ASSERT_EQ(found.size(), 1u);
        EXPECT_EQ(bytes(found[0]), "seen before");
        EXPECT_EQ(found[0].corners, alone[0].corners);
    }
    th::SearchOptions none;
    none.max_triples = 0;
    EXPECT_TRUE(th::search(p.pixels.data(), p.width, p.height, p.width, {}, none, view(wrong)).empty());
    const auto first = th::search(p.pixels.data(), p.width, p.height, p.width, {}, none, view(right));
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(bytes(first[0]), "seen before");
}

TEST(ThoroughSearch, SharpeningIsThePixelAgainstItsFiveByFiveMean) {
    // The running sums against the plain definition, borders held, through
    // strides and inversion, down to pictures one pixel wide; every third
    // picture black and white, for the extremes of the sums and the clamps.
    std::mt19937 rng(3);
    for (int t = 0; t < 150; ++t) {
        const int w = 1 + static_cast<int>(rng() % 40), h = 1 + static_cast<int>(rng() % 30);
        const int stride = w + static_cast<int>(rng() % 4);
        std::vector<std::uint8_t> px(static_cast<std::size_t>(stride) * h);
        for (auto &p : px)
            p = static_cast<std::uint8_t>(t % 3 == 0 ? (rng() % 2) * 255 : rng());
        const th::GreyView grey{px.data(), w, h, stride, rng() % 2 == 1};
        const std::vector<std::uint8_t> got = th::sharpened(grey);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                int sum = 0;
                for (int dy = -2; dy <= 2; ++dy)
                    for (int dx = -2; dx <= 2; ++dx)
                        sum += grey.at(std::clamp(x + dx, 0, w - 1), std::clamp(y + dy, 0, h - 1));
                const int g = grey.at(x, y);
                ASSERT_EQ(got[static_cast<std::size_t>(y) * w + x], std::clamp(g + (25 * g - sum) / 25, 0, 255))
                    << w << "x" << h << " at " << x << "," << y;
            }
    }
}

TEST(ThoroughSearch, BlockBinarisationFollowsItsRule) {
    // Against the rule written out pixel by pixel: each 8 x 8 block's mean
    // where its grey range passes 24 (by level: 24 times its mean grey in
    // the picture as taken over 128, within 12 and 24), a flat block the
    // mean of the edged blocks within 1, 2 or 3 blocks (else half its
    // minimum), thresholds the mean of 5 x 5 blocks moved inside the grid,
    // dark at or below. Sizes that leave partial blocks and vector tails,
    // strides, inversion, and pictures with flat and faint areas beside
    // edges.
    std::mt19937 rng(5);
    for (int t = 0; t < 132; ++t) {
        const th::FlatRule rule = t % 2 ? th::FlatRule::by_level : th::FlatRule::fixed;
        // The last few wide: rows of several 64-pixel words and a tail.
        const int w = t < 120 ? 1 + static_cast<int>(rng() % 90) : 130 + static_cast<int>(rng() % 140);
        const int h = 1 + static_cast<int>(rng() % 60);
        const int stride = w + static_cast<int>(rng() % 5);
        std::vector<std::uint8_t> px(static_cast<std::size_t>(stride) * h);
        const int flat_every = 2 + static_cast<int>(rng() % 4);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < stride; ++x)
                px[static_cast<std::size_t>(y) * stride + x] = static_cast<std::uint8_t>(
                    (x / 8 + y / 8) % flat_every == 0    ? rng() % 256
                    : (x / 8 + 2 * (y / 8)) % 5 == 1 ? 10 + rng() % 20
                                                         : 100 + static_cast<unsigned>(y) % 7);
        const th::GreyView grey{px.data(), w, h, stride, rng() % 2 == 1};
        const th::Binary binary = rule == th::FlatRule::fixed ? th::Binary(grey)
                                                              : th::Binary(grey, th::block_greys(grey), rule);
        const int bw = (w + 7) / 8, bh = (h + 7) / 8;
        std::vector<int> level(static_cast<std::size_t>(bw * bh)), low(level.size()), flat(level.size());
        for (int by = 0; by < bh; ++by)
            for (int bx = 0; bx < bw; ++bx) {
                int lo = 255, hi = 0, sum = 0, taken = 0, n = 0;
                for (int y = by * 8; y < std::min(h, by * 8 + 8); ++y)
                    for (int x = bx * 8; x < std::min(w, bx * 8 + 8); ++x, ++n) {
                        lo = std::min(lo, grey.at(x, y));
                        hi = std::max(hi, grey.at(x, y));
                        sum += grey.at(x, y);
                        taken += px[static_cast<std::size_t>(y) * stride + x];
                    }
                const int i = by * bw + bx;
                level[i] = sum / n;
                low[i] = lo;
                const int range = rule == th::FlatRule::fixed ? 24 : std::clamp(24 * (taken / n) / 128, 12, 24);
                flat[i] = hi - lo <= range;
            }
        std::vector<int> judged = level;
        for (int i = 0; i < bw * bh; ++i) {
            if (!flat[i])
                continue;
            judged[i] = low[i] / 2;
            for (int reach = 1; reach <= 3; ++reach) {
                int sum = 0, n = 0;
                for (int j = 0; j < bw * bh; ++j)
                    if (!flat[j] && std::abs(j / bw - i / bw) <= reach && std::abs(j % bw - i % bw) <= reach) {
                        sum += level[j];
                        ++n;
                    }
                if (n > 0) {
                    judged[i] = sum / n;
                    break;
                }
            }
        }
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const int by = y / 8, bx = x / 8;
                const int top = std::clamp(by - 2, 0, std::max(0, bh - 5));
                const int left = std::clamp(bx - 2, 0, std::max(0, bw - 5));
                int sum = 0, n = 0;
                for (int j = top; j < std::min(bh, top + 5); ++j)
                    for (int i = left; i < std::min(bw, left + 5); ++i, ++n)
                        sum += judged[j * bw + i];
                ASSERT_EQ(binary.threshold(static_cast<float>(x), static_cast<float>(y)), sum / n)
                    << w << "x" << h << " at " << x << "," << y;
                ASSERT_EQ(binary.dark(x, y), grey.at(x, y) <= sum / n) << w << "x" << h << " at " << x << "," << y;
            }
        // Both polarities share the blocks' greys of the stored picture; blocks
        // of a picture of another size are not taken.
        const th::Binary shared(grey, th::block_greys({px.data(), w, h, stride, !grey.inverted}), rule);
        const th::Binary other_size(grey, th::block_greys({px.data(), std::max(1, w - 1), std::max(1, h - 1), stride, false}),
                                    rule);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                ASSERT_EQ(shared.dark(x, y), binary.dark(x, y)) << w << "x" << h << " at " << x << "," << y;
                ASSERT_EQ(other_size.dark(x, y), binary.dark(x, y)) << w << "x" << h << " at " << x << "," << y;
                ASSERT_EQ(shared.threshold(static_cast<float>(x), static_cast<float>(y)),
                          binary.threshold(static_cast<float>(x), static_cast<float>(y)));
            }
    }
}

TEST(ThoroughSearch, DimPictureIsHalfItsBlocksBelowAQuarterOfTheScale) {
    // 60 x 20 pixels: 8 x 3 blocks, the last column and row partial. The
    // first `dim` blocks in row order are of mean 63, the others of 64; a
    // partial block's mean is over its own pixels.
    for (const int dim : {0, 11, 12, 13, 24}) {
        std::vector<std::uint8_t> px(60 * 20);
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 60; ++x)
                px[static_cast<std::size_t>(y) * 60 + x] = (y / 8) * 8 + x / 8 < dim ? 63 : 64;
        const th::GreyView grey{px.data(), 60, 20, 60, false};
        EXPECT_EQ(th::dim_picture(th::block_greys(grey)), dim >= 12) << dim;
        // The inverse's blocks are the picture's: the rule is of the
        // picture as taken.
        EXPECT_EQ(th::dim_picture(th::block_greys({px.data(), 60, 20, 60, true})), dim >= 12) << dim;
    }
    EXPECT_FALSE(th::dim_picture(th::BlockGreys{}));
}

TEST(ThoroughSearch, ReadsSymbolsBlurredToHalfAModule) {
    // Blur of about half a module closes the light ring of the eye patterns
    // in any binarisation of the picture as it is.
    std::mt19937 rng(7);
    for (int i = 0; i < 12; ++i) {
        const int version = 3 + static_cast<int>(rng() % 25);
        auto s = e2e::make_case(version, vt::Level::M, e2e::Content::byte, 0.7, rng);
        ASSERT_TRUE(s);
        vt::RenderOptions o;
        o.module_px = 3 + (rng() % 100) / 100.0;
        o.rotation_deg = rng() % 360;
        o.noise_sigma = 2;
        o.seed = rng();
        o.blur_sigma = o.module_px * (0.42 + (rng() % 100) / 1250.0);
        const auto found = search(vt::render(*s, o));
        ASSERT_EQ(found.size(), 1u) << "version " << version << ", blur " << o.blur_sigma << " px";
        EXPECT_EQ(bytes(found[0]), s->text);
    }
}

TEST(ThoroughSearch, DamageBeyondCapacityGivesNoWrongText) {
    std::mt19937 rng(77);
    int within = 0, within_read = 0;
    for (int trial = 0; trial < 40; ++trial) {
        const int version = 1 + static_cast<int>(rng() % 6);
        const vt::Level level = e2e::all_levels[rng() % 4];
        auto s = e2e::make_case(version, level, e2e::Content::byte, 0.7, rng);
        ASSERT_TRUE(s);
        const e2e::Layout layout = e2e::layout_for(version, level);
        int capacity = 0;
        for (int b = 0; b < layout.blocks(); ++b)
            capacity += layout.capacity[b < layout.data_blocks[0] ? 0 : 1];
        // Up to four times the capacity, in flipped data modules.
        const int flips = 1 + static_cast<int>(rng() % static_cast<unsigned>(4 * capacity + 1));
        const e2e::Damage d = e2e::damage(*s, layout, flips, rng);
        vt::RenderOptions o;
        o.module_px = 4;
        o.rotation_deg = static_cast<double>(rng() % 360);
        const auto found = search(vt::render(d.symbol, o));
        if (!found.empty()) {
            EXPECT_EQ(bytes(found[0]), s->text) << "trial " << trial << ": a wrong text";
        }
        if (d.within) {
            ++within;
            within_read += !found.empty();
        }
    }
    EXPECT_GT(within, 5);
    EXPECT_EQ(within_read, within);
}

TEST(ThoroughSearch, PicturesWithoutASymbolGiveNothing) {
    for (const char *kind : {"blank", "noise", "stripes"})
        EXPECT_TRUE(search(vt::render_noise(300, 240, kind, 3)).empty()) << kind;
    // Three eye patterns, timing patterns and random modules everywhere
    // else: format information may pass, the codewords never do.
    std::mt19937 rng(8);
    for (int i = 0; i < 6; ++i) {
        vt::Symbol s = symbol("placeholder", 3);
        const e2e::Layout layout = e2e::layout_for(3, vt::Level::M);
        for (std::size_t m = 0; m < s.modules.size(); ++m)
            if (layout.codeword_of[m] >= 0)
                s.modules[m] = rng() % 2;
        vt::RenderOptions o;
        o.module_px = 4;
        EXPECT_TRUE(search(vt::render(s, o)).empty()) << i;
    }
}

// A search given the memory of one before over the same picture reads what
// a fresh search reads, and tries no triple the one before tried in vain:
// a picture of eye patterns without a symbol adds nothing to the memory
// the second time, and a first search cut short hides nothing.
TEST(ThoroughSearch, ASearchWithTheMemoryOfAnotherTriesNothingAgain) {
    vt::Symbol decoy = symbol("placeholder", 5);
    const e2e::Layout layout = e2e::layout_for(5, vt::Level::M);
    std::mt19937 rng(3);
    for (std::size_t m = 0; m < decoy.modules.size(); ++m)
        if (layout.codeword_of[m] >= 0)
            decoy.modules[m] = rng() % 2;
    vt::RenderOptions o;
    o.module_px = 4;
    o.rotation_deg = 20;
    const vt::Picture empty = vt::render(decoy, o);
    th::SearchMemory memory;
    const th::SearchOptions plain;
    EXPECT_TRUE(th::search(empty.pixels.data(), empty.width, empty.height, empty.width, {}, plain, {}, &memory).empty());
    const std::size_t tried = memory.tried.size();
    EXPECT_GT(tried, 0u);
    // The picture, its inverse and the sharpened picture; the dim view only
    // for a dim picture, by a search asked to.
    for (int v = 0; v < 3; ++v)
        EXPECT_TRUE(memory.views[v].binary) << v;
    EXPECT_FALSE(memory.views[3].binary);
    // The inverse and the sharpened picture, searched in vain, are
    // replayed with the same options and searched again with others.
    EXPECT_EQ(memory.vain.size(), 2u);
    EXPECT_TRUE(th::search(empty.pixels.data(), empty.width, empty.height, empty.width, {}, plain, {}, &memory).empty());
    EXPECT_EQ(memory.tried.size(), tried);
    EXPECT_EQ(memory.vain.size(), 2u);
    th::SearchOptions with_model1;
    with_model1.model1 = true;
    EXPECT_TRUE(
        th::search(empty.pixels.data(), empty.width, empty.height, empty.width, {}, with_model1, {}, &memory).empty());
    EXPECT_EQ(memory.vain.size(), 4u);

    // Cut short, or with fewer triples, a first search hides nothing from
    // the next: in the picture as it is or in its inverse.
    const vt::Symbol s = symbol("remembered", 5);
    vt::RenderOptions inverse = o;
    std::swap(inverse.dark, inverse.light);
    for (const vt::RenderOptions &look : {o, inverse}) {
        const vt::Picture p = vt::render(s, look);
        const auto alone = search(p);
        ASSERT_EQ(alone.size(), 1u);
        for (int first_triples : {0, 1, 3}) {
            th::SearchMemory kept;
            th::SearchOptions few;
            few.max_triples = first_triples;
            th::search(p.pixels.data(), p.width, p.height, p.width, {}, few, {}, &kept);
            const auto again = th::search(p.pixels.data(), p.width, p.height, p.width, {}, plain, {}, &kept);
            ASSERT_EQ(again.size(), 1u) << first_triples;
            EXPECT_EQ(bytes(again[0]), "remembered");
            EXPECT_EQ(again[0].corners, alone[0].corners);
            EXPECT_EQ(again[0].inverted, alone[0].inverted);
        }
    }
}

TEST(ThoroughSearch, PooledCandidatesAreUsedAndBadOnesIgnored) {
    const vt::Symbol s = symbol("pooled", 4);
    vt::RenderOptions o;
    o.module_px = 4;
    const vt::Picture p = vt::render(s, o);
    const int n = s.size;
    std::vector<th::Candidate> pooled;
    for (const auto &[c, r] : {std::pair{3, 3}, std::pair{n - 4, 3}, std::pair{3, n - 4}}) {
        const e2e::Point at = e2e::module_centre(o, n, c, r);
        pooled.push_back({static_cast<float>(at.x), static_cast<float>(at.y), 4});
    }
    pooled.push_back({NAN, 1, 4});
    pooled.push_back({10, 10, -3});
    pooled.push_back({1e30f, -1e30f, 1e30f});
    const auto found = search(p, false, pooled);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(bytes(found[0]), "pooled");
}

TEST(ThoroughSearch, RefusesBadArguments) {
    const vt::Picture p = vt::render(symbol("x", 1));
    EXPECT_TRUE(th::search(nullptr, 10, 10, 10, {}, {}).empty());
    EXPECT_TRUE(th::search(p.pixels.data(), p.width, p.height, p.width - 1, {}, {}).empty());
    EXPECT_TRUE(th::search(p.pixels.data(), 0, p.height, p.width, {}, {}).empty());
    EXPECT_TRUE(th::search(p.pixels.data(), 20, 20, 20, {}, {}).empty());
    EXPECT_TRUE(th::search(p.pixels.data(), 40000, 1, 40000, {}, {}).empty());
}

TEST(ThoroughSearch, ReadsThroughAStrideAndOnManyThreadsAtOnce) {
    const vt::Symbol s = symbol("strided and shared", 4);
    vt::RenderOptions o;
    o.module_px = 3;
    o.rotation_deg = 45;
    const vt::Picture p = vt::render(s, o);
    // The picture inside a wider buffer whose extra bytes are dark.
    const int stride = p.width + 13;
    std::vector<std::uint8_t> wide(static_cast<std::size_t>(stride) * p.height, 0);
    for (int y = 0; y < p.height; ++y)
        std::copy_n(p.pixels.begin() + static_cast<std::ptrdiff_t>(y) * p.width, p.width,
                    wide.begin() + static_cast<std::ptrdiff_t>(y) * stride);
    std::vector<std::string> got(4);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < got.size(); ++t)
        threads.emplace_back([&, t] {
            const auto f = th::search(wide.data(), p.width, p.height, stride, {}, {});
            got[t] = f.empty() ? "" : bytes(f[0]);
        });
    for (auto &t : threads)
        t.join();
    for (const std::string &g : got)
        EXPECT_EQ(g, "strided and shared");
}

} // namespace

TEST(ThoroughSearch, ReadsDimSymbolsBesideALampsSpot) {
    // A symbol photographed in the dark: its modules 2 and 14 to 18 grey
    // levels apart, blurred, beside a lamp's bright spot that defeats a
    // global threshold. Its edges span fewer grey levels than a block must
    // to count as an edge, even sharpened, and its eye patterns stand out by
    // fewer than the usual least contrast: the dim picture's own look and
    // view read it, at the default and exhaustive efforts.
    int read = 0, cases = 0;
    for (const double blur : {1.0, 1.5})
        for (const int span : {12, 14, 16})
            for (const bool spot : {false, true}) {
                const vt::Symbol s = symbol("dim", 3);
                vt::RenderOptions o;
                o.module_px = 9;
                o.dark = 2;
                o.light = static_cast<std::uint8_t>(2 + span);
                o.noise_sigma = 1;
                o.blur_sigma = blur;
                o.canvas_width = o.canvas_height = 520;
                vt::Picture p = vt::render(s, o);
                for (int y = 0; spot && y < p.height; ++y)
                    for (int x = 0; x < p.width; ++x) {
                        const double d = std::hypot(x - p.width * 0.85, y - p.height * 0.85) / (p.width * 0.2);
                        std::uint8_t &v = p.pixels[static_cast<std::size_t>(y) * p.width + x];
                        v = static_cast<std::uint8_t>(std::min(255.0, v + 230 * std::clamp(1.5 - d, 0.0, 1.0)));
                    }
                cases += 2;
                read += efforts_reading(p, s.text);
            }
    EXPECT_EQ(read, cases);
}
