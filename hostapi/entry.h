/* entry.h — how an effect marks its two entry points for export on each platform. */
#ifndef ENTRY_H
#define ENTRY_H

#if defined(_WIN32)
#define DllExport __declspec(dllexport)
#else
#define DllExport __attribute__((visibility("default")))
#endif

#endif
