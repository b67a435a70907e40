// Arbitrary grey images through decode_image and through the reentrant
// decoder with its thorough search, every symbol asked for. The first bytes
// choose the size (up to 512 x 512) and the depth; the rest, repeated, are
// the pixels.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <vantor/vantor.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 6)
        return 0;
    const int width = 1 + ((data[0] | data[1] << 8) % 512);
    const int height = 1 + ((data[2] | data[3] << 8) % 512);
    const unsigned short depth = (data[4] & 1) ? 1 : 8;
    const std::uint8_t *body = data + 5;
    const std::size_t body_size = size - 5;
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height);
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        std::uint8_t v = body[i % body_size];
        // A two-level image holds only 0 and 255.
        pixels[i] = depth == 1 ? (v & 1 ? 255 : 0) : v;
    }
    const char *text = decode_image(pixels.data(), width, height, depth, nullptr);
    // The text lives in a 7090-byte buffer: 7089 characters at most.
    if (text && std::strlen(text) >= 7090) {
        std::fprintf(stderr, "fuzz_decode_image: text longer than the result buffer\n");
        std::abort();
    }

    vantor_options *options = vantor_options_new();
    vantor_options_set_all_symbols(options, 1);
    vantor_results *results = vantor_decode_pixels(pixels.data(), width, height, width, depth, options);
    vantor_options_free(options);
    if (!results)
        return 0;
    for (int i = 0; i < vantor_results_count(results); ++i) {
        const vantor_symbol *s = vantor_results_symbol(results, i);
        // The promises of a symbol: its bytes end in a zero past the length,
        // version, level and mask are in range.
        if (s->bytes[s->length] != 0 || s->version < 1 || s->version > 40 || s->mask < 0 || s->mask > 7 ||
            std::strchr("LMQH", s->level) == nullptr || s->level == 0) {
            std::fprintf(stderr, "fuzz_decode_image: a symbol record out of range\n");
            std::abort();
        }
    }
    if ((vantor_results_count(results) > 0) != (vantor_results_reason(results) == VANTOR_OK)) {
        std::fprintf(stderr, "fuzz_decode_image: reason and symbols disagree\n");
        std::abort();
    }
    vantor_results_free(results);
    return 0;
}
