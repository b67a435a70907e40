// Growable array of fixed-size records: appended one at a time, read by
// index through `items`. Grows to 128 records, then doubles.
#pragma once

#include <climits>
#include <cstdlib>
#include <cstring>
#include <type_traits>

namespace vantor {

template <class T>
struct MemChunk {
    static_assert(std::is_trivially_copyable_v<T>);

    T *items = nullptr;
    int count = 0;
    int capacity = 0;

    MemChunk() = default;
    MemChunk(const MemChunk &) = delete;
    MemChunk &operator=(const MemChunk &) = delete;
    ~MemChunk() { std::free(items); }
};

// Frees the records: the list is empty, as a new one.
template <class T>
void memchunk_free(MemChunk<T> &list) {
    std::free(list.items);
    list.items = nullptr;
    list.count = 0;
    list.capacity = 0;
}

// The list made ready for a new run: emptied of any records it held.
template <class T>
void memchunk_init(MemChunk<T> &list) {
    memchunk_free(list);
}

template <class T>
void memchunk_clear(MemChunk<T> &list) {
    list.count = 0;
}

// Nonzero on success; 0 when the storage cannot grow, the list unchanged.
template <class T>
int memchunk_append(MemChunk<T> &list, const T &record) {
    if (list.count >= list.capacity) {
        constexpr int first_block = 128;
        if (list.capacity > INT_MAX / 2)
            return 0;
        int grown = list.capacity == 0 ? first_block : list.capacity * 2;
        void *p = std::realloc(list.items, static_cast<std::size_t>(grown) * sizeof(T));
        if (!p)
            return 0;
        list.items = static_cast<T *>(p);
        list.capacity = grown;
    }
    std::memcpy(&list.items[list.count], &record, sizeof(T));
    ++list.count;
    return -1;
}

} // namespace vantor
