/* TsanSuppressions.cpp — in thread-sanitizer builds, the races reported inside FFmpeg's libraries: they are not
   instrumented, so the sanitizer does not see the atomics they synchronise their own threads with. */
#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define CRUMBLEFORGE_TSAN 1
#endif
#endif
#if defined(__SANITIZE_THREAD__)
#define CRUMBLEFORGE_TSAN 1
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
           "race:libvpx.so\n";
}
#endif
