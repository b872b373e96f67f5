/* SPTypes.h — result and boolean types of the basic suite protocol. */
#ifndef SPTYPES_H
#define SPTYPES_H

#include <stdint.h>

typedef int32_t int32;
typedef uint32_t uint32;
typedef int32_t SPInt32;
typedef int32 SPErr;

/* The suite protocol's boolean is 4 bytes on Windows and 1 byte on macOS. */
#if defined(_WIN32)
typedef int32 SPBoolean;
#else
typedef uint8_t SPBoolean;
#endif

/* No calling-convention keyword is in force on either 64-bit platform. */
#define SPAPI

#define kSPNoError ((SPErr)0)
#define kSPOutOfMemoryError ((SPErr)0xFFFFFF6C)
#define kSPUnimplementedError ((SPErr)0x21494D50) /* '!IMP' */
#define kSPBadParameterError ((SPErr)0x5061726D)  /* 'Parm' */

#endif
