// The settings of the program's sanitizer build (TOWER_SANITIZE); other
// builds carry nothing from here.

#if defined(__SANITIZE_ADDRESS__)
// HACK: GCC 12's sanitizer runtime, following __tls_get_addr, takes a
// dynamic TLS block that happens to start 16 bytes into a page for one laid
// out as glibc 2.19 did, and reads a bogus range from before it. The leak
// check at exit then faults scanning that range ("Tracer caught signal 11")
// and the program exits 1. Mesa's LLVM keeps such blocks, and where glibc
// puts them is chance: linking libEGL alone moved one onto that offset. The
// runtime is told not to follow __tls_get_addr, so those blocks go unscanned.
extern "C" const char *__asan_default_options()
{
    return "intercept_tls_get_addr=0";
}
#endif
