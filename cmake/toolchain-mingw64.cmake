# Cross-builds the Windows executables with Debian's mingw-w64 (the posix
# thread model, package g++-mingw-w64-x86-64-posix).
#
# Executables link libgcc, libstdc++ and winpthread statically, so a bare
# Windows runs them without any DLL of the toolchain beside them.
#
# hidapi and GoogleTest come from KAVLO_WINDOWS_PREFIX, where
# scripts/windows-deps.sh installs their cross builds. Test executables run
# under wine64 (CMAKE_CROSSCOMPILING_EMULATOR), so ctest and test discovery
# work as they do natively.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KAVLO_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KAVLO_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KAVLO_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${KAVLO_MINGW_TRIPLET}-windres)

if(NOT KAVLO_WINDOWS_PREFIX)
  get_filename_component(KAVLO_WINDOWS_PREFIX "${CMAKE_CURRENT_LIST_DIR}/../build/windows-deps/prefix" ABSOLUTE)
endif()
set(KAVLO_WINDOWS_PREFIX "${KAVLO_WINDOWS_PREFIX}" CACHE PATH "Where the Windows builds of hidapi and GoogleTest are installed")
# try_compile projects read the toolchain file again and need the same prefix.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KAVLO_WINDOWS_PREFIX)

set(CMAKE_FIND_ROOT_PATH /usr/${KAVLO_MINGW_TRIPLET} "${KAVLO_WINDOWS_PREFIX}")
set(CMAKE_PREFIX_PATH "${KAVLO_WINDOWS_PREFIX}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config sees the Windows prefix only, never the build machine's .pc files.
set(ENV{PKG_CONFIG_LIBDIR} "${KAVLO_WINDOWS_PREFIX}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

find_program(KAVLO_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(KAVLO_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${KAVLO_WINE64}")
endif()
