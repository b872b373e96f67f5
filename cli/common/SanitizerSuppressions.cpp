/* SanitizerSuppressions.cpp — in sanitizer builds, what is reported inside FFmpeg and the encoder libraries: races
   they are not instrumented to show as synchronised, and memory x265 never frees. */
#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define CRUMBLEFORGE_TSAN 1
#endif
#if __has_feature(address_sanitizer)
#define CRUMBLEFORGE_ASAN 1
#endif
#endif
#if defined(__SANITIZE_THREAD__)
#define CRUMBLEFORGE_TSAN 1
#endif
#if defined(__SANITIZE_ADDRESS__)
#define CRUMBLEFORGE_ASAN 1
#endif

#ifdef CRUMBLEFORGE_TSAN
extern "C" const char* __tsan_default_suppressions();
extern "C" const char* __tsan_default_suppressions()
{
    return "called_from_lib:libavcodec.so\n"
           "called_from_lib:libavutil.so\n"
           "called_from_lib:libavformat.so\n"
           "called_from_lib:libswscale.so\n"
           "race:libavcodec.so\n"
           "race:libavutil.so\n"
           "race:libavformat.so\n"
           "race:libswscale.so\n"
           "race:libx264.so\n"
           "race:libx265.so\n"
           "race:libvpx.so\n";
}
#endif

#ifdef CRUMBLEFORGE_ASAN
extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libx265.so\n";
}
extern "C" const char* __lsan_default_options();
extern "C" const char* __lsan_default_options()
{
    return "print_suppressions=0"; /* the command's messages stay its own */
}
#endif
