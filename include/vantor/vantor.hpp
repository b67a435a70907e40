// Vantor for C++: value types and RAII handles over the reentrant C API of
// vantor.h. Header-only: link the vantor library as a C user would.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <vantor/vantor.h>

namespace vantor {

// A file could not be read; status() tells why, what() names the file.
class ReadError : public std::runtime_error {
public:
    ReadError(const std::string &what, vantor_read_status status, std::string reader_message)
        : std::runtime_error(what), status_(status), reader_message_(std::move(reader_message)) {}
    vantor_read_status status() const noexcept { return status_; }
    // The reader's own text (may be empty).
    const std::string &reader_message() const noexcept { return reader_message_; }

private:
    vantor_read_status status_;
    std::string reader_message_;
};

class Image {
public:
    // Reads a file (page `page` of a multi-page TIFF or PDF, rendered at
    // dpi; 0: VANTOR_PDF_DPI); throws ReadError.
    static Image read(const std::string &path, int page = 0, int dpi = 0) {
        vantor_read_error error{};
        vantor_image *image = vantor_image_read_page_dpi(path.c_str(), page, dpi, &error);
        if (!image)
            throw ReadError(path + ": " + vantor_read_status_text(error.status), error.status, error.message);
        return Image(image);
    }

    // A copy of caller-owned grey pixels; throws std::invalid_argument.
    static Image from_pixels(std::span<const std::uint8_t> pixels, int width, int height, int stride,
                             int depth = 8) {
        if (stride < width || height <= 0 ||
            pixels.size() < static_cast<std::size_t>(stride) * static_cast<std::size_t>(height - 1) +
                                static_cast<std::size_t>(width))
            throw std::invalid_argument("vantor: pixel buffer smaller than its size says");
        vantor_image *image = vantor_image_from_pixels(pixels.data(), width, height, stride, depth);
        if (!image)
            throw std::invalid_argument("vantor: bad image size, stride or depth");
        return Image(image);
    }

    int width() const { return vantor_image_width(get()); }
    int height() const { return vantor_image_height(get()); }
    int depth() const { return vantor_image_depth(get()); }
    int page_count() const { return vantor_image_page_count(get()); }
    std::string format() const { return vantor_image_format(get()); }
    std::span<const std::uint8_t> pixels() const {
        return {vantor_image_pixels(get()),
                static_cast<std::size_t>(width()) * static_cast<std::size_t>(height())};
    }
    std::string warnings() const { return vantor_image_warnings(get()); }
    const vantor_image *get() const { return image_.get(); }

private:
    explicit Image(vantor_image *image) : image_(image) {}
    struct Free {
        void operator()(vantor_image *image) const { vantor_image_free(image); }
    };
    std::unique_ptr<vantor_image, Free> image_;
};

class Options {
public:
    Options() : options_(vantor_options_new()) {
        if (!options_)
            throw std::bad_alloc();
    }
    Options &thorough(bool on) {
        vantor_options_set_thorough(get(), on);
        return *this;
    }
    Options &all_symbols(bool on) {
        vantor_options_set_all_symbols(get(), on);
        return *this;
    }
    // The kinds looked for, bits 1u << vantor_kind; std::invalid_argument
    // for a set without a known kind.
    Options &kinds(unsigned bits) {
        if (!vantor_options_set_kinds(get(), bits))
            throw std::invalid_argument("no known QR kind in the set");
        return *this;
    }
    // VANTOR_EFFORT_DEFAULT, _FAST or _EXHAUSTIVE; see vantor.h.
    Options &effort(vantor_effort level) {
        if (!vantor_options_set_effort(get(), level))
            throw std::invalid_argument("unknown vantor_effort");
        return *this;
    }
    Options &debug_dir(const std::string &dir) {
        vantor_options_set_debug_dir(get(), dir.c_str());
        return *this;
    }
    Options &trace(FILE *stream) {
        sink_.reset();
        vantor_options_set_trace_file(get(), stream);
        return *this;
    }
    // Each trace line, "\n" included. Called on the decoding thread.
    Options &trace(std::function<void(std::string_view)> sink) {
        sink_ = std::make_shared<std::function<void(std::string_view)>>(std::move(sink));
        vantor_options_set_trace_callback(get(), &Options::forward, sink_.get());
        return *this;
    }
    vantor_options *get() const { return options_.get(); }

private:
    static void forward(const char *line, void *user) {
        (*static_cast<std::function<void(std::string_view)> *>(user))(line);
    }
    struct Free {
        void operator()(vantor_options *options) const { vantor_options_free(options); }
    };
    std::unique_ptr<vantor_options, Free> options_;
    std::shared_ptr<std::function<void(std::string_view)>> sink_;
};

struct Point {
    float x;
    float y;
};

struct Symbol {
    std::string bytes; // exact, zero bytes kept
    std::string text;  // UTF-8 for display
    vantor_kind kind = VANTOR_KIND_QR;
    std::string version_name; // "7", "M3", "R13x77"
    int version = 0;
    char level = 0;
    int mask = 0;
    std::array<Point, 4> corners{}; // top-left, top-right, bottom-right, bottom-left
    int corrected = 0;
    int pass = 0;
    int reading = 0;
    bool mirrored = false;
    bool inverted = false;
    int eci = -1;
    int sa_index = -1;
    int sa_count = 0;
    int sa_parity = 0;
    int fnc1 = 0;
    int fnc1_application = 0;
    int copy_factor = 0; // 0: read in the picture as it is; k: in a copy shrunk by k
};

struct Results {
    std::vector<Symbol> symbols;
    vantor_reason reason = VANTOR_OK;
    vantor_stage stage = VANTOR_STAGE_NONE;
    std::vector<vantor_reading> readings; // those that ran
    bool searched = false;                // the thorough search ran
    // The bytes of a whole structured-append set among the symbols.
    std::optional<std::string> joined;

