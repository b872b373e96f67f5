# macOS: Crumbleforge.plugin, a universal (x86_64 + arm64) bundle exporting only the two entries, with the
# Info.plist, PkgInfo and property-list resource file laid out by BundleFiles.cmake.
set_target_properties(crumbleforge_effect_objects Crumbleforge PROPERTIES
  OSX_ARCHITECTURES "x86_64;arm64")
set_target_properties(Crumbleforge PROPERTIES
  BUNDLE ON
  BUNDLE_EXTENSION plugin
  MACOSX_BUNDLE_INFO_PLIST "${CRUMBLEFORGE_MAC_CONTENTS}/Info.plist")
target_link_options(Crumbleforge PRIVATE
  "LINKER:-exported_symbols_list,${CMAKE_CURRENT_LIST_DIR}/Crumbleforge.exp")
set_property(TARGET Crumbleforge APPEND PROPERTY LINK_DEPENDS "${CMAKE_CURRENT_LIST_DIR}/Crumbleforge.exp")
add_dependencies(Crumbleforge crumbleforge_pipl_resources)
add_custom_command(TARGET Crumbleforge POST_BUILD
  COMMAND "${CMAKE_COMMAND}" -E copy_if_different
          "${CRUMBLEFORGE_MAC_CONTENTS}/PkgInfo" "$<TARGET_BUNDLE_CONTENT_DIR:Crumbleforge>/PkgInfo"
  COMMAND "${CMAKE_COMMAND}" -E make_directory "$<TARGET_BUNDLE_CONTENT_DIR:Crumbleforge>/Resources"
  COMMAND "${CMAKE_COMMAND}" -E copy_if_different
          "${CRUMBLEFORGE_MAC_RESOURCE_FILE}" "$<TARGET_BUNDLE_CONTENT_DIR:Crumbleforge>/Resources/"
  VERBATIM)
