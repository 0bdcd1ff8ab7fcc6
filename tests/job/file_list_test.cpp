#include "job/file_list.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

using namespace zok;

namespace {

std::vector<std::string> Contents(const CFileList& list) {
    std::vector<std::string> paths;
    for (int32_t i = 0; i < list.GetCount(); ++i) {
        paths.push_back(list.GetAt(i));
    }
    return paths;
}

CFileList& Fill(CFileList& list, const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        list.Add(path);
    }
    return list;
}

void ExpectIndexOutOfBounds(const CFileList& list, int32_t index) {
    try {
        (void)list.GetAt(index);
        ADD_FAILURE() << "GetAt(" << index << ") did not throw";
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "IndexOutOfBounds");
    }
}

using Paths = std::vector<std::string>;

TEST(FileList, GetAtReadsInOrderAndRejectsEveryIndexOutsideTheList) {
    CFileList list;
    EXPECT_EQ(list.GetCount(), 0);
    ExpectIndexOutOfBounds(list, 0);

    Fill(list, {"a", "b", "c"});
    EXPECT_EQ(list.GetCount(), 3);
    EXPECT_EQ(Contents(list), (Paths{"a", "b", "c"}));
    ExpectIndexOutOfBounds(list, 3);
    ExpectIndexOutOfBounds(list, -1);
    ExpectIndexOutOfBounds(list, INT32_MIN);

    // A copy: changing it leaves the list alone.
    std::string copy = list.GetAt(1);
    copy[0] = 'z';
    EXPECT_EQ(list.GetAt(1), "b");
}

TEST(FileList, RemoveAtTakesOneElementAndRefusesIndicesOutsideTheList) {
    CFileList list;
    EXPECT_FALSE(list.RemoveAt(0));

    Fill(list, {"a", "b", "c"});
    EXPECT_TRUE(list.RemoveAt(1));
    EXPECT_EQ(Contents(list), (Paths{"a", "c"}));
    EXPECT_FALSE(list.RemoveAt(2));
    EXPECT_FALSE(list.RemoveAt(-1));
    EXPECT_EQ(Contents(list), (Paths{"a", "c"}));

    // Selected rows are removed from the highest index down; lower indices stay valid.
    CFileList rows;
    Fill(rows, {"r0", "r1", "r2", "r3", "r4", "r5"});
    for (int32_t index : {5, 3, 2, 0}) {
        EXPECT_TRUE(rows.RemoveAt(index)) << index;
    }
    EXPECT_EQ(Contents(rows), (Paths{"r1", "r4"}));
    EXPECT_TRUE(rows.RemoveAt(1));
    EXPECT_TRUE(rows.RemoveAt(0));
    EXPECT_EQ(rows.GetCount(), 0);
    // The emptied list works as a new one.
    rows.Add("again");
    EXPECT_EQ(Contents(rows), (Paths{"again"}));
}

TEST(FileList, RemoveMatchesExactBytesAndTakesOnlyTheFirstMatch) {
    CFileList empty;
    EXPECT_FALSE(empty.Remove(""));

    CFileList single;
    single.Add("a");
    EXPECT_FALSE(single.Remove("A"));
    EXPECT_EQ(Contents(single), (Paths{"a"}));

    // Duplicates are kept; Remove takes the first.
    CFileList twice;
    Fill(twice, {"a", "b", "a"});
    EXPECT_TRUE(twice.Remove("a"));
    EXPECT_EQ(Contents(twice), (Paths{"b", "a"}));
    EXPECT_TRUE(twice.Remove("a"));
    EXPECT_FALSE(twice.Remove("a"));
    EXPECT_EQ(Contents(twice), (Paths{"b"}));

    // Multi-byte names compare as whole byte strings: a prefix or a longer name is no match.
    CFileList korean;
    Fill(korean, {"/자료/사진.png", "/자료/사진.png2"});
    EXPECT_FALSE(korean.Remove("/자료/사"));
    EXPECT_TRUE(korean.Remove("/자료/사진.png2"));
    EXPECT_EQ(Contents(korean), (Paths{"/자료/사진.png"}));
}

TEST(FileList, InsertAtClampsToFrontAndBack) {
    struct Case {
        int32_t index;
        Paths expected;
    };
    for (const Case& c :
         {Case{0, {"x", "a", "b"}}, Case{1, {"a", "x", "b"}}, Case{2, {"a", "b", "x"}},
          Case{-5, {"x", "a", "b"}}, Case{1000, {"a", "b", "x"}}}) {
        CFileList list;
        Fill(list, {"a", "b"});
        EXPECT_TRUE(list.InsertAt("x", c.index));
        EXPECT_EQ(list.GetCount(), 3) << c.index;
        EXPECT_EQ(Contents(list), c.expected) << c.index;
        // The links stay whole: appending after an insert lands at the end.
        list.Add("end");
        EXPECT_EQ(list.GetAt(3), "end") << c.index;
    }
}

TEST(FileList, DestroysLongListsWithoutRecursion) {
    // Nested destructors freeing node by node overflow the stack here (unoptimised builds).
    CFileList list;
    constexpr int32_t kCount = 500000;
    for (int32_t i = 0; i < kCount; ++i) {
        list.InsertAt("p" + std::to_string(i), 0);
    }
    EXPECT_EQ(list.GetCount(), kCount);
    EXPECT_EQ(list.GetAt(0), "p" + std::to_string(kCount - 1));
    EXPECT_EQ(list.GetAt(kCount - 1), "p0");
}

}  // namespace
