#pragma once

/// The crypto library under the signature engine, as a whole.
namespace ZRCryptoLibrary {

/// Starts the library now, on the calling thread, without a clean-up at exit. Programs and test
/// runners call it first thing in `main`, before anything else can start the library with its
/// default clean-up: threads of pools and of the network stack may still be inside the library,
/// or only just leaving it, while the process exits, and a clean-up at exit would free the state
/// they use under them (and, once its thread-local key is gone, leave each such thread's own
/// state behind). Without it, an exiting thread frees its own state as usual and the process's
/// state goes with the process. Cheap and safe to call more than once, from any thread; only the
/// first start of the library decides.
void initialize();

} // namespace ZRCryptoLibrary
