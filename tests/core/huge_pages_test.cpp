#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include "core/huge_pages.h"

namespace {

constexpr size_t KB = 1024;
constexpr size_t MB = 1024 * KB;

// What a room of each size sets aside: small ones as asked, large ones on
// whole 4 KB pages, with a long enough tail rounded up to a huge page.
TEST(HugePages, RoomSizes) {
    const struct {
        size_t asked, rounded;
    } rows[] = {
        {0, 1},
        {1, 1},
        {MB - 1, MB - 1},
        {MB, 2 * MB},
        {2 * MB, 2 * MB},
        {2 * MB + 1, 2 * MB + 4 * KB},
        {2 * MB + 512 * KB - 1, 2 * MB + 512 * KB},
        {2 * MB + 512 * KB, 4 * MB},
        {19660800, 20 * MB},  // a 2560x1920 picture
    };
    for (const auto& row : rows)
        EXPECT_EQ(huge_rounded(row.asked), row.rounded) << row.asked;
    EXPECT_THROW(huge_rounded(std::numeric_limits<size_t>::max() - 100), std::bad_alloc);
    EXPECT_THROW(huge_allocate(std::numeric_limits<size_t>::max()), std::bad_alloc);
}

// Every room keeps the alignment asked for, and a large one starts on a
// huge page, whose whole room can be written.
TEST(HugePages, AlignedAndWritable) {
    const struct {
        size_t bytes, alignment, start;
    } rows[] = {
        {1, 1, alignof(std::max_align_t)},
        {100, 64, 64},
        {3 * MB, 8, HugePageBytes},
        {3 * MB, 4 * MB, 4 * MB},
    };
    for (const auto& row : rows) {
        void* room = huge_allocate(row.bytes, row.alignment);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(room) % row.start, 0u) << row.bytes;
        std::memset(room, 0x5A, huge_rounded(row.bytes));
        huge_free(room, row.bytes, row.alignment);
    }
    struct alignas(64) Wide {
        float lanes[16];
    };
    std::vector<Wide, HugePageAllocator<Wide>> small(3), large(MB / sizeof(Wide) * 3);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(small.data()) % 64, 0u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(large.data()) % HugePageBytes, 0u);
    EXPECT_THROW(HugePageAllocator<Wide>().allocate(std::numeric_limits<size_t>::max() / 2),
                 std::bad_array_new_length);
}

}  // namespace
