// lumora: the command-line companion of the viewer, for developers and CI.

#include "Code/Tool/LumoraTool.h"

int main(int argc, char** argv) {
    return LumoraTool::run(argc, argv);
}
