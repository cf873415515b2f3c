#!/usr/bin/env bash
# Installs everything the project needs on Debian 12 (run as root) and builds the
# Windows dependencies from Debian's source packages into a cache outside the repo.
# Idempotent: a second run finds the packages and the cache and takes seconds.
#
#   VELQOR_DEPS_CACHE  cache root (default: $HOME/.cache/velqor-deps)
#   VELQOR_SKIP_APT=1  do not touch apt (packages already there)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
cache=${VELQOR_DEPS_CACHE:-$HOME/.cache/velqor-deps}
recipe=4   # bump when the build steps below change

log() { printf '[setup] %s\n' "$*" >&2; }
as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

packages=(
  cmake ninja-build pkg-config file dpkg-dev
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  gcc-mingw-w64-i686-posix gcc-mingw-w64-x86-64-posix libz-mingw-w64-dev
  wine wine64 fonts-wine xvfb xdotool imagemagick xcompmgr x11-utils fonts-wqy-microhei
  7zip python3 googletest libgtest-dev libgmock-dev
  libcurl4-openssl-dev zlib1g-dev libjsoncpp-dev nlohmann-json3-dev libpugixml-dev libssl-dev
  nginx-light aria2 curl openssl tinyproxy osslsigncode time
)

apt_updated=0
apt_update() { [ $apt_updated = 1 ] || { as_root apt-get update -qq >/dev/null 2>&1 || true; apt_updated=1; }; }

if [ "${VELQOR_SKIP_APT:-0}" != 1 ]; then
  missing=()
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    log "installing: ${missing[*]}"
    apt_update
    DEBIAN_FRONTEND=noninteractive as_root apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  fi
  # 32-bit Wine is optional: when apt refuses it (mismatched i386 indexes), the
  # win32 build is still made and checked statically, but its programs do not run.
  # Installed, it may still not run (kernels without 32-bit support): the test
  # and demo scripts ask scripts/wine.sh, which runs it to know.
  if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'ok installed' \
     && [ ! -e "$cache/.wine32-refused" ]; then
    log "trying wine32:i386"
    dpkg --print-foreign-architectures | grep -qx i386 || as_root dpkg --add-architecture i386
    apt_updated=0; apt_update
    if DEBIAN_FRONTEND=noninteractive as_root apt-get install -y -qq wine32:i386 >/dev/null 2>&1; then
      log "wine32 installed"
    else
      log "wine32:i386 refused by apt; carrying on without it"
      mkdir -p "$cache"; touch "$cache/.wine32-refused"
    fi
  fi
fi

log "32-bit Windows programs: $("$here/wine.sh" probe32 | tr '\t' ':' | sed 's/:/: /')"

# ---- Windows dependencies from Debian's source packages ------------------------
srcpkgs=(curl libjsoncpp pugixml 7zip)
src_version() { apt-cache showsrc "$1" 2>/dev/null | awk '/^Version:/{print $2; exit}'; }

enable_deb_src() {
  local f=/etc/apt/sources.list.d/debian-src.sources
  [ -e "$f" ] && return 0
  if [ -e /etc/apt/sources.list.d/debian.sources ]; then
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources | as_root tee "$f" >/dev/null
  else
    grep -h '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' | as_root tee /etc/apt/sources.list.d/debian-src.list >/dev/null
  fi
  apt_updated=0; apt_update
}

key_parts="recipe=$recipe"
if [ -z "$(src_version curl)" ]; then enable_deb_src; fi
for p in "${srcpkgs[@]}"; do
  v=$(src_version "$p"); [ -n "$v" ] || { enable_deb_src; v=$(src_version "$p"); }
  [ -n "$v" ] || { log "no source package $p"; exit 1; }
  key_parts+=" $p=$v"
done
key_parts+=" gtest=$(dpkg-query -W -f='${Version}' googletest)"
key_parts+=" gcc=$(x86_64-w64-mingw32-g++-posix -dumpversion)"
key=$(printf '%s' "$key_parts" | sha1sum | cut -c1-16)
dest="$cache/$key"

if [ -e "$dest/.complete" ]; then
  ln -sfn "$key" "$cache/current"
  log "dependencies up to date ($dest)"
  exit 0
fi

log "building dependencies into $dest ($key_parts)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(
  cd "$work"
  for p in "${srcpkgs[@]}"; do apt-get source --download-only -qq "$p" >/dev/null 2>&1; done
  for d in *.dsc; do dpkg-source -q -x "$d" >/dev/null 2>&1; done
)
src_dir() { find "$work" -maxdepth 1 -type d -name "$1-*" | head -n1; }
curl_src=$(src_dir curl); json_src=$(src_dir libjsoncpp); pugi_src=$(src_dir pugixml); z7_src=$(src_dir 7zip)

