#include "job/input_list.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/support/test_support.h"

using namespace zok;

using namespace zoktest;

namespace {

TEST(InputList, KeepsFilesSizesAndCountersInStep) {
    TempDir dir;
    WriteFile(dir.File("a.txt"), std::string(100, 'a'));
    WriteFile(dir.File("b.txt"), std::string(200, 'b'));
    WriteFile(dir.File("c.txt"), std::string(300, 'c'));
    ASSERT_EQ(::mkfifo(dir.File("pipe").c_str(), 0600), 0);
    InputList list;
    std::vector<std::string> failures;
    EXPECT_EQ(list.AddMeasured({dir.File("a.txt"), dir.File("b.txt"), dir.File("A.TXT"),
                                dir.File("missing"), dir.File("pipe"), dir.File("c.txt")},
                               &failures),
              3u);
    ASSERT_EQ(failures.size(), 2u);
    EXPECT_EQ(failures[0].rfind(dir.File("missing") + ": ", 0), 0u);
    EXPECT_EQ(failures[1], dir.File("pipe") + ": 파이프입니다. 보통 파일이 아닙니다");
    EXPECT_EQ(list.FileCount(), 3);
    EXPECT_EQ(list.TotalSize(), 600u);

    // A file that grew after it was listed leaves with the size it was listed with.
    WriteFile(dir.File("b.txt"), std::string(5000, 'b'));
    list.RemoveRows({2, 1, 2});
    EXPECT_EQ(list.Paths(), std::vector<std::string>{dir.File("a.txt")});
    EXPECT_EQ(list.TotalSize(), 100u);
    EXPECT_TRUE(list.IsNewFile(dir.File("B.txt")));
    EXPECT_FALSE(list.Add(dir.File("A.txt"), 7));
    EXPECT_EQ(list.FileCount(), 1);
}

}  // namespace

namespace {

// Three files just under 2 GiB add up past 32 bits.
TEST(InputList, TheTotalSizeIsNotCutTo32Bits) {
    InputList list;
    for (const char* name : {"/a", "/b", "/c"}) {
        ASSERT_TRUE(list.Add(name, 0x7FFFFFFF));
    }
    EXPECT_EQ(list.TotalSize(), 3ull * 0x7FFFFFFF);
}

}  // namespace
