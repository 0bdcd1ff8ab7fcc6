// Packs notes.txt and logo.bmp into assets.zok, then reads both back as a game would.
#include <cstdio>
#include <vector>

#include "zok/build_archive.h"
#include "zok/zok_file.h"

int main() {
    BuildReport report;
    if (!BuildArchive({"notes.txt", "logo.bmp"}, "assets.zok", nullptr, &report)) {
        std::fprintf(stderr, "%s\n", report.error.c_str());  // names the file and the reason
        return 1;
    }
    CZokFile archive("assets.zok");  // throws ZokError for a missing or damaged archive
    std::vector<uint8_t> notes(archive.GetEntrySize("notes.txt"));
    BITMAPINFOHEADER header;
    PixelBuffer alpha;  // the alpha plane, one byte a pixel, top row first (null: opaque)
    PixelBuffer pixels = archive.DecodeEntryBitmap("LOGO.BMP", &header, &alpha);
    if (!archive.ExtractEntry("Notes.txt", notes.data()) || !pixels) {  // names ignore case
        return 1;
    }
    // pixels: 24-bit blue-green-red rows (padded to 4 bytes without alpha), bottom row first
    std::fwrite(notes.data(), 1, notes.size(), stdout);
    std::printf("logo.bmp: %d x %d\n", int(header.biWidth), int(header.biHeight));
    return 0;
}
