// A rectangular module matrix, one byte a module (nonzero dark), row-major.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vantor::rmqr {

struct Matrix {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> modules;

    bool valid() const {
        return width > 0 && height > 0 &&
               modules.size() == static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    }
    bool dark(int col, int row) const {
        return modules[static_cast<std::size_t>(row) * static_cast<std::size_t>(width) + static_cast<std::size_t>(col)] != 0;
    }
    // The matrix with rows and columns swapped (a mirrored symbol's reading).
    Matrix transposed() const {
        Matrix t{height, width, std::vector<std::uint8_t>(modules.size())};
        for (int r = 0; r < height; ++r)
            for (int c = 0; c < width; ++c)
                t.modules[static_cast<std::size_t>(c) * static_cast<std::size_t>(height) + static_cast<std::size_t>(r)] =
                    dark(c, r);
        return t;
    }
};

} // namespace vantor::rmqr
