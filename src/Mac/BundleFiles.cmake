# The macOS bundle's files other than its code: Info.plist, PkgInfo and (written by the property-list
# generator) Resources/Crumbleforge.rsrc. They are laid out under ${CRUMBLEFORGE_MAC_CONTENTS} on every build
# machine, so they can be checked and packaged anywhere; on a Mac they are copied into the built bundle.
set(CRUMBLEFORGE_MAC_CONTENTS "${CMAKE_CURRENT_BINARY_DIR}/Mac/Contents")
set(CRUMBLEFORGE_MAC_RESOURCE_FILE "${CRUMBLEFORGE_MAC_CONTENTS}/Resources/Crumbleforge.rsrc")

set(CRUMBLEFORGE_BUNDLE_EXECUTABLE Crumbleforge)
set(CRUMBLEFORGE_BUNDLE_IDENTIFIER com.crumbleforge.Crumbleforge)
set(CRUMBLEFORGE_BUNDLE_PACKAGE_TYPE eFKT)  # an effect
set(CRUMBLEFORGE_BUNDLE_SIGNATURE FXTC)     # the compositing host's creator code
set(CRUMBLEFORGE_BUNDLE_MINIMUM_SYSTEM 11.0) # first release with arm64

file(MAKE_DIRECTORY "${CRUMBLEFORGE_MAC_CONTENTS}/Resources")
configure_file("${CMAKE_CURRENT_LIST_DIR}/Info.plist.in" "${CRUMBLEFORGE_MAC_CONTENTS}/Info.plist" @ONLY)
file(WRITE "${CRUMBLEFORGE_MAC_CONTENTS}/PkgInfo"
  "${CRUMBLEFORGE_BUNDLE_PACKAGE_TYPE}${CRUMBLEFORGE_BUNDLE_SIGNATURE}")
