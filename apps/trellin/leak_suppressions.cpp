// The sanitizer builds' leak checking of the trellin program.
#if defined(__SANITIZE_ADDRESS__)
// Leak checking in sanitizer builds: reading a truncated PNG, OpenImageIO
// copies its error message in libpng's read callback, and libpng's error exit
// then jumps over that copy; the few bytes are the library's, not ours.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:OpenImageIO_v2_4::ImageInput::geterror\n";
}
extern "C" const char* __lsan_default_options()
{
    return "print_suppressions=0";
}
#endif
