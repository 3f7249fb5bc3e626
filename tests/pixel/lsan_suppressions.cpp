// Leaks the sanitizer build should not charge to us.

// HACK: Mesa 22's OSMesa never frees the framebuffer it builds in
// OSMesaMakeCurrent, even after OSMesaDestroyContext. It is the library's
// memory, allocated inside it, so it is matched by the library's name.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libOSMesa.so\n";
}
