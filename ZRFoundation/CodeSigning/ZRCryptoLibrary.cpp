#include "ZRFoundation/CodeSigning/ZRCryptoLibrary.h"

#include <openssl/crypto.h>
#include <openssl/err.h>

void ZRCryptoLibrary::initialize() {
    OPENSSL_init_crypto(OPENSSL_INIT_LOAD_CONFIG | OPENSSL_INIT_LOAD_CRYPTO_STRINGS | OPENSSL_INIT_NO_ATEXIT,
                        nullptr);
    // The error queue is per thread: this makes the calling thread's now and drops it again, so
    // that the library's thread-local key exists before any other thread needs it.
    ERR_clear_error();
}
