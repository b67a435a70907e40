// Owning array on the C heap. Allocation failure is reported, never thrown,
// so every stage can take its own failure path when memory runs out.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <span>
#include <type_traits>

namespace vantor {

template <class T>
class HeapArray {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    HeapArray() = default;
    HeapArray(const HeapArray &) = delete;
    HeapArray &operator=(const HeapArray &) = delete;
    ~HeapArray() { reset(); }

    // Replaces the contents with n uninitialised elements; false (and empty)
    // when the allocation fails or n * sizeof(T) would overflow.
    bool allocate(std::size_t n) { return take(n, false); }
    // Same, with every byte zero.
    bool allocate_zeroed(std::size_t n) { return take(n, true); }

    void reset() {
        std::free(data_);
        data_ = nullptr;
        size_ = 0;
    }

    T *get() { return data_; }
    const T *get() const { return data_; }
    std::size_t size() const { return size_; }
    explicit operator bool() const { return data_ != nullptr; }
    T &operator[](std::size_t i) { return data_[i]; }
    const T &operator[](std::size_t i) const { return data_[i]; }
    std::span<T> span() { return {data_, size_}; }
    std::span<const T> span() const { return {data_, size_}; }

private:
    bool take(std::size_t n, bool zeroed) {
        reset();
        if (n == 0 || n > SIZE_MAX / sizeof(T))
            return false;
        void *p = zeroed ? std::calloc(n, sizeof(T)) : std::malloc(n * sizeof(T));
        if (!p)
            return false;
        data_ = static_cast<T *>(p);
        size_ = n;
        return true;
    }

    T *data_ = nullptr;
    std::size_t size_ = 0;
};

} // namespace vantor
