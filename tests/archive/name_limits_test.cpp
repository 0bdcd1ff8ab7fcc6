#include <gtest/gtest.h>

#include "io/names.h"
#include "tests/support/test_support.h"
#include "zok/build_archive.h"

using namespace zok;

using namespace zoktest;

namespace {

// Every two-byte character of CP949: lead 0x81-0xFE, trail 0x41-0x5A, 0x61-0x7A, 0x81-0xFE.
std::vector<std::string> AllCp949Characters() {
    std::vector<std::string> out;
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x41; trail <= 0xFE; ++trail) {
            const std::string pair{char(lead), char(trail)};
            if (Cp949ToUtf8(pair)) {
                out.push_back(pair);
            }
        }
    }
    return out;
}

std::vector<std::string> DirectoryNames(const std::string& a) {
    std::vector<std::string> names;
    for (const DirectoryRecord& r : ReadDirectory(a)) {
        names.push_back(r.name);
    }
    return names;
}

TEST(Limits, EveryCp949CharacterAndLongNamesSurviveInTheDirectory) {
    const std::vector<std::string> chars = AllCp949Characters();
    // Hangul syllables alone are 11,172; with hanja and symbols well over 17,000.
    ASSERT_GT(chars.size(), 17000u);

    // Pack them into file names of at most 255 UTF-8 bytes (the Linux limit).
    std::vector<std::string> cp949Names, utf8Names;
    std::string cp, utf;
    for (const std::string& c : chars) {
        const std::string u = *Cp949ToUtf8(c);
        if (utf.size() + u.size() > 255) {
            cp949Names.push_back(cp);
            utf8Names.push_back(utf);
            cp.clear();
            utf.clear();
        }
        cp += c;
        utf += u;
    }
    cp949Names.push_back(cp);
    utf8Names.push_back(utf);
    // One plain ASCII name of exactly 255 bytes.
    utf8Names.push_back(std::string(251, 'n') + ".txt");
    cp949Names.push_back(utf8Names.back());

    TempDir dir;
    std::vector<std::string> inputs;
    for (const std::string& name : utf8Names) {
        inputs.push_back(dir.File(name));
        WriteFile(inputs.back(), "x");
    }
    const std::string out = dir.File("names.zok");
    BuildReport report;
    ASSERT_TRUE(BuildArchive(inputs, out, nullptr, &report)) << Problems(report);
    EXPECT_EQ(DirectoryNames(ReadFile(out)), cp949Names);
}

}  // namespace
