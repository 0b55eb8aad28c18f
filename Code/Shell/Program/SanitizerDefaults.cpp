// Linked into the desktop program and its tests in sanitizer builds only.
//
// Qt WebEngine's Chromium frees some objects through a pointer to a smaller base class, and keeps
// allocations of its own, of fontconfig and of udev until the process ends. Those are faults and
// habits of the libraries, not of this program; without these defaults every run that shows a
// page would stop on them. Everything else is still reported, and any error stops the run.
extern "C" const char* __asan_default_options() {
    return "new_delete_type_mismatch=0";
}

extern "C" const char* __lsan_default_suppressions() {
    return "leak:libQt6WebEngineCore.so\n"
           "leak:libfontconfig.so\n"
           "leak:libudev.so\n";
}
