// Many threads reading and decoding at once, each with its own images and
// options, must get exactly what one thread gets alone. Run under
// ThreadSanitizer by make test-tsan, which also reports any data race.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <vantor/vantor.hpp>

#include "format_files.h"
#include "qr_symbols.h"

namespace vt = vantor::testing;

namespace {

// What a call gives, in a form that compares whole.
struct Outcome {
    bool readable = false;
    std::string text; // read error, or reason and symbols with corners
    bool operator==(const Outcome &) const = default;
};

std::string describe(const vantor::Results &r) {
    std::string out = std::to_string(r.reason) + "/" + std::to_string(r.stage) + "/" +
                      std::to_string(r.readings.size());
    for (const vantor::Symbol &s : r.symbols) {
        out += "|" + s.bytes + "|v" + std::to_string(s.version) + s.level + std::to_string(s.mask);
        for (const vantor::Point &c : s.corners)
            out += "," + std::to_string(c.x) + "," + std::to_string(c.y);
    }
    return out;
}

Outcome read_and_decode(const std::string &path, bool thorough) {
    Outcome o;
    try {
        const vantor::Image image = vantor::Image::read(path);
        o.readable = true;
        vantor::Options options;
        options.thorough(thorough);
        o.text = describe(vantor::decode(image, options));
    } catch (const vantor::ReadError &e) {
        o.text = std::string(e.what()) + ":" + e.reader_message();
    }
    return o;
}

// Symbols and pictures without one, in every format the readers take.
std::vector<std::string> mixed_files(const std::string &dir) {
    std::vector<std::string> files;
    int n = 0;
    auto name = [&](const char *ext) { return dir + "/f" + std::to_string(n++) + ext; };
    const struct {
        const char *text;
        int version;
        double px;
        double turn;
    } looks[] = {{"alpha", 1, 3, 0}, {"beta 12345", 2, 4, 10}, {"gamma", 4, 3.5, 90}, {"delta", 7, 3, 180}};
    for (const auto &l : looks) {
        auto s = vt::make_symbol(l.text, l.version, vt::Level::M, vt::Mode::byte);
        EXPECT_TRUE(s.has_value());
        vt::RenderOptions r;
        r.module_px = l.px;
        r.rotation_deg = l.turn;
        r.noise_sigma = 4;
        const vt::Picture p = vt::render(*s, r);
        std::string f;
        EXPECT_TRUE(vt::write_bmp24(f = name(".bmp"), p));
        files.push_back(f);
        EXPECT_TRUE(vt::write_bmp1(f = name(".bmp"), p));
        files.push_back(f);
        EXPECT_TRUE(vt::write_jpeg(f = name(".jpg"), p, 85));
        files.push_back(f);
        EXPECT_TRUE(vt::write_gif(f = name(".gif"), p));
        files.push_back(f);
        const vt::Bytes others[] = {vt::png_bytes(p, {.colour = vt::PngColour::rgb, .interlaced = true}),
                                    vt::tiff_bytes(p, {.compression = 5, .tiled = true}),
                                    vt::webp_bytes(p, true), vt::pnm_bytes(p, 5),
                                    vt::bmp_bytes(p, {.header_size = 124, .bits = 8})};
        for (const vt::Bytes &bytes : others) {
            EXPECT_FALSE(bytes.empty());
            EXPECT_TRUE(vt::write_bytes(f = name(".img"), bytes));
            files.push_back(f);
        }
    }
    std::string f;
    EXPECT_TRUE(vt::write_bmp24(f = name(".bmp"), vt::render_noise(160, 120, "noise", 3)));
    files.push_back(f);
    EXPECT_TRUE(vt::write_jpeg(f = name(".jpg"), vt::render_noise(160, 120, "stripes", 4)));
    files.push_back(f);
    files.push_back(dir + "/missing.bmp");
    return files;
}

} // namespace

TEST(Concurrent, EightThreadsReadingAndDecodingGetTheSequentialResults) {
    vt::TempDir dir("concurrent");
    ASSERT_FALSE(dir.path().empty());
    const std::vector<std::string> files = mixed_files(dir.path());
    // Thorough search on for even files, off for odd ones, so both paths run
    // side by side.
    std::vector<Outcome> expected;
    for (std::size_t i = 0; i < files.size(); ++i)
        expected.push_back(read_and_decode(files[i], i % 2 == 0));
    EXPECT_GE(std::count_if(expected.begin(), expected.end(), [](const Outcome &o) { return o.text.find('|') != std::string::npos; }), 8);

    constexpr int threads = 8;
    constexpr int rounds = 20;
    std::atomic<int> mismatches{0};
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back([&, t] {
            for (int round = 0; round < rounds; ++round) {
                // Each thread walks the files in its own order.
                for (std::size_t k = 0; k < files.size(); ++k) {
                    const std::size_t i = (k * (2 * t + 1) + static_cast<std::size_t>(round)) % files.size();
                    if (!(read_and_decode(files[i], i % 2 == 0) == expected[i]))
                        ++mismatches;
                }
            }
        });
    }
    for (std::thread &th : pool)
        th.join();
    EXPECT_EQ(mismatches.load(), 0);
}
