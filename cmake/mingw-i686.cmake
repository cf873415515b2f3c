set(VELQOR_TRIPLET i686-w64-mingw32)
set(VELQOR_ARCH x86)
set(VELQOR_WINE wine32)
# Doubles computed in SSE2 registers, rounded to 64 bits at every step as on
# x64: with the x87 unit's 80-bit intermediates 0.5 * 0.7 * 100 truncates to 34
# instead of 35, so the 32-bit installer's progress figures would differ from
# the 64-bit build's. Every CPU that runs Windows 8 or later has SSE2.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
