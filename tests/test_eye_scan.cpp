// The eye pattern scan's fast forms against their plain forms: the ratio
// test's whole-pixel bounds against the test worked in floats, and the scan
// with its bounded walks against walks that check every pixel; and its two
// steps: the row matches of a scan of every row, merged for every row or
// every second, give exactly the candidates of a scan at that row step, so
// one scan can serve both the quick look and the lone-eye pass.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "qr_symbols.h"
#include "reference/eye_scan_forms.h"
#include "2_image/eye_scan.h"
#include "2_image/image.h"

namespace th = vantor::thorough;
namespace vt = vantor::testing;

namespace {

bool same(const std::vector<th::ScoredCandidate> &a, const std::vector<th::ScoredCandidate> &b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::memcmp(&a[i].at, &b[i].at, sizeof a[i].at) != 0 || a[i].hits != b[i].hits)
            return false;
    return true;
}

} // namespace

TEST(EyeScan, RatioTestGivesTheFloatAnswerForEveryRunTuple) {
    // Every five runs of 0 to 13 pixels: totals up to 65, where rounding of
    // the bounds decides the most cases.
    int runs[5];
    long passed = 0;
    for (runs[0] = 0; runs[0] < 14; ++runs[0])
        for (runs[1] = 0; runs[1] < 14; ++runs[1])
            for (runs[2] = 0; runs[2] < 14; ++runs[2])
                for (runs[3] = 0; runs[3] < 14; ++runs[3])
                    for (runs[4] = 0; runs[4] < 14; ++runs[4]) {
                        const bool want = reference::eyes::eye_ratios(runs);
                        ASSERT_EQ(th::eye_ratios(runs), want)
                            << runs[0] << " " << runs[1] << " " << runs[2] << " " << runs[3] << " " << runs[4];
                        passed += want;
                    }
    EXPECT_GT(passed, 1000);
    // Every total up to 3000 (past the kept bounds, where they are worked
    // out per call): one run, or the dark and light pair on one side, swept
    // through every length while the others stay near the ideal 1:1:3:1:1
    // and the total stays put, so each bound is met from both sides.
    for (int sum = 7; sum <= 3000; ++sum) {
        const int m = sum / 7;
        for (int swept = 0; swept < 6; ++swept)
            for (int v = 0; v <= 5 * m + 8; ++v) {
                int r[5] = {m, m, 3 * m + sum - 7 * m, m, m};
                if (swept == 2) {
                    // The centre; the outer runs give or take the difference.
                    const int d = r[2] - v;
                    r[2] = v;
                    const int left = d / 2, right = d - left;
                    r[0] += left / 2;
                    r[1] += left - left / 2;
                    r[3] += right / 2;
                    r[4] += right - right / 2;
                } else if (swept == 5) {
                    // The left pair; the centre gives or takes.
                    r[2] += r[0] + r[1] - v;
                    r[0] = v / 2;
                    r[1] = v - v / 2;
                } else {
                    // One of runs 0, 1, 3 and 4; its pair partner keeps the
                    // pair's sum.
                    const int k = swept, partner = k < 2 ? 1 - k : 7 - k;
                    r[partner] += r[k] - v;
                    r[k] = v;
                }
                if (std::min({r[0], r[1], r[2], r[3], r[4]}) < 0)
                    continue;
                ASSERT_EQ(th::eye_ratios(r), reference::eyes::eye_ratios(r))
                    << "total " << sum << ": " << r[0] << " " << r[1] << " " << r[2] << " " << r[3] << " " << r[4];
            }
    }
}

