// JPEG reader: the JPEG library decodes straight to greyscale rows; CMYK and
// YCCK pictures come out as CMYK and are turned into grey here.
#include <csetjmp>
#include <cstdint>
#include <cstdio> // before jpeglib.h, which uses FILE without including it
#include <cstdlib>

#include <jpeglib.h>
#include <jerror.h> // after jpeglib.h, which it needs

#include "1_base/c_file.h"
#include "readers.h"

namespace vantor {

// The library's standard error manager with a way back into the reader and
// the target that collects its warnings.
struct JpegErrorManager {
    jpeg_error_mgr base; // first member: the library sees only this part
    std::jmp_buf recovery;
    ReadTarget *target;
    void (*standard_emit)(j_common_ptr, int);
};

namespace {

JpegErrorManager &manager(j_common_ptr cinfo) {
    return *reinterpret_cast<JpegErrorManager *>(cinfo->err);
}

// Fatal library errors: on the classic route the standard output_message
// prints the text on the standard error stream, as it always did, and the
// failure text stays empty; otherwise the library's text becomes the
// failure text. Then back to the reader's recovery point.
[[noreturn]] void on_jpeg_error(j_common_ptr cinfo) {
    JpegErrorManager &m = manager(cinfo);
    if (cinfo->err->msg_code == JERR_OUT_OF_MEMORY)
        m.target->failure = VANTOR_READ_OUT_OF_MEMORY;
    if (m.target->library_messages_to_stderr) {
        (*cinfo->err->output_message)(cinfo);
    } else {
        char text[JMSG_LENGTH_MAX];
        (*cinfo->err->format_message)(cinfo, text);
        set_message(*m.target, "file %s: damaged JPEG image (%s).\n", m.target->path, text);
    }
    std::longjmp(m.recovery, 1);
}

// Warnings (level -1) go into the target's warnings; the classic route also
// lets the standard handling print them as before (the first one only).
void on_jpeg_message(j_common_ptr cinfo, int level) {
    JpegErrorManager &m = manager(cinfo);
    if (level < 0) {
        char text[JMSG_LENGTH_MAX];
        (*cinfo->err->format_message)(cinfo, text);
        add_warning(*m.target, "JPEG: %s", text);
    }
    if (m.target->library_messages_to_stderr)
        m.standard_emit(cinfo, level);
    else if (level < 0)
        ++cinfo->err->num_warnings;
}

// Most memory the library may take for one picture. A progressive file keeps
// every coefficient of the picture, two bytes per sample, so a file of a few
// hundred bytes can declare a picture that needs gigabytes; past this limit
// the library fails (it has no backing store) instead of allocating.
constexpr long max_jpeg_memory = 256L << 20;

// Most scans decoded. Encoders write at most a few dozen (a progressive
// picture usually 6 to 10); every scan of a progressive file is a pass over
// the whole picture, so thousands of (tiny, repeated) scans would take
// minutes.
constexpr int max_jpeg_scans = 100;

// Our own library message for a file with too many scans.
constexpr int too_many_scans = 1000;
const char *const jpeg_addon_messages[] = {"JPEG file has more than %d scans", nullptr};

// Called by the library while it decodes; stops a file with too many scans
// through the error exit.
void check_scan_count(j_common_ptr common) {
    if (!common->is_decompressor)
        return;
    const auto *cinfo = reinterpret_cast<j_decompress_ptr>(common);
    if (cinfo->input_scan_number > max_jpeg_scans) {
        common->err->msg_code = too_many_scans;
        common->err->msg_parm.i[0] = max_jpeg_scans;
        (*common->err->error_exit)(common);
    }
}

// Grey of a CMYK sample as the library delivers it. Adobe's programs store
// the inks inverted (0 is full ink), and mark their files with their APP14
// marker; the colour is then R = C' K' / 255 (likewise G, B) with the stored
// values, else R = (255 - C)(255 - K) / 255. The grey is the library's own
// luminance of that colour (the weights it uses for RGB to grey).
unsigned char cmyk_grey(const JSAMPLE *s, bool inverted) {
    unsigned c = s[0], m = s[1], y = s[2], k = s[3];
    if (!inverted) {
        c = 255 - c;
        m = 255 - m;
        y = 255 - y;
        k = 255 - k;
    }
    const std::uint32_t r = c * k / 255, g = m * k / 255, b = y * k / 255;
    return static_cast<unsigned char>((19595 * r + 38470 * g + 7471 * b + 32768) >> 16);
}

// Everything between setjmp and the last library call lives here, in a frame
// without destructors, so the jump back skips nothing that needs cleaning up.
// The caller owns and closes the file.
int decode_jpeg(std::FILE *file, ReadTarget *target) {
    jpeg_decompress_struct cinfo;
    JpegErrorManager errors;
    cinfo.err = jpeg_std_error(&errors.base);
    errors.target = target;
    errors.standard_emit = errors.base.emit_message;
    errors.base.error_exit = on_jpeg_error;
    errors.base.emit_message = on_jpeg_message;
    errors.base.addon_message_table = jpeg_addon_messages;
    errors.base.first_addon_message = too_many_scans;
    errors.base.last_addon_message = too_many_scans;
    jpeg_progress_mgr progress{};
    progress.progress_monitor = check_scan_count;

    if (setjmp(errors.recovery)) {
        jpeg_destroy_decompress(&cinfo);
        return 0;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.mem->max_memory_to_use = max_jpeg_memory;
    cinfo.progress = &progress;
    jpeg_stdio_src(&cinfo, file);
    jpeg_read_header(&cinfo, TRUE);
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_GRAYSCALE;
    // No scaling is requested, so the output is the full picture.
    if (std::uint64_t{cinfo.image_width} * cinfo.image_height > max_image_pixels) {
        jpeg_destroy_decompress(&cinfo);
        return refuse_size(*target, cinfo.image_width, cinfo.image_height);
    }
    jpeg_start_decompress(&cinfo);

    if (!allocate_pixels(*target, cinfo.output_width, cinfo.output_height)) {
        jpeg_destroy_decompress(&cinfo);
        return 0;
    }
    const std::size_t width = cinfo.output_width;
    // Grey rows are decoded straight into the picture; CMYK ones through a
    // row of their own.
    JSAMPARRAY row = cmyk ? (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                                       cinfo.output_width * cinfo.output_components, 1)
                          : nullptr;
    const bool inverted = cinfo.saw_Adobe_marker;
    while (cinfo.output_scanline < cinfo.output_height) {
        unsigned char *out = target->image.pixels + cinfo.output_scanline * width;
        JSAMPROW into = cmyk ? row[0] : out;
        // A stdio source never suspends; a zero count would loop for ever.
        if (jpeg_read_scanlines(&cinfo, &into, 1) != 1) {
            jpeg_destroy_decompress(&cinfo);
            return 0;
        }
        if (!cmyk)
            continue;
        for (std::size_t x = 0; x < width; ++x)
            out[x] = cmyk_grey(row[0] + 4 * x, inverted);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return 1;
}

} // namespace

int read_jpeg(std::FILE *stream, ReadTarget &target) {
    CFile file(stream);
    return decode_jpeg(file.get(), &target);
}

} // namespace vantor
