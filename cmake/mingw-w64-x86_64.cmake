# Cross build for Windows x86-64 with MinGW-w64 (Debian: g++-mingw-w64-x86-64-posix, binutils-mingw-w64-x86-64).
# The posix-threads variant of the compiler, so that std::thread works. Everything links statically against
# the toolchain's runtimes, so modules and programs import only system DLLs. Programs built here run under
# Wine through scripts/wine-run.sh (CMAKE_CROSSCOMPILING_EMULATOR), so CTest can run Windows tests directly.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CRUMBLEFORGE_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${CRUMBLEFORGE_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${CRUMBLEFORGE_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${CRUMBLEFORGE_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${CRUMBLEFORGE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
endforeach()

set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh")
