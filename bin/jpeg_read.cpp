// JPEG reader: the JPEG library decodes straight to greyscale rows.
#include <csetjmp>
#include <cstdint>
#include <cstdio> // before jpeglib.h, which uses FILE without including it
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>

#include "c_file.h"
#include "readers.h"
#include <vantor/image.h>

namespace vantor {

// The library's standard error manager with a way back into read_jpeg.
struct JpegErrorManager {
    jpeg_error_mgr base; // first member: the library sees only this part
    std::jmp_buf recovery;
};

// Fatal library errors: report through the standard output_message (to the
// standard error stream) and jump back to read_jpeg's recovery point.
[[noreturn]] void on_jpeg_error(j_common_ptr cinfo) {
    (*cinfo->err->output_message)(cinfo);
    std::longjmp(reinterpret_cast<JpegErrorManager *>(cinfo->err)->recovery, 1);
}

namespace {

// Largest picture accepted, in pixels; the library allows up to 65500 x 65500.
constexpr std::uint64_t max_jpeg_pixels = std::uint64_t{1} << 28;

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

// Everything between setjmp and the last library call lives here, in a frame
// without destructors, so the jump back skips nothing that needs cleaning up.
// The caller owns and closes the file.
int decode_jpeg(std::FILE *file) {
    jpeg_decompress_struct cinfo;
    JpegErrorManager errors;
    cinfo.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = on_jpeg_error;
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
    cinfo.out_color_space = JCS_GRAYSCALE;
    // No scaling is requested, so the output is the full picture.
    if (std::uint64_t{cinfo.image_width} * cinfo.image_height > max_jpeg_pixels) {
        jpeg_destroy_decompress(&cinfo);
        return 0;
    }
    jpeg_start_decompress(&cinfo);

    gray_image.width = static_cast<std::int32_t>(cinfo.output_width);
    gray_image.height = static_cast<std::int32_t>(cinfo.output_height);
    const std::size_t width = cinfo.output_width;
    gray_image.pixels = static_cast<unsigned char *>(std::malloc(width * cinfo.output_height));
    if (!gray_image.pixels) {
        jpeg_destroy_decompress(&cinfo);
        return 0;
    }
    JSAMPARRAY row = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                                cinfo.output_width * cinfo.output_components, 1);
    while (cinfo.output_scanline < cinfo.output_height) {
        // A stdio source never suspends; a zero count would loop for ever.
        if (jpeg_read_scanlines(&cinfo, row, 1) != 1) {
            jpeg_destroy_decompress(&cinfo);
            return 0;
        }
        std::memcpy(gray_image.pixels + (cinfo.output_scanline - 1) * width, row[0], width);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return 1;
}

} // namespace

int read_jpeg(std::FILE *stream) {
    CFile file(stream);
    return decode_jpeg(file.get());
}

} // namespace vantor
