// Debian's zxing-cpp 1.4 behind one C function, built as a module of its
// own: the benchmark links zxing-cpp 3.1 statically, and the two versions
// share C++ names, so 1.4 is loaded with dlopen where its names stay apart.
#include <cstddef>
#include <cstdint>
#include <cstring>

#define ZX_USE_UTF8 1
#include <ZXing/ReadBarcode.h>

// Reads the first QR Code symbol of the grey picture with the default hints.
// Returns its byte count, with at most `capacity` bytes copied to `out`, or
// -1 when there is none.
extern "C" long vantor_bench_zxing14_read(const std::uint8_t *pixels, int width, int height, char *out,
                                          std::size_t capacity) {
    const ZXing::ImageView view(pixels, width, height, ZXing::ImageFormat::Lum);
    ZXing::DecodeHints hints;
    hints.setFormats(ZXing::BarcodeFormat::QRCode);
    const ZXing::Result result = ZXing::ReadBarcode(view, hints);
    if (!result.isValid())
        return -1;
    const auto &bytes = result.bytes();
    std::memcpy(out, bytes.data(), bytes.size() < capacity ? bytes.size() : capacity);
    return static_cast<long>(bytes.size());
}
