#include "ui/zok_compressor_app.h"

int main(int argc, char** argv) {
    CZokCompressorApp theApp(argc, argv);
    theApp.InitInstance();
    return 0;
}
