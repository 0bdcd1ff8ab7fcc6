#include <cstdio>
#include <cstring>

#include "ui/zok_compressor_app.h"
#include "zok/cleanup.h"
#include "zok_version.h"

int main(int argc, char** argv) {
    // Answered before the application object exists, so that it needs no display.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("zok-compressor (%s) %s\n", kZokProductName, kZokVersion);
        return 0;
    }
    // Ended by SIGINT, SIGTERM or SIGHUP, the program leaves no temporary file behind.
    zok::RemoveTemporaryFilesOnSignals();
    CZokCompressorApp theApp(argc, argv);
    theApp.InitInstance();
    return 0;
}
