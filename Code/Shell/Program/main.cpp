// lumora-viewer: the desktop program. Lists the applications it finds, loads each one's Lumora
// document after verifying the code signature that seals it, and shows the selected one's page.

#include "Code/Shell/ViewerLaunch.h"

int main(int argc, char** argv) {
    return ViewerLaunch::run(argc, argv);
}
