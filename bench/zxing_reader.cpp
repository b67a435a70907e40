// zxing-cpp 3.1 with its default options (try harder, rotations, inversion,
// downscaling) for QR Code, which in 3.x takes in every kind of the family.
#include "other_readers.h"

#include <ZXing/ReadBarcode.h>

namespace vantor_bench {

namespace {

class ZxingReader : public OtherReader {
public:
    const char *name() const override { return "zxing-cpp 3.1"; }
    std::optional<std::string> read(const GreyView &image) override {
        const ZXing::ImageView view(image.pixels, image.width, image.height, ZXing::ImageFormat::Lum);
        ZXing::ReaderOptions options;
        options.setFormats(ZXing::BarcodeFormat::QRCode);
        const ZXing::Barcode result = ZXing::ReadBarcode(view, options);
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
