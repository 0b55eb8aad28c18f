#include "ZRFoundation/CodeSigning/ZRCryptoLibrary.h"

#include <gmock/gmock.h>

// The crypto library starts as the programs start it, before any test can start it otherwise.
int main(int argc, char** argv) {
    ZRCryptoLibrary::initialize();
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
