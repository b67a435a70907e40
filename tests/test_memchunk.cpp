#include <gtest/gtest.h>

#include "1_base/memchunk.h"
#include "3_model2/classic/state.h"

using namespace vantor;

TEST(MemChunk, GrowsBy128ThenDoublesAndKeepsRecords) {
    MemChunk<RunHit> list;
    memchunk_init(list);
    EXPECT_EQ(list.items, nullptr);
    EXPECT_EQ(list.capacity, 0);
    for (int i = 0; i < 129; ++i) {
        ASSERT_NE(memchunk_append(list, RunHit{i, 2 * i, 3 * i, -1}), 0);
        if (i == 0) {
            EXPECT_EQ(list.capacity, 128);
        }
    }
    EXPECT_EQ(list.capacity, 256);
    EXPECT_EQ(list.count, 129);
    for (int i = 0; i < 129; ++i) {
        EXPECT_EQ(list.items[i].line, i);
        EXPECT_EQ(list.items[i].length, 3 * i);
    }
    for (int i = 129; i < 257; ++i)
        memchunk_append(list, RunHit{i, 0, 0, -1});
    EXPECT_EQ(list.capacity, 512);
    memchunk_free(list);
}

TEST(MemChunk, ClearKeepsStorageAndFreeAllowsReuse) {
    MemChunk<EyePattern> list;
    memchunk_init(list);
    memchunk_free(list); // never filled: harmless
    EXPECT_EQ(list.items, nullptr);
    memchunk_append(list, EyePattern{});
    EyePattern *storage = list.items;
    memchunk_clear(list);
    EXPECT_EQ(list.count, 0);
    for (int i = 0; i < 128; ++i)
        memchunk_append(list, EyePattern{});
    EXPECT_EQ(list.items, storage);
    EXPECT_EQ(list.capacity, 128);
    memchunk_free(list);
    EXPECT_EQ(list.capacity, 0);
    EXPECT_NE(memchunk_append(list, EyePattern{}), 0);
    EXPECT_EQ(list.count, 1);
}
