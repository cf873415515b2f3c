# Shared part of the two mingw-w64 toolchain files; VELQOR_TRIPLET is set by the caller.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${VELQOR_ARCH})
# The -posix compilers: the win32 thread model has no std::thread/std::mutex.
set(CMAKE_C_COMPILER ${VELQOR_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELQOR_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${VELQOR_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${VELQOR_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Otherwise FindZLIB picks libz.dll.a.
set(ZLIB_USE_STATIC_LIBS ON)
set(CMAKE_FIND_LIBRARY_SUFFIXES .a)
# Tests run under Wine through a wrapper that proves each program really ran.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run.sh;${VELQOR_WINE}")
