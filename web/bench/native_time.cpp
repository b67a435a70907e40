// Times the native library on grey PGM pictures, for the web benchmark to
// set beside the WebAssembly module's times on the same pixels. Prints one
// line per file: the file, then the median of `repeats` decodes in ms.
// Usage: native_time REPEATS FILE.pgm...
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <vantor/vantor.h>

int main(int argc, char **argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: native_time REPEATS FILE.pgm...\n");
        return 64;
    }
    const int repeats = std::max(1, std::atoi(argv[1]));
    for (int i = 2; i < argc; ++i) {
        vantor_read_error error;
        vantor_image *image = vantor_image_read(argv[i], &error);
        if (!image) {
            std::fprintf(stderr, "native_time: %s: %s\n", argv[i], vantor_read_status_text(error.status));
            return 2;
        }
        std::vector<double> ms;
        for (int k = 0; k <= repeats; ++k) {
            const auto start = std::chrono::steady_clock::now();
            vantor_results_free(vantor_decode(image, nullptr));
            const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
            if (k > 0) // the first decode warms the caches
                ms.push_back(took.count());
        }
        std::sort(ms.begin(), ms.end());
        std::printf("%s %.4f\n", argv[i], ms[ms.size() / 2]);
        vantor_image_free(image);
    }
    return 0;
}
