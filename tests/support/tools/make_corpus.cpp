// Writes the seed corpus of the fuzz targets into the directory it is given,
// one subdirectory per target: real symbols in every file format and a few
// broken files for fuzz_read_image, grey images in that target's input
// layout for fuzz_decode_image, and module matrices and Reed-Solomon blocks
// for fuzz_symbol_stages, Micro QR matrices, bit streams and pictures for
// fuzz_family_stages. Every seed that should decode is checked to do so.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <vantor/image.h>
#include <vantor/vantor.h>

#include "family_symbols.h"
#include "format_files.h"
#include "hostile_images.h"
#include "qr_symbols.h"

using namespace vantor::testing;

namespace {

bool failed = false;

void save(const std::string &path, const Bytes &bytes) {
    if (bytes.empty() || !write_bytes(path, bytes)) {
        std::fprintf(stderr, "make_corpus: cannot write %s\n", path.c_str());
        failed = true;
    }
}

Symbol symbol(const char *text, int version, Level level, Mode mode = Mode::byte, int mask = -1) {
    auto s = make_symbol(text, version, level, mode, mask);
    if (!s) {
        std::fprintf(stderr, "make_corpus: cannot encode \"%s\"\n", text);
        std::exit(1);
    }
    return *s;
}

Picture picture(const Symbol &s, double module_px, double rotation = 0) {
    RenderOptions o;
    o.module_px = module_px;
    o.quiet_zone = 2;
    o.rotation_deg = rotation;
    return render(s, o);
}

// A file seed that must read and decode to `text`.
void check_file(const std::string &path, const std::string &text) {
    const bool read = read_image(path.c_str());
    const char *got = read ? decode_image(gray_image.pixels, gray_image.width, gray_image.height,
                                          gray_image.depth, nullptr)
                           : nullptr;
    if (!got || text != got) {
        std::fprintf(stderr, "make_corpus: %s does not decode\n", path.c_str());
        failed = true;
    }
    release_image();
}

// --- fuzz_read_image: whole files --------------------------------------------

void read_image_seeds(const std::string &dir) {
    const Symbol hello = symbol("Hello, Vantor!", 1, Level::M);
    const Symbol v2 = symbol("HTTPS://EXAMPLE.COM/VANTOR", 2, Level::Q, Mode::alphanumeric);
    const Symbol v7 = symbol("0123456789012345678901234567890123456789", 7, Level::H, Mode::numeric);

    const Picture small = picture(hello, 2);
    const Picture tilted = picture(v2, 2, 4);
    const Picture large = picture(v7, 2);

    struct Good {
        const char *name;
        Bytes bytes;
        const std::string &text;
    };
    GifOptions interlaced;
    interlaced.interlaced = true;
    GifOptions animated;
    animated.frames = 2;
    animated.extensions = true;
    const Good good[] = {
        {"hello-24.bmp", bmp24_bytes(small), hello.text},
        {"hello-1.bmp", bmp1_bytes(small), hello.text},
        {"hello-1-white0.bmp", bmp1_bytes(small, false), hello.text},
        {"v2-tilted-24.bmp", bmp24_bytes(tilted), v2.text},
        {"v7-1.bmp", bmp1_bytes(large), v7.text},
        {"hello.jpg", jpeg_bytes(small, 80), hello.text},
        {"hello-colour.jpg", jpeg_bytes(small, 80, true), hello.text},
        {"hello-progressive.jpg", progressive_jpeg_bytes(small), hello.text},
        {"v2-tilted.jpg", jpeg_bytes(tilted, 85), v2.text},
        {"hello.gif", gif_bytes(small), hello.text},
        {"hello-interlaced.gif", gif_bytes(small, interlaced), hello.text},
        {"hello-frames.gif", gif_bytes(small, animated), hello.text},
        {"v7.gif", gif_bytes(large), v7.text},
        {"hello.png", png_bytes(small), hello.text},
        {"hello-rgba-interlaced.png", png_bytes(small, {PngColour::rgba, 16, true, true}), hello.text},
        {"hello-palette1.png", png_bytes(small, {PngColour::palette, 1}), hello.text},
        {"hello-lzw.tif", tiff_bytes(small, {5}), hello.text},
        {"hello-tiled.tif", tiff_bytes(small, {8, true}), hello.text},
        {"hello-bilevel-g4.tif", tiff_bytes(small, [] {
             TiffOptions o;
             o.compression = 4;
             o.bits = 1;
             o.min_is_white = true;
             return o;
         }()), hello.text},
        {"hello-lossless.webp", webp_bytes(small, true, true), hello.text},
        {"hello-lossy.webp", webp_bytes(small, false, false, 95), hello.text},
        {"hello-p1.pbm", pnm_bytes(small, 1), hello.text},
        {"hello-p5-16bit.pgm", pnm_bytes(small, 5, 65535), hello.text},
        {"hello-p3.ppm", pnm_bytes(small, 3), hello.text},
        {"hello-p6.ppm", pnm_bytes(small, 6), hello.text},
        {"hello-8bit-v5.bmp", bmp_bytes(small, {124, 8}), hello.text},
        {"hello-rle8.bmp", bmp_bytes(small, {40, 8, 1}), hello.text},
        {"hello-rle4.bmp", bmp_bytes(small, {40, 4, 2}), hello.text},
        {"hello-565.bmp", bmp_bytes(small, {40, 16, 3, {0xF800, 0x07E0, 0x001F}}), hello.text},
        {"hello-32-core.bmp", bmp_bytes(small, {56, 32, 3, {0xFF000000, 0xFF0000, 0xFF00}}), hello.text},
        {"hello-1-core.bmp", bmp_bytes(small, {12, 1}), hello.text},
        {"hello-cmyk-adobe.jpg", cmyk_jpeg_bytes(small, true), hello.text},
        {"hello-ycck.jpg", cmyk_jpeg_bytes(small, true, true), hello.text},
    };
    for (const Good &g : good) {
        const std::string path = dir + "/" + g.name;
        save(path, g.bytes);
        check_file(path, g.text);
    }

    // Top-down 24-bit BMP: negative height, rows stored top row first.
    Bytes top_down = bmp24_bytes(small);
    {
        const std::size_t row = (3 * small.width + 3) / 4 * 4;
        const std::size_t offset = top_down[10] | top_down[11] << 8;
        Bytes flipped(top_down.begin(), top_down.begin() + static_cast<std::ptrdiff_t>(offset));
        for (int y = small.height - 1; y >= 0; --y) {
            const auto first = top_down.begin() + static_cast<std::ptrdiff_t>(offset + y * row);
            flipped.insert(flipped.end(), first, first + static_cast<std::ptrdiff_t>(row));
        }
        const std::uint32_t h = static_cast<std::uint32_t>(-small.height);
        for (int k = 0; k < 4; ++k)
            flipped[22 + k] = static_cast<std::uint8_t>(h >> (8 * k));
        save(dir + "/hello-top-down-24.bmp", flipped);
        check_file(dir + "/hello-top-down-24.bmp", hello.text);
    }

    // Broken files.
    const Bytes bmp = bmp24_bytes(small);
    const Bytes bmp1 = bmp1_bytes(small);
    const Bytes jpeg = jpeg_bytes(small, 80);
    const Bytes gif = gif_bytes(small);
    auto cut = [](const Bytes &b, std::size_t n) { return Bytes(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(std::min(n, b.size()))); };
    auto patched = [](Bytes b, std::size_t at, std::initializer_list<std::uint8_t> values) {
        for (std::uint8_t v : values)
            if (at < b.size())
                b[at++] = v;
        return b;
    };
    save(dir + "/short.bin", Bytes{'B', 'M', 0});
    save(dir + "/png-signature.bin", Bytes{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A});
    save(dir + "/bmp-truncated-pixels.bmp", cut(bmp, bmp.size() / 2));
    save(dir + "/bmp-truncated-header.bmp", cut(bmp, 30));
    save(dir + "/bmp-huge-size.bmp", patched(cut(bmp, 200), 18, {0xFF, 0xFF, 0, 0, 0xFF, 0xFF, 0, 0}));
    save(dir + "/bmp-negative-width.bmp", patched(bmp, 18, {0xCE, 0xFF, 0xFF, 0xFF}));
    save(dir + "/bmp-8bit.bmp", patched(bmp, 28, {8, 0}));
    save(dir + "/bmp-rle.bmp", patched(bmp1, 30, {1}));
    save(dir + "/bmp-offset-past-end.bmp", patched(bmp, 10, {0xFF, 0xFF, 0xFF, 0x7F}));
    save(dir + "/jpeg-soi-only.jpg", Bytes{0xFF, 0xD8, 0xFF, 0xD9});
    save(dir + "/jpeg-truncated.jpg", cut(jpeg, jpeg.size() / 2));
    save(dir + "/jpeg-many-scans.jpg", progressive_jpeg_bytes(picture(hello, 1), 300));
    save(dir + "/jpeg-memory-bomb.jpg", jpeg_memory_bomb_bytes(16384, 16384, 3));
    save(dir + "/gif-truncated.gif", cut(gif, gif.size() * 2 / 3));
    save(dir + "/gif-no-terminator.gif", cut(gif, gif.size() - 1));
    // Logical screen one pixel narrower than the image.
    save(dir + "/gif-image-outside.gif",
         patched(gif, 6, {static_cast<std::uint8_t>((small.width - 1) & 0xFF),
                          static_cast<std::uint8_t>((small.width - 1) >> 8)}));
    save(dir + "/gif-huge-screen.gif", patched(cut(gif, 64), 6, {0xFF, 0xFF, 0xFF, 0xFF}));

    const Bytes png = png_bytes(small, {PngColour::rgb, 8, true});
    const Bytes tiff = tiff_bytes(small, {8, true});
    const Bytes webp = webp_bytes(small, true);
    const Bytes pgm = pnm_bytes(small, 5);
    const Bytes rle = bmp_bytes(small, {40, 8, 1});
    save(dir + "/png-truncated.png", cut(png, png.size() / 2));
    save(dir + "/png-huge-size.png", patched(png, 16, {0, 0x40, 0, 0, 0, 0x40, 0, 0}));
    save(dir + "/tiff-truncated.tif", cut(tiff, tiff.size() / 2));
    save(dir + "/tiff-header-only.tif", cut(tiff, 8));
    save(dir + "/webp-truncated.webp", cut(webp, webp.size() / 2));
    save(dir + "/webp-lossy-truncated.webp", cut(webp_bytes(small, false), 60));
    save(dir + "/pnm-truncated.pgm", cut(pgm, pgm.size() / 2));
    save(dir + "/pnm-huge.pgm", Bytes{'P', '5', ' ', '9', '9', '9', '9', '9', ' ', '9', '9', '9', '9', '9', ' ', '2', '5', '5', ' ', 0});
    save(dir + "/bmp-rle-truncated.bmp", cut(rle, rle.size() - 40));
    save(dir + "/riff-not-webp.bin", Bytes{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'});
}

// --- fuzz_decode_image: width - 1, height - 1 (16-bit little-endian), a
// depth byte (odd: two-level), then the pixels ---------------------------------

Bytes grey_seed(const Picture &p, bool two_level = false) {
    Bytes b = {static_cast<std::uint8_t>((p.width - 1) & 0xFF), static_cast<std::uint8_t>((p.width - 1) >> 8),
               static_cast<std::uint8_t>((p.height - 1) & 0xFF), static_cast<std::uint8_t>((p.height - 1) >> 8),
               static_cast<std::uint8_t>(two_level ? 1 : 0)};
    for (std::uint8_t v : p.pixels)
        b.push_back(two_level ? (v >= 128 ? 1 : 0) : v);
    return b;
}

void decode_image_seeds(const std::string &dir) {
    const Symbol hello = symbol("Hello, Vantor!", 1, Level::M);
    const Symbol v2 = symbol("HTTPS://EXAMPLE.COM/VANTOR", 2, Level::L, Mode::alphanumeric);
    const Symbol v7 = symbol("0123456789012345678901234567890123456789", 7, Level::L, Mode::numeric);

    RenderOptions photo;
    photo.module_px = 2;
    photo.quiet_zone = 2;
    photo.rotation_deg = 8;
    photo.blur_sigma = 0.5;
    photo.noise_sigma = 6;
    photo.light_gradient = 0.3;
    const Picture small = picture(hello, 2);
    save(dir + "/hello.grey", grey_seed(small));
    save(dir + "/hello-two-level.grey", grey_seed(small, true));
    save(dir + "/hello-mirrored.grey", grey_seed([&] {
             RenderOptions o;
             o.module_px = 2;
             o.quiet_zone = 2;
             o.mirror = true;
             return render(hello, o);
         }()));
    save(dir + "/v2-photo.grey", grey_seed(render(v2, photo)));
    save(dir + "/v7.grey", grey_seed(picture(v7, 2)));
    save(dir + "/eye-field.grey", grey_seed(eye_field(80, 80, 2, 2)));
    save(dir + "/eye-field-jitter.grey", grey_seed(eye_field(90, 90, 1, 2, 2, 7)));
    save(dir + "/noise.grey", grey_seed(render_noise(48, 48, "noise", 3)));
    save(dir + "/stripes.grey", grey_seed(render_noise(48, 48, "stripes", 4)));
    save(dir + "/photo.grey", grey_seed(photo_like(64, 64, 5)));
    // Tiny and thin images, and one 1:1:3:1:1 row repeated down a tall image.
    save(dir + "/one-pixel.grey", Bytes{0, 0, 0, 0, 0, 0});
    save(dir + "/thin.grey", Bytes{0xFF, 0x01, 0, 0, 0, 0, 255, 0, 0, 0, 255, 0});
    save(dir + "/eye-rows.grey", Bytes{13, 0, 0xFF, 0x01, 0, 255, 0, 255, 0, 0, 0, 255, 0, 255, 255, 255, 255, 255});
}

// --- fuzz_symbol_stages ---------------------------------------------------------
// Matrix: byte 0 even, then version - 1, a format byte (level, mask) used
// when the format information does not read, then the modules as bits,
// least significant first. Block: byte 0 odd, then n - 1, t, then n bytes.

Bytes matrix_seed(const Symbol &s, int flips = 0) {
    Bytes b = {0, static_cast<std::uint8_t>(s.version - 1), static_cast<std::uint8_t>(s.mask << 2)};
    Bytes bits((s.modules.size() + 7) / 8);
    for (std::size_t i = 0; i < s.modules.size(); ++i)
        if (s.modules[i])
            bits[i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));
    // Damage spread over the symbol.
    for (int k = 0; k < flips; ++k) {
        const std::size_t i = (static_cast<std::size_t>(k) * 7919 + 101) % s.modules.size();
        bits[i / 8] ^= static_cast<std::uint8_t>(1u << (i % 8));
    }
    b.insert(b.end(), bits.begin(), bits.end());
    return b;
}

// GF(256) over x^8 + x^4 + x^3 + x^2 + 1.
std::uint8_t gf_mul(std::uint8_t a, std::uint8_t b) {
    unsigned r = 0, x = a;
    for (; b; b >>= 1, x <<= 1) {
        if (x & 0x100)
            x ^= 0x11D;
        if (b & 1)
            r ^= x;
    }
    return static_cast<std::uint8_t>(r);
}

// A Reed-Solomon codeword of n bytes with 2t check bytes (generator roots
// alpha^0 .. alpha^(2t-1)), `errors` bytes then changed.
Bytes block_seed(int n, int t, int errors) {
    const int ec = 2 * t;
    std::vector<std::uint8_t> gen = {1}; // highest power first
    std::uint8_t root = 1;
    for (int i = 0; i < ec; ++i) {
        std::vector<std::uint8_t> next(gen.size() + 1, 0);
        for (std::size_t j = 0; j < gen.size(); ++j) {
            next[j] ^= gen[j];
            next[j + 1] ^= gf_mul(gen[j], root);
        }
        gen = next;
        root = gf_mul(root, 2);
    }
    Bytes block(n, 0);
    for (int i = 0; i < n - ec; ++i)
        block[i] = static_cast<std::uint8_t>(i * 37 + 11);
    std::vector<std::uint8_t> rem(block.begin(), block.end()); // data, then zeros
    for (int i = 0; i < n - ec; ++i) {
        const std::uint8_t f = rem[i];
        if (f)
            for (std::size_t j = 1; j < gen.size(); ++j)
                rem[i + j] ^= gf_mul(gen[j], f);
    }
    for (int i = n - ec; i < n; ++i)
        block[i] = rem[i];
    for (int e = 0; e < errors; ++e)
        block[(e * 5 + 3) % n] ^= static_cast<std::uint8_t>(0x5A + e);
    Bytes b = {1, static_cast<std::uint8_t>(n - 1), static_cast<std::uint8_t>(t)};
    b.insert(b.end(), block.begin(), block.end());
    return b;
}

void symbol_stage_seeds(const std::string &dir) {
    const Segment mixed[] = {{Mode::numeric, "0123456789"},
                             {Mode::alphanumeric, "VANTOR-QR"},
                             {Mode::byte, "bytes\x01\xff"},
                             {Mode::kanji, "\x93\xfa\x96\x7b"}};
    const auto mixed_symbol = make_symbol(mixed, 10, Level::Q);
    if (!mixed_symbol) {
        std::fprintf(stderr, "make_corpus: cannot encode the mixed symbol\n");
        std::exit(1);
    }
    save(dir + "/v1-numeric-L.mat", matrix_seed(symbol("31415926535897932384", 1, Level::L, Mode::numeric, 0)));
    save(dir + "/v1-alnum-M.mat", matrix_seed(symbol("VANTOR 1.2", 1, Level::M, Mode::alphanumeric, 3)));
    save(dir + "/v1-byte-H.mat", matrix_seed(symbol("hi", 1, Level::H, Mode::byte, 7)));
    save(dir + "/v2-kanji-Q.mat", matrix_seed(symbol("\x93\xfa\x96\x7b\x8c\xea", 2, Level::Q, Mode::kanji, 5)));
    save(dir + "/v5-byte-damaged.mat", matrix_seed(symbol("Hello, Vantor! Hello again.", 5, Level::H), 20));
    save(dir + "/v7-numeric.mat", matrix_seed(symbol("0123456789012345678901234567890123456789", 7, Level::M, Mode::numeric, 1)));
    save(dir + "/v10-mixed.mat", matrix_seed(*mixed_symbol));
    save(dir + "/v40-byte.mat", matrix_seed(symbol("the largest symbol", 40, Level::L, Mode::byte, 2)));
    save(dir + "/rs-clean.blk", block_seed(26, 5, 0));
    save(dir + "/rs-below-capacity.blk", block_seed(26, 5, 3));
    save(dir + "/rs-at-capacity.blk", block_seed(44, 11, 11));
    save(dir + "/rs-beyond-capacity.blk", block_seed(26, 5, 6));
    save(dir + "/rs-long.blk", block_seed(153, 15, 9));
    save(dir + "/rs-short.blk", block_seed(5, 2, 1));
}

// --- fuzz_family_stages ---------------------------------------------------------

// A Micro QR symbol as the target's matrix input: stage 0, its side, its
// modules as bits.
Bytes micro_matrix_seed(const Symbol &s) {
    Bytes b = {0, static_cast<std::uint8_t>(s.size)};
    b.resize(2 + (s.modules.size() + 7) / 8, 0);
    for (std::size_t i = 0; i < s.modules.size(); ++i)
        b[2 + i / 8] = static_cast<std::uint8_t>(b[2 + i / 8] | (s.modules[i] << (i % 8)));
    return b;
}

void family_stage_seeds(const std::string &dir) {
    const struct {
        const char *name;
        const char *text;
        int version;
        Level level;
    } micro[] = {{"m1", "31415", 1, Level::L}, {"m2-alnum", "AB-12", 2, Level::M},
                 {"m3-byte", "bytes", 3, Level::L}, {"m4-q", "Micro Q", 4, Level::Q}};
    for (const auto &m : micro) {
        const auto s = make_micro_qrencode(m.text, m.version, m.level, Mode::byte);
        if (!s) {
            std::fprintf(stderr, "make_corpus: cannot encode %s\n", m.name);
            std::exit(1);
        }
        save(dir + "/" + m.name + ".mat", micro_matrix_seed(*s));
        if (m.version == 2) {
            // The same symbol as a picture the target's width wide.
            RenderOptions o;
            o.module_px = 3;
            o.quiet_zone = 2;
            const Picture p = render(*s, o);
            Bytes b = {2, static_cast<std::uint8_t>(p.width - 11)};
            b.insert(b.end(), p.pixels.begin(), p.pixels.end());
            save(dir + "/m2-picture.pic", b);
        }
    }
    // M4 bit streams: numeric "12345" then alphanumeric "AB", terminator.
    save(dir + "/m4-stream.bits", Bytes{1, 3, 0x05, 0x1E, 0xD6, 0x41, 0x1C, 0xD0, 0x00, 0x00});
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_corpus DIR\n");
        return 64;
    }
    const std::string root = argv[1];
    for (const char *target : {"fuzz_read_image", "fuzz_decode_image", "fuzz_symbol_stages", "fuzz_family_stages"}) {
        std::error_code error;
        std::filesystem::create_directories(root + "/" + target, error);
        if (error) {
            std::fprintf(stderr, "make_corpus: cannot create %s/%s\n", root.c_str(), target);
            return 1;
        }
    }
    read_image_seeds(root + "/fuzz_read_image");
    decode_image_seeds(root + "/fuzz_decode_image");
    symbol_stage_seeds(root + "/fuzz_symbol_stages");
    family_stage_seeds(root + "/fuzz_family_stages");
    return failed ? 1 : 0;
}
