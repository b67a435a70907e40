// The readers this build was configured with.
#include "other_readers.h"

namespace vantor_bench {

#if VANTOR_BENCH_ZXING
OtherReader *zxing_reader();
#endif
#if VANTOR_BENCH_ZXING14
OtherReader *zxing14_reader();
#endif
#if VANTOR_BENCH_ZBAR
OtherReader *zbar_reader();
#endif

std::vector<OtherReader *> other_readers() {
    std::vector<OtherReader *> readers;
#if VANTOR_BENCH_ZXING
    readers.push_back(zxing_reader());
#endif
#if VANTOR_BENCH_ZXING14
    if (OtherReader *r = zxing14_reader())
        readers.push_back(r);
#endif
#if VANTOR_BENCH_ZBAR
    readers.push_back(zbar_reader());
#endif
    return readers;
}

} // namespace vantor_bench
