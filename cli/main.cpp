#include "cli/commands.h"

int main(int argc, char** argv) {
    return RunZok(argc, argv);
}
