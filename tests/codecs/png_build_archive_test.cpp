#include <gtest/gtest.h>

#include <filesystem>

#include "codecs/png_codec.h"
#include "io/file_handle.h"
#include "tests/support/image_writers.h"
#include "tests/support/test_support.h"
#include "zok/build_archive.h"
#include "zok/zok_error.h"

using namespace zok;

using namespace zoktest;

namespace {

TEST(PictureBuild, PicturesBecomePngEntriesAndRefusedBitmapsAreNamed) {
    TempDir dir;
    const RgbaImage photo = PatternImage(13, 7, 1);
    const IndexedImage drawing = PatternIndexedImage(6, 9, 4, 2);
    const RgbaImage icon = PatternImage(5, 5, 3, true);
    const std::vector<std::string> paths = {dir.File("photo.bmp"), dir.File("DRAWING.BMP"),
                                            dir.File("broken.bmp"), dir.File("icon.Png"),
                                            dir.File("notes.txt")};
    WriteFile(paths[0], MakeBmp24(photo));
    WriteFile(paths[1], MakeBmpIndexed(drawing, 4, {.topDown = true}));
    WriteFile(paths[2], "BM but nothing a bitmap needs");
    WriteFile(paths[3], MakePng(PngImageFromRgba(icon, true), {.interlaced = true}));
    WriteFile(paths[4], TextBytes(500));

    BuildReport report;
    ASSERT_TRUE(BuildArchive(paths, dir.File("out.zok"), nullptr, &report)) << Problems(report);
    EXPECT_EQ(report.unencoded, std::vector<std::string>{paths[2]});

    const std::string archive = ReadFile(dir.File("out.zok"));
    const std::vector<DirectoryRecord> records = ReadDirectory(archive);
    ASSERT_EQ(records.size(), 5u);
    const uint8_t kinds[] = {2, 2, 2, 2, 3};
    for (size_t i = 0; i < records.size(); ++i) {
        SCOPED_TRACE(records[i].name);
        EXPECT_EQ(records[i].kind, kinds[i]);
        EXPECT_EQ(records[i].sourceSize, ReadFile(paths[i]).size());
        if (i + 1 < records.size()) {
            EXPECT_EQ(records[i].offset + records[i].storedSize, records[i + 1].offset);
        }
    }
    EXPECT_EQ(records[2].name, "broken.bmp");
    EXPECT_EQ(records[2].storedSize, 0u);

    // The picture entries are the codec's PNG streams and decode to the source pixels.
    CPngCodec png;
    auto entry = [&](size_t i) { return archive.substr(records[i].offset, records[i].storedSize); };
    EXPECT_EQ(DecodeEntry(png, entry(0), true).pixels, BottomUpBgr(photo));
    EXPECT_EQ(DecodeEntry(png, entry(1), true).pixels, BottomUpBgr(drawing.ToRgba()));
    const Bitmap iconBitmap = DecodeEntry(png, entry(3), true);
    EXPECT_EQ(iconBitmap.pixels, BottomUpBgr(icon, false));
    EXPECT_EQ(iconBitmap.alpha, TopDownAlpha(icon));
    EXPECT_EQ(ParsePngHeader(entry(3)).interlace, 0);
}

TEST(PictureBuild, APngThatRaisesFailsTheBuildAndLeavesNothing) {
    const std::string good = MakePng(PngImageFromRgba(PatternImage(30, 30, 4), false));
    const std::pair<std::string, std::string> cases[] = {
        {"Not a PNG", "this is plain text"},
        {"error", good.substr(0, good.find("IDAT") + 30)},
    };
    for (const auto& [message, bytes] : cases) {
        SCOPED_TRACE(message);
        TempDir dir;
        WriteFile(dir.File("good.png"), good);
        WriteFile(dir.File("bad.png"), bytes);
        WriteFile(dir.File("out.zok"), "previous archive");
        try {
            BuildArchive({dir.File("good.png"), dir.File("bad.png")}, dir.File("out.zok"), nullptr);
            ADD_FAILURE() << "the build did not raise";
        } catch (const ZokError& e) {
            EXPECT_STREQ(e.what(), message.c_str());
        }
        EXPECT_EQ(ReadFile(dir.File("out.zok")), "previous archive");
        EXPECT_EQ(CountIn(dir.Path()), 3u);
    }
}

}  // namespace
