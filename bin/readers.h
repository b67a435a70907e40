// The format readers behind read_image and vantor_image_read. Each takes the
// open stream, owns it and closes it before returning, and fills the
// caller's ReadTarget; nonzero on success. A reader keeps nothing between
// calls, so any number of reads may run at once on their own targets.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include <vantor/image.h>
#include <vantor/vantor.h>

namespace vantor {

// Largest image accepted from any format, in pixels.
constexpr std::int64_t max_image_pixels = VANTOR_MAX_PIXELS;

// Most warnings kept for one read; a damaged file can repeat one per row.
constexpr int max_warnings = 100;

// What one read produces, owned by whoever started the read.
struct ReadTarget {
    // The image; pixels come from malloc and belong to the caller, also
    // after a failure. A failed read may leave the other fields changed.
    GrayImage image{0, 0, nullptr, 8};
    // Why the read failed, as read_message holds it ("" when the reader
    // gives no text).
    char message[1024] = "";
    std::string warnings; // one per line, each ending in a line feed
    int warning_count = 0;
    const char *path = ""; // names the file in the messages of the newer formats
    int page = 0;          // the page wanted, 0 first (TIFF, PDF)
    int dpi = 0;           // PDF: the resolution pages render at; 0: VANTOR_PDF_DPI
    int page_count = 1;
    const char *format = ""; // the format's name once recognised ("PDF", "TIFF", ...)
    // How a failed read failed, when the reader knows better than "damaged".
    vantor_read_status failure = VANTOR_READ_DAMAGED;
    // The classic route: the JPEG library prints its own messages on the
    // standard error stream, as it always did. Otherwise nothing is printed.
    bool library_messages_to_stderr = false;
};

int read_bmp(std::FILE *file, ReadTarget &target);
int read_jpeg(std::FILE *file, ReadTarget &target);
int read_gif(std::FILE *file, ReadTarget &target);
int read_png(std::FILE *file, ReadTarget &target);
int read_tiff(std::FILE *file, ReadTarget &target);
int read_webp(std::FILE *file, ReadTarget &target);
int read_pnm(std::FILE *file, ReadTarget &target);
#ifdef VANTOR_WITH_PDF
int read_pdf(std::FILE *file, ReadTarget &target);
#endif

// Opens the file at path, recognises its format by the leading bytes and
// reads it into target; the read's status. Used by read_image and by
// vantor_image_read alike.
vantor_read_status read_image_file(const char *path, ReadTarget &target);

// Writes a failure text into target.message, cut to fit.
void set_message(ReadTarget &target, const char *format, ...) __attribute__((format(printf, 2, 3)));

// Adds one warning line (a line feed is added); never throws.
void add_warning(ReadTarget &target, const char *format, ...) __attribute__((format(printf, 2, 3)));

// Allocates target.image.pixels for width x height and sets the size; false
// (with target.failure set) when the size is out of range or memory runs out.
bool allocate_pixels(ReadTarget &target, std::int64_t width, std::int64_t height);

// Refuses a picture of width x height as too large (or empty): false, with
// the failure text that says so where the route gives one.
bool refuse_size(ReadTarget &target, std::int64_t width, std::int64_t height);

// Length of the file, or -1 when it cannot be told; the position is kept.
std::int64_t file_length(std::FILE *file);

// The grey of a colour: the truncated mean of its three components, as every
// colour format but JPEG gives it.
inline unsigned char mean_grey(unsigned red, unsigned green, unsigned blue) {
    return static_cast<unsigned char>((red + green + blue) / 3);
}

// A component with straight (not premultiplied) alpha over a white
// background, rounded.
inline unsigned over_white(unsigned value, unsigned alpha) {
    return (value * alpha + 255 * (255 - alpha) + 127) / 255;
}

} // namespace vantor
