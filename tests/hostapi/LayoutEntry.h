/* LayoutEntry.h — one row of the generated layout table: a record's size and alignment, or one field's
   offset and size, as our declarations give them beside the values measured on a real host. */
#pragma once

#include "AE_Effect.h"
#include "AE_EffectCB.h"
#include "AE_EffectCBSuites.h"
#include "SPBasic.h"

#include <cstddef>

struct LayoutEntry {
    const char* record;
    const char* field;    // empty: the row is about the record itself
    size_t actual;        // field offset, or record size
    size_t expected;
    size_t actualExtra;   // field size, or record alignment
    size_t expectedExtra;
};

template <class T>
T& layoutSample()
{
    static T sample{};
    return sample;
}

#define CF_FIELD_OFFSET(T, path)                                                                                 \
    static_cast<size_t>(reinterpret_cast<const char*>(&layoutSample<T>().path) -                                 \
                        reinterpret_cast<const char*>(&layoutSample<T>()))

const LayoutEntry* layoutTable_win64(size_t* count);
const LayoutEntry* layoutTable_lp64(size_t* count);
