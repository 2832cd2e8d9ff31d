#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds what the Windows build links against, from Debian's own source
# packages, with Debian's mingw-w64 (posix threads), into PREFIX:
#   PREFIX/deps       sqlite3.dll (SQLite 3.40.1's amalgamation, which Qt's
#                     driver and the program share) and libpq.dll with headers
#   PREFIX/qt6-mingw  qtbase 6.4.2, shared, Release: Core, Gui, Widgets, Sql
#                     (SQLite driver on the SQLite above), PrintSupport, Test,
#                     the windows and offscreen platforms, no OpenGL
# The same options as the cached build in ../shared/qt6-mingw; about fifty
# minutes on two cores.
#
#   bash scripts/windows-sdk.sh PREFIX
set -euo pipefail
prefix=$(mkdir -p "$1" && cd "$1" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
src=$prefix/src
deps=$prefix/deps
mkdir -p "$src" "$deps"/{bin,lib,include}

# Source packages: a deb-src entry beside each deb one, when there is none.
export DEBIAN_FRONTEND=noninteractive
if ! grep -rqs '^Types:.*deb-src\|^deb-src ' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && sed 's/^Types: deb$/Types: deb-src/' "$f" > "/etc/apt/sources.list.d/velbor-src-$(basename "$f")"
  done
  [ -f /etc/apt/sources.list ] && sed -n 's/^deb /deb-src /p' /etc/apt/sources.list > /etc/apt/sources.list.d/velbor-src.list
fi
apt-get update -qq
apt-get install -y -qq dpkg-dev ninja-build cmake perl python3 tcl qt6-base-dev qt6-base-dev-tools >/dev/null
cd "$src"
apt-get source -qq qt6-base sqlite3 postgresql-15 >/dev/null

cross=x86_64-w64-mingw32
cat > "$src/mingw.cmake" <<EOF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER $cross-gcc-posix)
set(CMAKE_CXX_COMPILER $cross-g++-posix)
set(CMAKE_RC_COMPILER $cross-windres)
set(CMAKE_FIND_ROOT_PATH /usr/$cross $prefix/qt6-mingw $deps)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
EOF

echo "== SQLite =="
cd "$src"/sqlite3-*/
./configure --disable-tcl >/dev/null
make -s sqlite3.c >/dev/null
$cross-gcc-posix -O2 -shared -DSQLITE_API='__declspec(dllexport)' -DSQLITE_THREADSAFE=1 \
  -DSQLITE_ENABLE_COLUMN_METADATA -DSQLITE_ENABLE_FTS3 -DSQLITE_ENABLE_FTS5 -DSQLITE_ENABLE_RTREE \
  -DSQLITE_ENABLE_UNLOCK_NOTIFY -DSQLITE_SECURE_DELETE -DSQLITE_ENABLE_DBSTAT_VTAB \
  sqlite3.c -o "$deps/bin/sqlite3.dll" -Wl,--out-implib,"$deps/lib/libsqlite3.dll.a"
cp sqlite3.h sqlite3ext.h "$deps/include/"

echo "== libpq =="
cd "$src"/postgresql-15-*/
./configure --host=$cross --prefix="$deps" --without-readline --without-zlib --without-icu --without-openssl \
  CC=$cross-gcc-posix >/dev/null
make -s -C src/interfaces/libpq -j"$jobs" install >/dev/null
make -s -C src/include install >/dev/null
cp "$deps/lib/libpq.dll" "$deps/bin/" 2>/dev/null || true

echo "== Qt (about forty minutes) =="
cd "$src"/qt6-base-*/
patch -N -p0 src/plugins/platforms/windows/qwindowswindow.cpp < "$root/packaging/windows/qt-noopengl.patch" || true
cmake -G Ninja -S . -B "$src/qt-build" -DCMAKE_TOOLCHAIN_FILE="$src/mingw.cmake" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake -DCMAKE_INSTALL_PREFIX="$prefix/qt6-mingw" \
  -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
  -DFEATURE_opengl=OFF -DFEATURE_dbus=OFF -DFEATURE_network=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_vulkan=OFF \
  -DFEATURE_sql_sqlite=ON -DFEATURE_sql_odbc=OFF -DFEATURE_sql_psql=OFF -DFEATURE_sql_mysql=OFF -DFEATURE_sql_ibase=OFF \
  -DFEATURE_sql_oci=OFF -DFEATURE_sql_db2=OFF -DFEATURE_tabletevent=OFF \
  -DFEATURE_system_sqlite=ON -DSQLite3_INCLUDE_DIR="$deps/include" -DSQLite3_LIBRARY="$deps/lib/libsqlite3.dll.a" >/dev/null
ninja -C "$src/qt-build" -j"$jobs"
cmake --install "$src/qt-build" >/dev/null
rm -rf "$src"
echo "Qt, SQLite and libpq for Windows are in $prefix"
