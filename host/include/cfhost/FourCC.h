/* FourCC.h — four-character codes as the host interface packs them (first character in the most
   significant byte), and the application ids the host can report. */
#pragma once

#include "A.h"

namespace cfhost {

constexpr A_long fourCC(const char (&code)[5])
{
    return static_cast<A_long>((static_cast<A_u_long>(static_cast<unsigned char>(code[0])) << 24) |
                               (static_cast<A_u_long>(static_cast<unsigned char>(code[1])) << 16) |
                               (static_cast<A_u_long>(static_cast<unsigned char>(code[2])) << 8) |
                               static_cast<A_u_long>(static_cast<unsigned char>(code[3])));
}

inline constexpr A_long kAfterEffects = fourCC("FXTC");
inline constexpr A_long kPremierePro = fourCC("PrMr");
inline constexpr A_long kEffectKind = fourCC("eFKT");

} // namespace cfhost
