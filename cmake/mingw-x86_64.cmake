set(VELQOR_TRIPLET x86_64-w64-mingw32)
set(VELQOR_ARCH x86_64)
set(VELQOR_WINE wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
