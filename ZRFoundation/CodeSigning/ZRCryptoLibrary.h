#pragma once

/// The crypto library under the signature engine, as a whole.
namespace ZRCryptoLibrary {

/// Starts the library now, on the calling thread. Call it before making a long-lived pool of
/// threads that will check signatures: the library registers its clean-up at exit when it starts,
/// and exit handlers run in reverse order, so started first it is cleaned up after such a pool has
/// joined its threads, and each thread's own state in the library is freed with the thread.
/// Cheap and safe to call more than once, from any thread.
void initialize();

} // namespace ZRCryptoLibrary
