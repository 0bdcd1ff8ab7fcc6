// Packs notes.txt and logo.bmp into assets.zok, then reads both back as a game would.
#include <cstdio>
#include <vector>

#include "zok/build_archive.h"
#include "zok/zok_file.h"

int main() {
    zok::BuildReport report;
    if (!zok::BuildArchive({"notes.txt", "logo.bmp"}, "assets.zok", nullptr, &report)) {
        for (const zok::Error& problem : report.problems) {  // each names its file and its code
            std::fprintf(stderr, "%s: %s\n", problem.path.c_str(),
                         zok::ErrorCodeName(problem.code));
        }
        return 1;
    }
    zok::CZokFile archive("assets.zok");  // throws zok::ZokError for a missing or damaged file
    std::vector<uint8_t> notes(archive.GetEntrySize("notes.txt"));
    zok::Picture logo;  // rows top first, red-green-blue(-alpha), no padding
    if (!archive.ExtractEntry("Notes.txt", notes.data(), notes.size()) ||  // names ignore case
        archive.DecodePicture("LOGO.BMP", &logo)) {  // an Error, empty when it worked
        return 1;
    }
    std::fwrite(notes.data(), 1, notes.size(), stdout);
    std::printf("logo.bmp: %u x %u\n", logo.width, logo.height);
    return 0;
}