TEST(EyeScan, ScanGivesThePlainScansCandidates) {
    // Pictures of odd sizes (vector tails, one-pixel strips) holding eye
    // patterns cut by every edge and corner, of several sizes, over noise
    // of several grains; each scanned at several limits and row steps.
    std::mt19937 rng(11);
    int found = 0;
    for (int t = 0; t < 120; ++t) {
        const int w = 1 + static_cast<int>(rng() % 140), h = 1 + static_cast<int>(rng() % 110);
        const int grain = 1 + static_cast<int>(rng() % 3);
        std::vector<std::uint8_t> px(static_cast<std::size_t>(w) * h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                px[static_cast<std::size_t>(y) * w + x] =
                    static_cast<std::uint8_t>((x / grain * 7 + y / grain * 13 + rng() % 5) % 5 < 2 ? 30 : 220);
        const int patterns = static_cast<int>(rng() % 8);
        for (int p = 0; p < patterns; ++p) {
            const int module = 1 + static_cast<int>(rng() % 5);
            // Centres anywhere, the edges and corners included.
            const int cx = static_cast<int>(rng() % static_cast<unsigned>(w + 4)) - 2;
            const int cy = static_cast<int>(rng() % static_cast<unsigned>(h + 4)) - 2;
            for (int y = cy - 4 * module; y <= cy + 4 * module; ++y)
                for (int x = cx - 4 * module; x <= cx + 4 * module; ++x) {
                    if (x < 0 || y < 0 || x >= w || y >= h)
                        continue;
                    const int ring = std::max(std::abs(x - cx), std::abs(y - cy)) * 2 / (2 * module + 1);
                    // Rings out from the centre: 3 modules dark, then light,
                    // dark, and a light margin.
                    const bool dark = ring <= 1 || ring == 3;
                    px[static_cast<std::size_t>(y) * w + x] = dark ? 20 : 235;
                }
        }
        const th::Binary binary(th::GreyView{px.data(), w, h, w, rng() % 4 == 0});
        for (int limit : {1, 8, 64})
            for (int step : {1, 2, 3}) {
                const auto got = th::scan_eyes(binary, limit, step);
                ASSERT_TRUE(same(got, reference::eyes::scan_eyes(binary, limit, step)))
                    << w << "x" << h << " limit " << limit << " step " << step;
                found += static_cast<int>(got.size());
            }
    }
    EXPECT_GT(found, 100);
}

TEST(EyeScan, MergedMatchesOfEveryRowEqualAScanAtEitherStep) {
    vt::RenderOptions o;
    o.rotation_deg = 17;
    o.noise_sigma = 8;
    o.canvas_width = 420;
    o.canvas_height = 380;
    const auto symbol = vt::make_symbol("eye scan", 5, vt::Level::M, vt::Mode::byte);
    ASSERT_TRUE(symbol.has_value());
    const vt::Picture pictures[] = {vt::render(*symbol, o), vt::render_noise(640, 480, "noise", 31),
                                    vt::render_noise(800, 600, "noise", 4)};
    for (const vt::Picture &p : pictures) {
        for (bool inverted : {false, true}) {
            const th::Binary binary(th::GreyView{p.pixels.data(), p.width, p.height, p.width, inverted});
            const std::vector<th::RowMatch> every = th::row_matches(binary);
            // Each polarity of each picture has matches on odd and even rows,
            // so the merge's choice of rows is put to the test.
            std::size_t odd = 0;
            for (const th::RowMatch &m : every)
                odd += m.row % 2;
            EXPECT_GT(odd, 0u) << p.width << " inverted " << inverted << " matches " << every.size();
            EXPECT_LT(odd, every.size()) << p.width << " inverted " << inverted;
            for (int step : {1, 2})
                for (int limit : {32, 4096}) {
                    const auto merged = th::merge_matches(every, p.width, p.height, limit, step);
                    EXPECT_TRUE(same(merged, reference::eyes::scan_eyes(binary, limit, step)))
                        << p.width << " inverted " << inverted << " step " << step << " limit " << limit;
                    EXPECT_FALSE(merged.empty());
                }
        }
    }
}

// The odd rows scanned only near the even rows' matches: every match found
// is one a scan of the whole row finds (a run cut by a stretch's end makes
// none), in the same order, and every match of the whole scan near an even
// row's match is found, on symbols and on noise; with the odd rows scanned
// whole, the matches are exactly the whole scan's.
TEST(EyeScan, OddRowsNearEvenMatchesGiveTheWholeScansMatchesThere) {
    vt::RenderOptions o;
    o.rotation_deg = 31;
    o.module_px = 2.5;
    o.noise_sigma = 10;
    o.canvas_width = 300;
    o.canvas_height = 260;
    const auto symbol = vt::make_symbol("odd rows", 3, vt::Level::M, vt::Mode::byte);
    ASSERT_TRUE(symbol.has_value());
    const vt::Picture pictures[] = {vt::render(*symbol, o), vt::render_noise(640, 480, "noise", 31),
                                    vt::render_noise(500, 400, "scene", 7)};
    auto same = [](const th::RowMatch &a, const th::RowMatch &b) {
        return a.row == b.row && a.x == b.x && a.y == b.y && a.module == b.module;
    };
    std::size_t expected = 0, odd = 0;
    for (const vt::Picture &p : pictures)
        for (bool inverted : {false, true}) {
            const th::Binary binary(th::GreyView{p.pixels.data(), p.width, p.height, p.width, inverted});
            const std::vector<th::RowMatch> whole = th::row_matches(binary), even = th::row_matches(binary, 2);
            const std::vector<th::RowMatch> near = th::row_matches_near(binary, even);
            const std::vector<th::RowMatch> completed = th::row_matches_completed(binary, even);
            ASSERT_EQ(completed.size(), whole.size());
            for (std::size_t i = 0; i < whole.size(); ++i)
                ASSERT_TRUE(same(completed[i], whole[i])) << p.width << " inverted " << inverted << " match " << i;
            std::size_t at = 0;
            for (const th::RowMatch &m : near) {
                while (at < whole.size() && !same(whole[at], m))
                    ++at;
                ASSERT_LT(at, whole.size()) << p.width << " inverted " << inverted << ": a match the row lacks";
                ++at;
            }
            for (const th::RowMatch &m : whole) {
                const bool close = std::any_of(even.begin(), even.end(), [&](const th::RowMatch &e) {
                    return std::fabs(e.x - m.x) <= 2 * e.module && std::abs(e.row - m.row) <= 2 * e.module;
                });
                if (!close)
                    continue;
                ++expected;
                odd += m.row % 2;
                EXPECT_TRUE(std::any_of(near.begin(), near.end(), [&](const th::RowMatch &n) { return same(n, m); }))
                    << p.width << " inverted " << inverted << " row " << m.row << " x " << m.x;
            }
        }
    EXPECT_GT(odd, 20u) << expected;
}
