// zxing-cpp with its default hints (try harder, rotations, downscaling),
// QR Code only.
#include "other_readers.h"

#define ZX_USE_UTF8 1
#include <ZXing/ReadBarcode.h>

namespace vantor_bench {

namespace {

class ZxingReader : public OtherReader {
public:
    const char *name() const override { return "zxing-cpp"; }
    std::optional<std::string> read(const GreyView &image) override {
        const ZXing::ImageView view(image.pixels, image.width, image.height, ZXing::ImageFormat::Lum);
        ZXing::DecodeHints hints;
        hints.setFormats(ZXing::BarcodeFormat::QRCode);
        const ZXing::Result result = ZXing::ReadBarcode(view, hints);
        if (!result.isValid())
            return std::nullopt;
        const auto &bytes = result.bytes();
        return std::string(bytes.begin(), bytes.end());
    }
};

} // namespace

OtherReader *zxing_reader() {
    static ZxingReader reader;
    return &reader;
}

} // namespace vantor_bench
