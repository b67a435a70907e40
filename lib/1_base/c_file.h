// A C stream closed when its owner goes out of scope.
#pragma once

#include <cstdio>
#include <memory>

namespace vantor {

struct FileClose {
    void operator()(std::FILE *f) const { std::fclose(f); }
};
using CFile = std::unique_ptr<std::FILE, FileClose>;

} // namespace vantor
