// A sampled square module matrix: what every kind's sampling gives and its
// format, placement and codeword stages read.
#pragma once

#include <cstdint>
#include <vector>

namespace vantor {

// Row-major, 1 dark, 0 light.
struct ModuleMatrix {
    int size = 0;
    std::vector<std::uint8_t> modules;

    bool dark(int col, int row) const {
        return modules[static_cast<std::size_t>(row) * static_cast<std::size_t>(size) +
                       static_cast<std::size_t>(col)] != 0;
    }
    // The matrix mirrored about its main diagonal: a symbol seen from behind.
    ModuleMatrix transposed() const {
        ModuleMatrix t{size, std::vector<std::uint8_t>(modules.size())};
        for (int r = 0; r < size; ++r)
            for (int c = 0; c < size; ++c)
                t.modules[static_cast<std::size_t>(c) * size + r] = modules[static_cast<std::size_t>(r) * size + c];
        return t;
    }
};

// A matrix read as it stands, or, when that gives nothing, transposed: a
// symbol seen from behind, or printed mirrored. `read` gives an optional
// reading with a `mirrored` flag, set here for the transposed one.
template <class Matrix, class Read> auto read_either_way(const Matrix &matrix, Read &&read) {
    if (auto r = read(matrix))
        return r;
    auto r = read(matrix.transposed());
    if (r)
        r->mirrored = true;
    return r;
}

} // namespace vantor
