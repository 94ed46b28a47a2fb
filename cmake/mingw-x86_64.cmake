# Cross toolchain: 64-bit Windows through MinGW-w64 (posix threads variant).
set(MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
