/* Crumbleforge_Identity.h — who the effect says it is: names, entry name, kind, interface version,
   effect version and capability flags. The entry points and the property-list generator both read these,
   so the run-time answers and the static resource cannot drift apart. */
#pragma once

#include "AE_Effect.h"

#define CRUMBLEFORGE_NAME "Crumble_Forge"
#define CRUMBLEFORGE_CATEGORY "BRISKANDUL"
#define CRUMBLEFORGE_ENTRY_POINT "EffectMain"

/* The registration entry and the property list carry different match names and reserved words;
   hosts have stored projects under both, so each place keeps its own. */
#define CRUMBLEFORGE_MATCH_NAME "ADBE Crumbleforge"
#define CRUMBLEFORGE_PIPL_MATCH_NAME "ADBE Crumbleforge - Vexthorne"
#define CRUMBLEFORGE_RESERVED_INFO 8
#define CRUMBLEFORGE_PIPL_RESERVED_INFO 0

#define CRUMBLEFORGE_KIND 0x65464B54 /* 'eFKT' */
#define CRUMBLEFORGE_API_MAJOR 13
#define CRUMBLEFORGE_API_MINOR 27

#define CRUMBLEFORGE_MAJOR_VERSION 1
#define CRUMBLEFORGE_MINOR_VERSION 6
#define CRUMBLEFORGE_BUG_VERSION 3
#define CRUMBLEFORGE_STAGE PF_Stage_RELEASE
#define CRUMBLEFORGE_BUILD_VERSION 0
#define CRUMBLEFORGE_VERSION_WORD                                                                                 \
    PF_VERSION(CRUMBLEFORGE_MAJOR_VERSION, CRUMBLEFORGE_MINOR_VERSION, CRUMBLEFORGE_BUG_VERSION, CRUMBLEFORGE_STAGE, \
               CRUMBLEFORGE_BUILD_VERSION)

/* NON_PARAM_VARY and QUERY_DYNAMIC_FLAGS are declared so that the dynamic-flags answer can switch frame
   caching off while chaos animates; a host honours a dynamic flag only if global setup declared it. */
#define CRUMBLEFORGE_OUT_FLAGS (PF_OutFlag_DEEP_COLOR_AWARE | PF_OutFlag_NON_PARAM_VARY)
#define CRUMBLEFORGE_OUT_FLAGS2 (PF_OutFlag2_SUPPORTS_THREADED_RENDERING | PF_OutFlag2_SUPPORTS_QUERY_DYNAMIC_FLAGS)

/* Size of the per-instance sequence block; each platform's deliverable has always stored its own size. */
#if defined(_WIN32)
#define SEQUENCE_DATA_SIZE 4192
#else
#define SEQUENCE_DATA_SIZE 1168
#endif
