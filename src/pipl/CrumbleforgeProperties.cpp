/* CrumbleforgeProperties.cpp — the effect's plug-in property list, the one place it is written down.
   Every value comes from Crumbleforge_Identity.h, which the entry points report from as well. */
#include "PropertyList.h"

#include "Crumbleforge_Identity.h"

namespace pipl {

std::vector<PropertySource> crumbleforgeProperties()
{
    return {
        {fourCC("kind"), FourCharCode{CRUMBLEFORGE_KIND}},
        {fourCC("name"), PascalString{CRUMBLEFORGE_NAME}},
        {fourCC("catg"), PascalString{CRUMBLEFORGE_CATEGORY}},
        {0, EntryPoint{CRUMBLEFORGE_ENTRY_POINT}},
        {fourCC("ePVR"), VersionPair{2, 0}}, /* version of the list format itself */
        {fourCC("eSVR"), VersionPair{CRUMBLEFORGE_API_MAJOR, CRUMBLEFORGE_API_MINOR}},
        {fourCC("eVER"), Word32{CRUMBLEFORGE_VERSION_WORD}},
        {fourCC("eINF"), Word16{0}},
        {fourCC("eGLO"), Word32{uint32_t(CRUMBLEFORGE_OUT_FLAGS)}},
        {fourCC("eGL2"), Word32{uint32_t(CRUMBLEFORGE_OUT_FLAGS2)}},
        {fourCC("eMNA"), PascalString{CRUMBLEFORGE_PIPL_MATCH_NAME}},
        {fourCC("aeFL"), Word32{CRUMBLEFORGE_PIPL_RESERVED_INFO}},
    };
}

} // namespace pipl
