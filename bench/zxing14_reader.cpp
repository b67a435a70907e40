// Debian's zxing-cpp 1.4 through its module (zxing14_module.cpp), opened at
// the path the build gives.
#include "other_readers.h"

#include <dlfcn.h>

#include <cstdio>

namespace vantor_bench {

namespace {

using ReadFn = long (*)(const std::uint8_t *, int, int, char *, std::size_t);

class Zxing14Reader : public OtherReader {
public:
    explicit Zxing14Reader(ReadFn read) : read_(read) {}
    const char *name() const override { return "zxing-cpp 1.4"; }
    std::optional<std::string> read(const GreyView &image) override {
        std::string bytes(8192, '\0');
        const long n = read_(image.pixels, image.width, image.height, bytes.data(), bytes.size());
        if (n < 0)
            return std::nullopt;
        bytes.resize(static_cast<std::size_t>(n) < bytes.size() ? static_cast<std::size_t>(n) : bytes.size());
        return bytes;
    }

private:
    ReadFn read_;
};

} // namespace

OtherReader *zxing14_reader() {
    static OtherReader *reader = []() -> OtherReader * {
        void *module = dlopen(VANTOR_BENCH_ZXING14_MODULE, RTLD_NOW | RTLD_LOCAL);
        void *fn = module ? dlsym(module, "vantor_bench_zxing14_read") : nullptr;
        if (!fn) {
            std::fprintf(stderr, "vantor_bench: zxing-cpp 1.4 left out: %s\n", dlerror());
            return nullptr;
        }
        static Zxing14Reader r(reinterpret_cast<ReadFn>(fn));
        return &r;
    }();
    return reader;
}

} // namespace vantor_bench
