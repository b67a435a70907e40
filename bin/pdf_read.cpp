// PDF reader through Poppler: one page rendered in grey at the target's
// resolution (VANTOR_PDF_DPI unless the caller asks for another), with
// antialiasing so that symbols drawn as rectangles keep clean edges. A page
// that would render past VANTOR_MAX_PIXELS is refused before rendering.
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>

#include <poppler-document.h>
#include <poppler-global.h>
#include <poppler-image.h>
#include <poppler-page-renderer.h>
#include <poppler-page.h>

#include "readers.h"

namespace vantor {

namespace {

// Poppler reports its complaints through one process-wide function; each
// goes to the warnings of the read running on the same thread.
thread_local ReadTarget *reading_now = nullptr;

void poppler_message(const std::string &text, void *) {
    if (!reading_now)
        return;
    std::string line = text;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    add_warning(*reading_now, "PDF: %s", line.c_str());
}

struct ReadingNow {
    explicit ReadingNow(ReadTarget &target) {
        static std::once_flag installed;
        std::call_once(installed, [] { poppler::set_debug_error_function(poppler_message, nullptr); });
        reading_now = &target;
    }
    ~ReadingNow() { reading_now = nullptr; }
    ReadingNow(const ReadingNow &) = delete;
    ReadingNow &operator=(const ReadingNow &) = delete;
};

} // namespace

int read_pdf(std::FILE *file, ReadTarget &target) {
    std::fclose(file); // Poppler opens the file by its name
    ReadingNow messages(target);
    std::unique_ptr<poppler::document> document(poppler::document::load_from_file(target.path));
    if (!document) {
        set_message(target, "file %s: damaged or truncated PDF document.\n", target.path);
        return 0;
    }
    if (document->is_locked()) {
        set_message(target, "file %s: the PDF document is encrypted with a password.\n", target.path);
        return 0;
    }
    const int pages = document->pages();
    if (pages < 1) {
        set_message(target, "file %s: the PDF document has no pages.\n", target.path);
        return 0;
    }
    target.page_count = pages;
    if (target.page >= pages) {
        target.failure = VANTOR_READ_INVALID_ARGUMENT;
        set_message(target, "file %s has no page %d: it holds %d.\n", target.path, target.page + 1, pages);
        return 0;
    }
    std::unique_ptr<poppler::page> page(document->create_page(target.page));
    if (!page) {
        set_message(target, "file %s: page %d of the PDF document cannot be read.\n", target.path,
                    target.page + 1);
        return 0;
    }
    const int dpi = target.dpi > 0 ? target.dpi : VANTOR_PDF_DPI;
    const poppler::rectf box = page->page_rect();
    const double width = std::ceil(std::fabs(box.width()) * dpi / 72.0);
    const double height = std::ceil(std::fabs(box.height()) * dpi / 72.0);
    if (!(width >= 1 && height >= 1)) {
        set_message(target, "file %s: page %d of the PDF document is empty.\n", target.path, target.page + 1);
        return 0;
    }
    if (width * height > static_cast<double>(max_image_pixels)) {
        set_message(target,
                    "file %s: page %d at %d dpi would be %.0f x %.0f pixels, more than Vantor reads (2^28 "
                    "pixels); a lower --dpi reads it.\n",
                    target.path, target.page + 1, dpi, width, height);
        return 0;
    }
    poppler::page_renderer renderer;
    renderer.set_image_format(poppler::image::format_gray8);
    renderer.set_render_hint(poppler::page_renderer::antialiasing);
    renderer.set_render_hint(poppler::page_renderer::text_antialiasing);
    renderer.set_paper_color(0xffffffff);
    const poppler::image picture = renderer.render_page(page.get(), dpi, dpi);
    if (!picture.is_valid() || picture.format() != poppler::image::format_gray8) {
        set_message(target, "file %s: page %d of the PDF document could not be rendered.\n", target.path,
                    target.page + 1);
        return 0;
    }
    if (!allocate_pixels(target, picture.width(), picture.height()))
        return 0;
    const std::size_t row = static_cast<std::size_t>(picture.width());
    for (int y = 0; y < picture.height(); ++y)
        std::memcpy(target.image.pixels + static_cast<std::size_t>(y) * row,
                    picture.const_data() + static_cast<std::size_t>(y) * picture.bytes_per_row(), row);
    target.image.depth = 8;
    return 1;
}

} // namespace vantor
