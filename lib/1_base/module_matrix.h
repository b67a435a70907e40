// A sampled module matrix: what every kind's sampling gives and its format,
// placement and codeword stages read.
#pragma once

#include <cstdint>
#include <vector>

namespace vantor {

// Row-major, 1 dark, 0 light. Square for Model 2, Model 1 and Micro QR (the
// width is the size), a rectangle for rMQR.
struct ModuleMatrix {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> modules;

    bool valid() const {
        return width > 0 && height > 0 &&
               modules.size() == static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    }
    bool square() const { return valid() && width == height; }
    bool dark(int col, int row) const {
        return modules[static_cast<std::size_t>(row) * static_cast<std::size_t>(width) +
                       static_cast<std::size_t>(col)] != 0;
    }
    // The matrix mirrored about its main diagonal, rows and columns
    // swapped: a symbol seen from behind.
    ModuleMatrix transposed() const {
        ModuleMatrix t{height, width, std::vector<std::uint8_t>(modules.size())};
        for (int r = 0; r < height; ++r)
            for (int c = 0; c < width; ++c)
                t.modules[static_cast<std::size_t>(c) * static_cast<std::size_t>(height) +
                          static_cast<std::size_t>(r)] = modules[static_cast<std::size_t>(r) * width + c];
        return t;
    }
};

// What `read` gives of the matrix as it stands, or, when that gives nothing
// (an empty, false or zero result), of the matrix transposed: a symbol seen
// from behind, or printed mirrored.
template <class Read> auto as_is_or_transposed(const ModuleMatrix &matrix, Read &&read) {
    if (auto r = read(matrix))
        return r;
    return read(matrix.transposed());
}

// A matrix read as a symbol either way (as_is_or_transposed): `read` gives
// an optional symbol read with a `mirrored` flag, set here for the
// transposed one (any matrix but the one given).
template <class Read> auto read_either_way(const ModuleMatrix &matrix, Read &&read) {
    return as_is_or_transposed(matrix, [&](const ModuleMatrix &m) {
        auto r = read(m);
        if (r && &m != &matrix)
            r->mirrored = true;
        return r;
    });
}

} // namespace vantor
