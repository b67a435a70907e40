// Test symbols without binary fixtures: QR Code symbols made with
// libqrencode, rendered into grey pictures with the distortions of real
// photos, and written as image files. Everything is deterministic.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vantor::testing {

enum class Mode { numeric, alphanumeric, byte, kanji };
enum class Level { L, M, Q, H };

struct Segment {
    Mode mode;
    std::string data; // kanji: Shift JIS byte pairs
};

// A symbol's module matrix, row-major, 1 = dark, 0 = light, no quiet zone.
struct Symbol {
    int version = 0;
    int size = 0; // modules per side, 4 * version + 17 (a rectangle's width)
    int rows = 0; // a rectangular symbol's height (rMQR); 0: square
    Level level = Level::L;
    int mask = 0;
    std::vector<std::uint8_t> modules;
    std::string text; // the bytes the symbol carries

    bool dark(int col, int row) const { return modules[static_cast<std::size_t>(row) * size + col] != 0; }
};

// One segment in one mode. version 0 picks the smallest that fits; mask -1
// lets the encoder choose. Empty when the text does not fit or is invalid for
// the mode.
std::optional<Symbol> make_symbol(std::string_view text, int version, Level level, Mode mode,
                                  int mask = -1);
// Several segments, in order (for mixed-mode symbols).
std::optional<Symbol> make_symbol(std::span<const Segment> segments, int version, Level level,
                                  int mask = -1);

// An 8-bit grey picture, row-major, top row first.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;

    std::uint8_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

struct RenderOptions {
    double module_px = 4.0; // pixels per module, may be fractional
    int quiet_zone = 4;     // modules of light margin around the symbol
    std::uint8_t dark = 0;
    std::uint8_t light = 255;
    double rotation_deg = 0.0; // about the symbol's centre
    double skew_x = 0.0;       // affine shear: x += skew_x * y
    double skew_y = 0.0;       // y += skew_y * x
    double perspective = 0.0;  // mild keystone, about 0.0005 per pixel is visible
    double blur_sigma = 0.0;   // Gaussian blur, pixels
    double motion_px = 0.0;    // length of a straight motion blur, pixels
    double motion_deg = 0.0;   // its direction, from the picture's x axis
    double noise_sigma = 0.0;  // additive Gaussian noise, grey levels
    double light_gradient = 0.0; // uneven lighting: 0..1, darkens one corner
    int canvas_width = 0;        // 0: just large enough for the symbol
    int canvas_height = 0;
    bool mirror = false;         // draw the transposed symbol
    // The symbol wrapped round a cylinder whose axis runs down its columns,
    // photographed from the front: the share of the circumference its width
    // covers (0 flat; below about 0.3 the quiet zone stays in view). The
    // camera stands three symbol widths in front of the cylinder, so rows
    // bow as well as columns crowding towards the sides.
    double wrap = 0.0;
    // The symbol shown on a screen and photographed: each module
    // `screen_pixels` screen pixels across (0: printed), each screen pixel
    // three upright stripes (red, green, blue as a grey camera sees them)
    // with dark gaps of `screen_gap` of the pitch between pixels and
    // stripes. The screen's pixel grid lies in the symbol's plane, over the
    // quiet zone and the picture around it too; sampled near the camera's
    // own pitch it beats into moire.
    double screen_pixels = 0.0;
    double screen_gap = 0.2;
    std::uint32_t seed = 1;
};

Picture render(const Symbol &symbol, const RenderOptions &options = {});

// Separable Gaussian blur of row-major values, edges clamped.
void blur(std::vector<double> &values, int width, int height, double sigma);

// A camera moving in a straight line while the shutter is open: each value
// the mean along `length` pixels in direction `deg`, edges clamped.
void motion_blur(std::vector<double> &values, int width, int height, double length, double deg);

// A picture with no symbol at all, of the given kind: "blank", "noise",
// "stripes", or "scene" (smooth blobs with edges, texture and falling light).
Picture render_noise(int width, int height, std::string_view kind, std::uint32_t seed = 1);

// A scene (as render_noise's) where a first pass sees many eye pattern
// candidates but no symbol: 260 to 319 nested dark and light squares whose
// rings are near the eye's proportions, at module sizes of 2 to 7 pixels,
// some broken open, with tiles and specks around them, blurred a little.
Picture render_lookalikes(int width, int height, std::uint32_t seed);

// Image files. Each returns false when the file cannot be written.
bool write_bmp24(const std::string &path, const Picture &picture);
// zero_is_black: palette entry 0 is black (else entry 0 is white).
bool write_bmp1(const std::string &path, const Picture &picture, bool zero_is_black = true,
                int threshold = 128);
bool write_jpeg(const std::string &path, const Picture &picture, int quality = 90,
                bool colour = false);
struct GifOptions {
    bool interlaced = false;
    bool extensions = false; // add a comment and an application extension
    int frames = 1;          // extra frames before the picture are noise
    int offset_x = 0;        // the picture as a smaller image at an offset
    int offset_y = 0;
};
bool write_gif(const std::string &path, const Picture &picture, const GifOptions &options = {});

// The same files as bytes, for tests that cut or corrupt them.
std::vector<std::uint8_t> bmp24_bytes(const Picture &picture);
std::vector<std::uint8_t> bmp1_bytes(const Picture &picture, bool zero_is_black = true,
                                     int threshold = 128);
bool write_bytes(const std::string &path, std::span<const std::uint8_t> bytes);
// colour: a three-component file whose pixels are the grey values.
std::vector<std::uint8_t> jpeg_bytes(const Picture &picture, int quality = 90, bool colour = false);
// Any samples, interleaved by pixel: 1 component grey, 3 RGB, 4 CMYK;
// progressive: the library's simple progression script instead of one scan.
std::vector<std::uint8_t> jpeg_bytes(int width, int height, int components,
                                     std::span<const std::uint8_t> samples, int quality = 90,
                                     bool progressive = false);
std::vector<std::uint8_t> gif_bytes(const Picture &picture, const GifOptions &options = {});

// A fresh empty directory under the system's temporary directory.
std::string temp_dir(std::string_view name);

// A temp_dir that is removed, with everything in it, when the object goes.
class TempDir {
public:
    explicit TempDir(std::string_view name) : path_(temp_dir(name)) {}
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    // Empty when the directory could not be made.
    const std::string &path() const { return path_; }

private:
    std::string path_;
};

} // namespace vantor::testing
