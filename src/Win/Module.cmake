# Windows: Crumbleforge.aex, a DLL that imports only system DLLs, exports exactly the two entries (by the
# .def file, undecorated) and carries the property list as its PiPL resource.
enable_language(RC)
get_target_property(CRUMBLEFORGE_PIPL_WINDOWS_DATA crumbleforge_pipl_resources WINDOWS_DATA)
configure_file("${CMAKE_CURRENT_LIST_DIR}/Crumbleforge.rc.in" "${CMAKE_CURRENT_BINARY_DIR}/Win/Crumbleforge.rc" @ONLY)
target_sources(Crumbleforge PRIVATE
  "${CMAKE_CURRENT_BINARY_DIR}/Win/Crumbleforge.rc"
  "${CMAKE_CURRENT_LIST_DIR}/Crumbleforge.def")
set_source_files_properties("${CMAKE_CURRENT_BINARY_DIR}/Win/Crumbleforge.rc" PROPERTIES
  OBJECT_DEPENDS "${CRUMBLEFORGE_PIPL_WINDOWS_DATA}")
set_target_properties(Crumbleforge PROPERTIES SUFFIX ".aex")
target_link_options(Crumbleforge PRIVATE -static -static-libgcc -static-libstdc++ $<$<CONFIG:Release,MinSizeRel>:-s>)
add_dependencies(Crumbleforge crumbleforge_pipl_resources)
