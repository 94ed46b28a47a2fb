# Cross toolchain: 32-bit Windows through MinGW-w64 (posix threads variant).
set(MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