# The 7z decoder has no build of its own: a tiny CMake project around its C files.
mkdir -p "$work/7zdec"
cat > "$work/7zdec/CMakeLists.txt" <<CML
cmake_minimum_required(VERSION 3.20)
project(z7dec C)
set(S "$z7_src/C")
add_library(7zdec STATIC \${S}/7zAlloc.c \${S}/7zArcIn.c \${S}/7zBuf.c \${S}/7zCrc.c \${S}/7zCrcOpt.c
  \${S}/7zDec.c \${S}/7zStream.c \${S}/Bcj2.c \${S}/Bra.c \${S}/Bra86.c \${S}/Delta.c
  \${S}/Lzma2Dec.c \${S}/LzmaDec.c \${S}/CpuArch.c)
target_compile_definitions(7zdec PRIVATE Z7_EXTRACT_ONLY)
install(TARGETS 7zdec ARCHIVE DESTINATION lib)
file(GLOB HDRS \${S}/*.h)
install(FILES \${HDRS} DESTINATION include/7zdec)
CML

build() { # name srcdir prefix toolchain-args... cmake-args...
  local name=$1 src=$2 prefix=$3; shift 3
  cmake -S "$src" -B "$work/b-$name-$(basename "$prefix")" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_POSITION_INDEPENDENT_CODE=ON "$@" >"$work/$name.log" 2>&1 \
    && cmake --build "$work/b-$name-$(basename "$prefix")" >>"$work/$name.log" 2>&1 \
    && cmake --install "$work/b-$name-$(basename "$prefix")" >>"$work/$name.log" 2>&1 \
    || { log "build of $name failed:"; tail -n 40 "$work/$name.log" >&2; exit 1; }
}

# Native: only the 7z decoder (the rest comes from Debian's -dev packages).
build 7zdec "$work/7zdec" "$dest/native"

for triplet in i686-w64-mingw32 x86_64-w64-mingw32; do
  prefix="$dest/$triplet"
  tc=(-DCMAKE_SYSTEM_NAME=Windows -DCMAKE_C_COMPILER=$triplet-gcc-posix -DCMAKE_CXX_COMPILER=$triplet-g++-posix
      -DCMAKE_RC_COMPILER=$triplet-windres -DCMAKE_FIND_ROOT_PATH="/usr/$triplet;$prefix"
      -DCMAKE_FIND_ROOT_PATH_MODE_PROGRAM=NEVER -DCMAKE_FIND_ROOT_PATH_MODE_LIBRARY=ONLY
      -DCMAKE_FIND_ROOT_PATH_MODE_INCLUDE=ONLY -DCMAKE_FIND_ROOT_PATH_MODE_PACKAGE=ONLY
      # Built for size, each function and datum in its own section, so that
      # the shipped exe's linker keeps only what it uses.
      -DCMAKE_BUILD_TYPE=MinSizeRel -DCMAKE_C_FLAGS="-ffunction-sections -fdata-sections"
      -DCMAKE_CXX_FLAGS="-ffunction-sections -fdata-sections")
  build 7zdec "$work/7zdec" "$prefix" "${tc[@]}"
  build pugixml "$pugi_src" "$prefix" "${tc[@]}" -DBUILD_SHARED_LIBS=OFF -DPUGIXML_BUILD_TESTS=OFF \
    -DPUGIXML_NO_XPATH=ON -DPUGIXML_NO_STL=ON
  build jsoncpp "$json_src" "$prefix" "${tc[@]}" -DBUILD_SHARED_LIBS=OFF -DBUILD_STATIC_LIBS=ON \
    -DBUILD_OBJECT_LIBS=OFF -DJSONCPP_WITH_TESTS=OFF -DJSONCPP_WITH_POST_BUILD_UNITTEST=OFF \
    -DJSONCPP_WITH_PKGCONFIG_SUPPORT=OFF
  build googletest /usr/src/googletest "$prefix" "${tc[@]}" -DBUILD_GMOCK=ON -Dgtest_disable_pthreads=ON \
    -DBUILD_SHARED_LIBS=OFF
  build curl "$curl_src" "$prefix" "${tc[@]}" -DBUILD_SHARED_LIBS=OFF -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF \
    -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF -DCURL_ZLIB=ON -DZLIB_USE_STATIC_LIBS=ON -DHTTP_ONLY=ON \
    -DCURL_DISABLE_LDAP=ON -DCURL_USE_LIBSSH2=OFF -DUSE_LIBIDN2=OFF -DUSE_NGHTTP2=OFF -DCURL_BROTLI=OFF \
    -DCURL_ZSTD=OFF -DENABLE_UNIX_SOCKETS=OFF -DCURL_CA_BUNDLE=none -DCURL_CA_PATH=none -DCURL_DISABLE_ALTSVC=ON \
    -DCURL_DISABLE_COOKIES=ON -DCURL_DISABLE_NETRC=ON -DCURL_DISABLE_HSTS=ON -DCURL_DISABLE_DOH=ON \
    -DCURL_DISABLE_MIME=ON -DCURL_DISABLE_GETOPTIONS=ON -DCURL_DISABLE_PROGRESS_METER=ON \
    -DCURL_DISABLE_SHUFFLE_DNS=ON
done
touch "$dest/.complete"
ln -sfn "$key" "$cache/current"
log "dependencies ready ($dest)"
