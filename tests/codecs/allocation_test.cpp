// What a picture's header claims must not decide what the encoder allocates: the largest
// single allocation is counted by this test program's own operator new.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "tests/support/image_writers.h"
#include "tests/support/test_support.h"
#include "zok/build_archive.h"

using namespace zok;

namespace {

std::atomic<size_t> g_largest{0};

void* Allocate(size_t size) {
    size_t seen = g_largest.load();
    while (size > seen && !g_largest.compare_exchange_weak(seen, size)) {
    }
    return std::malloc(size == 0 ? 1 : size);
}

}  // namespace

// These replace the program's allocation functions; memory comes from malloc and goes back
// to free, which the compiler cannot tell are paired.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(size_t size) {
    if (void* p = Allocate(size)) {
        return p;
    }
    throw std::bad_alloc();
}
void* operator new[](size_t size) {
    return operator new(size);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, size_t) noexcept {
    std::free(p);
}

namespace {

using namespace zoktest;

TEST(Allocation, ABitmapHeaderClaimingAHugePictureAllocatesNothingForIt) {
    TempDir dir;
    // 20000 x 20000 at 24 bits claims 1.2 GB of rows; the file holds 100 bytes of them.
    const std::string claim =
        AssembleBmp(20000, 20000, 24, BmpLayout{}, "", std::string(100, '\x42'));
    WriteFile(dir.File("huge.bmp"), claim);
    BuildReport report;
    g_largest = 0;
    ASSERT_TRUE(BuildArchive({dir.File("huge.bmp")}, dir.File("a.zok"), nullptr, &report));
    EXPECT_EQ(report.unencoded.size(), 1u);
    EXPECT_LT(g_largest.load(), size_t(32) << 20);
}

}  // namespace