    explicit operator bool() const { return !symbols.empty(); }
    std::string reason_text() const { return vantor_reason_text(reason); }
};

namespace detail {

inline Results take(vantor_results *raw) {
    if (!raw)
        throw std::bad_alloc();
    std::unique_ptr<vantor_results, void (*)(vantor_results *)> owner(raw, vantor_results_free);
    Results out;
    out.reason = vantor_results_reason(raw);
    out.stage = vantor_results_stage(raw);
    out.searched = vantor_results_searched(raw) != 0;
    for (int i = 0, n = vantor_results_count(raw); i < n; ++i) {
        const vantor_symbol &s = *vantor_results_symbol(raw, i);
        Symbol m;
        m.bytes.assign(reinterpret_cast<const char *>(s.bytes), s.length);
        m.text.assign(s.text, s.text_length);
        m.kind = vantor_symbol_kind(&s);
        m.version_name = vantor_symbol_version_name(&s);
        m.version = s.version;
        m.level = s.level;
        m.mask = s.mask;
        for (int k = 0; k < 4; ++k)
            m.corners[static_cast<std::size_t>(k)] = {s.corners[k].x, s.corners[k].y};
        m.corrected = s.corrected;
        m.pass = s.pass;
        m.reading = s.reading;
        m.mirrored = s.mirrored != 0;
        m.copy_factor = s.copy_factor;
        m.inverted = s.inverted != 0;
        m.eci = s.eci;
        m.sa_index = s.sa_index;
        m.sa_count = s.sa_count;
        m.sa_parity = s.sa_parity;
        m.fnc1 = s.fnc1;
        m.fnc1_application = s.fnc1_application;
        out.symbols.push_back(std::move(m));
    }
    for (int i = 0, n = vantor_results_reading_count(raw); i < n; ++i)
        out.readings.push_back(*vantor_results_reading(raw, i));
    std::size_t joined_length = 0;
    if (const unsigned char *joined = vantor_results_joined(raw, &joined_length))
        out.joined.emplace(reinterpret_cast<const char *>(joined), joined_length);
    return out;
}

} // namespace detail

// Decodes grey pixels, rows `stride` bytes apart. A bad size gives results
// with reason VANTOR_INVALID_ARGUMENT.
inline Results decode(std::span<const std::uint8_t> pixels, int width, int height, int stride,
                      int depth = 8, const Options &options = Options()) {
    if (width <= 0 || height <= 0 || stride < width ||
        pixels.size() < static_cast<std::size_t>(stride) * static_cast<std::size_t>(height - 1) +
                            static_cast<std::size_t>(width)) {
        Results r;
        r.reason = VANTOR_INVALID_ARGUMENT;
        return r;
    }
    return detail::take(vantor_decode_pixels(pixels.data(), width, height, stride, depth, options.get()));
}

inline Results decode(const Image &image, const Options &options = Options()) {
    return detail::take(vantor_decode(image.get(), options.get()));
}

// Bytes made readable as UTF-8 (see vantor_display_text).
inline std::string display_text(std::string_view bytes) {
    std::string out(vantor_display_text(bytes.data(), bytes.size(), nullptr, 0) + 1, '\0');
    out.resize(vantor_display_text(bytes.data(), bytes.size(), out.data(), out.size()));
    return out;
}

} // namespace vantor
