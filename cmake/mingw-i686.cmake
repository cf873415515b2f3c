set(VELQOR_TRIPLET i686-w64-mingw32)
set(VELQOR_ARCH x86)
set(VELQOR_WINE wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
