// Packs notes.txt and logo.bmp into assets.zok, then reads both back as a game would.
#include <cstdio>
#include <vector>

#include "zok/build_archive.h"
#include "zok/zok_file.h"

int main() {
    zok::BuildReport report;
    if (!zok::BuildArchive({"notes.txt", "logo.bmp"}, "assets.zok", nullptr, &report)) {
        std::fprintf(stderr, "%s\n", report.error.c_str());  // names the file and the reason
        return 1;
    }
    zok::CZokFile archive("assets.zok");  // throws zok::ZokError for a missing or damaged file
    std::vector<uint8_t> notes(archive.GetEntrySize("notes.txt"));
    zok::BITMAPINFOHEADER header;
    zok::PixelBuffer alpha;  // the alpha plane, one byte a pixel, top row first (null: opaque)
    zok::PixelBuffer pixels = archive.DecodeEntryBitmap("LOGO.BMP", &header, &alpha);
    if (!archive.ExtractEntry("Notes.txt", notes.data()) || !pixels) {  // names ignore case
        return 1;
    }
    // pixels: 24-bit blue-green-red rows (padded to 4 bytes without alpha), bottom row first
    std::fwrite(notes.data(), 1, notes.size(), stdout);
    std::printf("logo.bmp: %d x %d\n", int(header.biWidth), int(header.biHeight));
    return 0;
}
