/* A.h — fixed-width basic types and the generic error codes of the host interface.
   Every integer type here has the same width on Windows x64 and macOS x64. */
#ifndef A_H
#define A_H

#include <stddef.h>
#include <stdint.h>

typedef int32_t A_long;
typedef uint32_t A_u_long;
typedef int16_t A_short;
typedef uint16_t A_u_short;
typedef char A_char;
typedef unsigned char A_u_char;
typedef unsigned char A_Boolean;
typedef double A_FpLong;
typedef float A_FpShort;
typedef A_long A_Err;
typedef A_long A_Fixed;
typedef A_u_long A_UFixed;
typedef void* A_Handle;
typedef intptr_t A_intptr_t;
typedef uint64_t A_u_longlong;
typedef A_u_longlong A_HandleSize;
typedef A_u_short A_UTF16Char;

/* A Microsoft-built host sees these as 4 bytes, GNU compilers as 1; no record here uses them. */
#if defined(_WIN32)
typedef A_long A_LegacyEnumType;
#else
typedef A_char A_LegacyEnumType;
#endif

enum {
    A_Err_NONE = 0,
    A_Err_GENERIC = 1,
    A_Err_STRUCT = 2,
    A_Err_PARAMETER = 3,
    A_Err_ALLOC = 4,
    A_Err_WRONG_THREAD = 5,
    A_Err_CONST_PROJECT_MODIFICATION = 6,
    A_Err_MISSING_SUITE = 13
};

#endif
