// The other QR readers the benchmark times beside ours, when the build found
// them: each reads QR Code symbols only, from the same grey pixels.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vantor_bench {

struct GreyView {
    const std::uint8_t *pixels;
    int width;
    int height;
};

class OtherReader {
public:
    virtual ~OtherReader() = default;
    virtual const char *name() const = 0;
    // The bytes of the first QR Code symbol found, or nothing.
    virtual std::optional<std::string> read(const GreyView &image) = 0;
};

std::vector<OtherReader *> other_readers();

} // namespace vantor_bench
