// ZBar through its C interface: one scanner with every symbology off but
// QR Code; the image wraps the pixels without copying them.
#include "other_readers.h"

#include <zbar.h>

namespace vantor_bench {

namespace {

class ZbarReader : public OtherReader {
public:
    ZbarReader() : scanner_(zbar::zbar_image_scanner_create()) {
        zbar::zbar_image_scanner_set_config(scanner_, zbar::ZBAR_NONE, zbar::ZBAR_CFG_ENABLE, 0);
        zbar::zbar_image_scanner_set_config(scanner_, zbar::ZBAR_QRCODE, zbar::ZBAR_CFG_ENABLE, 1);
    }
    ~ZbarReader() override { zbar::zbar_image_scanner_destroy(scanner_); }
    ZbarReader(const ZbarReader &) = delete;
    ZbarReader &operator=(const ZbarReader &) = delete;

    const char *name() const override { return "ZBar"; }
    std::optional<std::string> read(const GreyView &image) override {
        zbar::zbar_image_t *img = zbar::zbar_image_create();
        zbar::zbar_image_set_format(img, zbar_fourcc('Y', '8', '0', '0'));
        zbar::zbar_image_set_size(img, static_cast<unsigned>(image.width), static_cast<unsigned>(image.height));
        zbar::zbar_image_set_data(img, image.pixels,
                                  static_cast<unsigned long>(image.width) * static_cast<unsigned long>(image.height),
                                  nullptr);
        std::optional<std::string> text;
        if (zbar::zbar_scan_image(scanner_, img) > 0) {
            for (const zbar::zbar_symbol_t *s = zbar::zbar_image_first_symbol(img); s; s = zbar::zbar_symbol_next(s)) {
                if (zbar::zbar_symbol_get_type(s) == zbar::ZBAR_QRCODE) {
                    text = std::string(zbar::zbar_symbol_get_data(s), zbar::zbar_symbol_get_data_length(s));
                    break;
                }
            }
        }
        zbar::zbar_image_destroy(img);
        return text;
    }

private:
    zbar::zbar_image_scanner_t *scanner_;
};

} // namespace

OtherReader *zbar_reader() {
    static ZbarReader reader;
    return &reader;
}

} // namespace vantor_bench
