// Sampling grid: the eye and alignment pattern centres as known module
// positions, and every module placed by stepping from the nearest of them
// with the step vectors of the cell between four of them.
#include "grid.h"

#include <algorithm>
#include <cmath>

#include "alignment.h"
#include "bitmap.h"
#include "state.h"
#include "1_base/symbol_tables.h"

namespace vantor {
namespace {

constexpr int eye_extent = 7;      // modules covered by an eye pattern

// Number of alignment coordinates of the version (0 for version 1).
int coordinate_count(std::span<const int, 7> coords) {
    int k = 0;
    while (k < 7 && coords[k] > 0)
        ++k;
    return k;
}
bool append_point(MemChunk<GridPoint> &points, float x, float y, int col, int row) {
    GridPoint p{};
    p.x = x;
    p.y = y;
    p.col = col;
    p.row = row;
    p.units_state = -1.0f;
    return memchunk_append(points, p) != 0;
}

// The first grid point at (col, row), or null.
GridPoint *find_point(const MemChunk<GridPoint> &points, int col, int row) {
    for (int i = 0; i < points.count; ++i) {
        GridPoint &p = points.items[i];
        if (p.col == col && p.row == row)
            return &p;
    }
    return nullptr;
}

// Index of the cell, along one axis, that holds module position m: the last
// coordinate c(j) <= m among c(1)..c(k-1), held to the last cell.
int cell_index(std::span<const int, 7> coords, int k, int m) {
    int j = 0;
    for (int i = 1; i < k && coords[i] <= m; ++i)
        ++j;
    if (j == k - 1)
        j = k - 2;
    return j;
}

// The cell's step vectors from the edges that join two corners on the same
// module column (y) or row (x).
StepUnits cell_units(const GridPoint &p00, const GridPoint &p10, const GridPoint &p01, const GridPoint &p11) {
    double yx = 0, yy = 0, yn = 0;
    if (p00.col == p01.col) {
        yx += static_cast<double>(p01.x) - p00.x;
        yy += static_cast<double>(p01.y) - p00.y;
        yn += p01.row - p00.row;
    }
    if (p10.col == p11.col) {
        yx += static_cast<double>(p11.x) - p10.x;
        yy += static_cast<double>(p11.y) - p10.y;
        yn += p11.row - p10.row;
    }
    double xx = 0, xy = 0, xn = 0;
    if (p00.row == p10.row) {
        xx += static_cast<double>(p10.x) - p00.x;
        xy += static_cast<double>(p10.y) - p00.y;
        xn += p10.col - p00.col;
    }
    if (p01.row == p11.row) {
        xx += static_cast<double>(p11.x) - p01.x;
        xy += static_cast<double>(p11.y) - p01.y;
        xn += p11.col - p01.col;
    }
    return {{static_cast<float>(xx / xn), static_cast<float>(xy / xn)},
            {static_cast<float>(yx / yn), static_cast<float>(yy / yn)}};
}

// Sets the cell's step vectors in its upper-left corner.
void compute_cell_units(GridPoint &p00, const GridPoint &p10, const GridPoint &p01, const GridPoint &p11) {
    p00.local_units = cell_units(p00, p10, p01, p11);
    p00.units_state = 0.0f;
}

// floor(v) without a library call, for |v| < 2^31; false beyond that (or for
// NaN), which is outside every image anyway.
bool floor_in_range(double v, long long &out) {
    if (!(v > -2147483648.0 && v < 2147483648.0))
        return false;
    long long t = static_cast<long long>(v); // toward zero
    if (static_cast<double>(t) > v)
        --t;
    out = t;
    return true;
}

// Reads and marks the work bitmap pixel under the image position (x, y);
// -1 when the position lies outside the image.
int read_pixel(PassBuffers &s, double x, double y) {
    long long fx = 0, fy = 0;
    if (!floor_in_range(x, fx) || !floor_in_range(y, fy))
        return -1;
    if (!(fx >= 0 && fx < s.image_width && fy >= 0 && fy < s.image_height))
        return -1;
    const std::size_t index = static_cast<std::size_t>(fy) * s.image_width + static_cast<std::size_t>(fx);
    if (index >= s.work_bitmap.size())
        return -1;
    const std::uint8_t v = s.work_bitmap[index];
    s.work_bitmap[index] = v ^ sampled_mark;
    return v;
}

// The corner points P00, P10, P01, P11 of the cell between alignment
// coordinates rj, rj + 1 (rows) and cj, cj + 1 (columns), with the eye
// patterns standing in at the symbol's corners; false when one is missing.
bool cell_corners(const ReadingResult &r, std::span<const int, 7> coords, int rj, int cj, GridPoint *(&corners)[4]) {
    const int n = r.matrix_width;
    const int row_lo = coords[rj], row_hi = coords[rj + 1];
    const int col_lo = coords[cj], col_hi = coords[cj + 1];
    const MemChunk<GridPoint> &points = r.grid_points;
    GridPoint *const corner = &points.items[0];
    GridPoint *const along = &points.items[1];
    GridPoint *const down = &points.items[2];
    corners[0] = col_lo < eye_extent && row_lo < eye_extent ? corner : find_point(points, col_lo, row_lo);
    corners[1] = col_hi >= n - eye_extent && row_lo < eye_extent ? along : find_point(points, col_hi, row_lo);
    corners[2] = col_lo < eye_extent && row_hi >= n - eye_extent ? down : find_point(points, col_lo, row_hi);
    corners[3] = find_point(points, col_hi, row_hi);
    return corners[0] && corners[1] && corners[2] && corners[3];
}

// Places module (col, row) from the nearest corner of its cell with the
// cell's step vectors and reads it.
int cell_module_value(PassBuffers &s, GridPoint *const (&corners)[4], int col, int row) {
    GridPoint *const p00 = corners[0];
    if (p00->units_state < 0)
        compute_cell_units(*p00, *corners[1], *corners[2], *corners[3]);

    // Nearest corner; on equal distance the earlier one in this order.
    const GridPoint *nearest = nullptr;
    long best = 0;
    for (const GridPoint *p : corners) {
        const long dr = row - p->row, dc = col - p->col;
        const long d2 = dr * dr + dc * dc;
        if (!nearest || d2 < best) {
            nearest = p;
            best = d2;
        }
    }
    const Vec2f lx = p00->local_units.x, ly = p00->local_units.y;
    const double dc = col - nearest->col, dr = row - nearest->row;
    return read_pixel(s, nearest->x + dc * lx.x + dr * ly.x, nearest->y + dc * lx.y + dr * ly.y);
}

} // namespace

bool grid_build(PassBuffers &s, const PickedEyes &eyes, ReadingResult &r, const TraceSink &sink) {
    if (r.version < 1 || r.version > 40)
        return false;
    const int n = 4 * r.version + 17;
    r.matrix_width = n;
    r.matrix_height = n;
    memchunk_init(r.grid_points);

    const EyePattern &corner = eyes.corner, &along = eyes.along, &down = eyes.down;
    if (!append_point(r.grid_points, corner.x, corner.y, 3, 3) ||
        !append_point(r.grid_points, along.x, along.y, n - 4, 3) ||
        !append_point(r.grid_points, down.x, down.y, 3, n - 4))
        return false;

    const auto coords = alignment_coords(r.version);
    const int k = coordinate_count(coords);
    for (int ri = 0; ri < k; ++ri) {
        const int row = coords[ri];
        for (int ci = 0; ci < k; ++ci) {
            const int c = coords[ci];
            const bool on_eye = (c < eye_extent && row < eye_extent) ||
                                (c >= n - eye_extent && row < eye_extent) ||
                                (c < eye_extent && row >= n - eye_extent);
            if (on_eye)
                continue;
            AlignmentProbe probe{0.0f, 0.0f, c, row};
            if (!find_alignment(s, eyes, r.units, probe, sink))
                return false;
            trace(sink, "grid(%f, %f)\n", probe.x, probe.y);
            if (!append_point(r.grid_points, probe.x, probe.y, c, row))
                return false;
        }
    }
    return true;
}

int grid_module_value(PassBuffers &s, ReadingResult &r, int col, int row) {
    if (r.version < 1 || r.version > 40 || r.grid_points.count < 3)
        return -1;
    const auto coords = alignment_coords(r.version);
    const int k = coordinate_count(coords);

    if (k < 2) {
        // No alignment patterns: everything steps from the corner eye pattern
        // with the global step vectors.
        GridPoint &p = r.grid_points.items[0];
        p.local_units = r.units;
        p.units_state = 0.0f;
        const double dc = col - p.col, dr = row - p.row;
        return read_pixel(s, p.x + dc * p.local_units.x.x + dr * p.local_units.y.x,
                          p.y + dc * p.local_units.x.y + dr * p.local_units.y.y);
    }

    GridPoint *corners[4];
    if (!cell_corners(r, coords, cell_index(coords, k, row), cell_index(coords, k, col), corners))
        return -1;
    return cell_module_value(s, corners, col, row);
}

bool grid_sample(PassBuffers &s, ReadingResult &r) {
    r.module_matrix.reset();
    r.function_map.reset();
    const int w = r.matrix_width, h = r.matrix_height;
    if (w <= 0 || h <= 0)
        return false;
    const std::size_t cells = static_cast<std::size_t>(w) * h;
    if (!r.module_matrix.allocate(cells))
        return false;
    const int n = 4 * r.version + 17;
    const bool by_cells = r.version >= 2 && r.version <= 40 && r.grid_points.count >= 3 && w == n && h == n;
    if (by_cells) {
        // As grid_module_value, module by module in the same order, with
        // each module's cell and the cell's corners looked up once.
        const auto coords = alignment_coords(r.version);
        const int k = coordinate_count(coords);
        int cell_of[4 * 40 + 17];
        for (int m = 0; m < n; ++m)
            cell_of[m] = cell_index(coords, k, m);
        struct Cell {
            int found = 0; // 0 not looked up, 1 complete, -1 a corner missing
            GridPoint *corners[4] = {};
        };
        Cell cell[6][6];
        for (int row = 0; row < h; ++row) {
            for (int col = 0; col < w; ++col) {
                Cell &c = cell[cell_of[row]][cell_of[col]];
                if (c.found == 0)
                    c.found = cell_corners(r, coords, cell_of[row], cell_of[col], c.corners) ? 1 : -1;
                const int v = c.found > 0 ? cell_module_value(s, c.corners, col, row) : -1;
                if (v < 0)
                    return false;
                r.module_matrix[static_cast<std::size_t>(row) * w + col] = static_cast<std::uint8_t>(v);
            }
        }
    } else {
        for (int row = 0; row < h; ++row) {
            for (int col = 0; col < w; ++col) {
                const int v = grid_module_value(s, r, col, row);
                if (v < 0)
                    return false;
                r.module_matrix[static_cast<std::size_t>(row) * w + col] = static_cast<std::uint8_t>(v);
            }
        }
    }
    if (!r.function_map.allocate_zeroed((cells + 7) / 8))
        return false;
    return true;
}

Vec2f grid_module_centre(const ReadingResult &r, float col, float row) {
    constexpr Vec2f none{NAN, NAN};
    if (r.version < 1 || r.version > 40 || r.grid_points.count < 3 || !(std::isfinite(col) && std::isfinite(row)))
        return none;
    const auto coords = alignment_coords(r.version);
    const int k = coordinate_count(coords);
    const GridPoint *from = nullptr;
    StepUnits units{};
    if (k < 2) {
        from = &r.grid_points.items[0];
        units = r.units;
    } else {
        const int n = 4 * r.version + 17;
        auto module = [n](float v) { return static_cast<int>(std::floor(std::clamp(v, 0.0f, n - 1.0f))); };
        GridPoint *corners[4];
        if (!cell_corners(r, coords, cell_index(coords, k, module(row)), cell_index(coords, k, module(col)), corners))
            return none;
        const GridPoint &p00 = *corners[0];
        units = p00.units_state >= 0 ? p00.local_units : cell_units(p00, *corners[1], *corners[2], *corners[3]);
        // Nearest corner as the sampler picks it.
        double best = 0;
        for (const GridPoint *p : corners) {
            const double dr = row - p->row, dc = col - p->col;
            const double d2 = dr * dr + dc * dc;
            if (!from || d2 < best) {
                from = p;
                best = d2;
            }
        }
    }
    const double dc = col - from->col, dr = row - from->row;
    return {static_cast<float>(from->x + dc * units.x.x + dr * units.y.x),
            static_cast<float>(from->y + dc * units.x.y + dr * units.y.y)};
}

void grid_free(ReadingResult &r) {
    memchunk_free(r.grid_points);
    r.module_matrix.reset();
    r.function_map.reset();
}

} // namespace vantor
