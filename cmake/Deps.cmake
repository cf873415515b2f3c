# Third-party libraries as imported targets with project-wide names:
#   velqor::curl velqor::zlib velqor::jsoncpp velqor::pugixml velqor::7zdec velqor::crypto (native)
# Natively they come from Debian's -dev packages (the 7z decoder from the
# project's dependency cache); for mingw everything comes from the cache built
# by scripts/setup.sh (see the toolchain files).
if(DEFINED ENV{VELQOR_DEPS_DIR})
  set(VELQOR_DEPS_DIR "$ENV{VELQOR_DEPS_DIR}")
else()
  set(VELQOR_DEPS_DIR "$ENV{HOME}/.cache/velqor-deps/current")
endif()
if(WIN32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(VELQOR_DEPS_PREFIX "${VELQOR_DEPS_DIR}/x86_64-w64-mingw32")
  else()
    set(VELQOR_DEPS_PREFIX "${VELQOR_DEPS_DIR}/i686-w64-mingw32")
  endif()
else()
  set(VELQOR_DEPS_PREFIX "${VELQOR_DEPS_DIR}/native")
endif()
if(NOT EXISTS "${VELQOR_DEPS_PREFIX}/lib/lib7zdec.a")
  message(FATAL_ERROR "Dependencies not found in ${VELQOR_DEPS_PREFIX}: run scripts/setup.sh first")
endif()
list(PREPEND CMAKE_PREFIX_PATH "${VELQOR_DEPS_PREFIX}")
list(APPEND CMAKE_FIND_ROOT_PATH "${VELQOR_DEPS_PREFIX}")

find_package(ZLIB REQUIRED)
find_package(CURL REQUIRED)
find_package(GTest REQUIRED)
find_package(pugixml REQUIRED)

add_library(velqor::zlib ALIAS ZLIB::ZLIB)
add_library(velqor::curl INTERFACE IMPORTED)
target_link_libraries(velqor::curl INTERFACE CURL::libcurl)
add_library(velqor::pugixml INTERFACE IMPORTED)
if(TARGET pugixml::pugixml)
  target_link_libraries(velqor::pugixml INTERFACE pugixml::pugixml)
else()
  target_link_libraries(velqor::pugixml INTERFACE pugixml)
endif()

# nlohmann's JSON reader (header only, Debian's nlohmann-json3-dev) for the
# shipped code; jsoncpp stays for the tests. The cross builds see only the
# nlohmann folder of the host's headers, through a link in the build tree.
add_library(velqor::json INTERFACE IMPORTED)
find_path(VELQOR_NLOHMANN_DIR nlohmann/json.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
if(WIN32)
  set(_nlohmann_root "${CMAKE_BINARY_DIR}/nlohmann-include")
  file(MAKE_DIRECTORY "${_nlohmann_root}")
  file(CREATE_LINK "${VELQOR_NLOHMANN_DIR}/nlohmann" "${_nlohmann_root}/nlohmann" SYMBOLIC)
  target_include_directories(velqor::json SYSTEM INTERFACE "${_nlohmann_root}")
else()
  target_include_directories(velqor::json SYSTEM INTERFACE "${VELQOR_NLOHMANN_DIR}")
endif()
target_compile_definitions(velqor::json INTERFACE JSON_NO_IO JSON_USE_IMPLICIT_CONVERSIONS=0)

add_library(velqor::jsoncpp INTERFACE IMPORTED)
if(WIN32)
  find_package(jsoncpp REQUIRED CONFIG)
  target_link_libraries(velqor::jsoncpp INTERFACE jsoncpp_static)
  target_link_libraries(velqor::curl INTERFACE ws2_32 crypt32 bcrypt advapi32 winmm)
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(JSONCPP REQUIRED IMPORTED_TARGET jsoncpp)
  target_link_libraries(velqor::jsoncpp INTERFACE PkgConfig::JSONCPP)
  find_package(OpenSSL REQUIRED)
  add_library(velqor::crypto ALIAS OpenSSL::Crypto)
endif()

# The 7z decoder: from the dependency cache, or (VELQOR_7ZDEC_SOURCE, the "C"
# folder of 7-Zip's sources) built here with the project's flags, so that a
# fuzzing build instruments it too.
set(VELQOR_7ZDEC_SOURCE "" CACHE PATH "7-Zip's C sources: build the 7z decoder from them")
if(VELQOR_7ZDEC_SOURCE)
  set(S "${VELQOR_7ZDEC_SOURCE}")
  add_library(velqor_7zdec STATIC ${S}/7zAlloc.c ${S}/7zArcIn.c ${S}/7zBuf.c ${S}/7zCrc.c ${S}/7zCrcOpt.c
    ${S}/7zDec.c ${S}/7zStream.c ${S}/Bcj2.c ${S}/Bra.c ${S}/Bra86.c ${S}/Delta.c
    ${S}/Lzma2Dec.c ${S}/LzmaDec.c ${S}/CpuArch.c)
  target_compile_definitions(velqor_7zdec PRIVATE Z7_EXTRACT_ONLY)
  # On x86 the decoder reads little-endian words at any address on purpose.
  target_compile_options(velqor_7zdec PRIVATE -fno-sanitize=alignment)
  target_include_directories(velqor_7zdec SYSTEM PUBLIC ${S})
  add_library(velqor::7zdec ALIAS velqor_7zdec)
  unset(S)
else()
  add_library(velqor::7zdec STATIC IMPORTED)
  set_target_properties(velqor::7zdec PROPERTIES
    IMPORTED_LOCATION "${VELQOR_DEPS_PREFIX}/lib/lib7zdec.a"
    INTERFACE_INCLUDE_DIRECTORIES "${VELQOR_DEPS_PREFIX}/include/7zdec")
endif()
