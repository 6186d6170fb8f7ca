#!/usr/bin/env bash
# Builds Boost.Program_options as a static MinGW library from Debian's own
# boost source package, inside the given build folder:
#   scripts/build-boost-mingw.sh build-win32
# leaves the source tree (headers) in build-win32/boost/src/boost1.74-*/ and
# the library in build-win32/boost/lib/libboost_program_options.a. Does nothing
# when the library is already there.
set -euo pipefail

build_dir=$(realpath -m "${1:?usage: $0 <build folder>}")
boost_dir="$build_dir/boost"
library="$boost_dir/lib/libboost_program_options.a"
compiler=${ZARN_MINGW_CXX:-i686-w64-mingw32-g++-posix}
archiver=${ZARN_MINGW_AR:-i686-w64-mingw32-ar}
jobs=${JOBS:-2}

if [ -f "$library" ]; then
    exit 0
fi

mkdir -p "$boost_dir/src" "$boost_dir/obj" "$boost_dir/lib"
cd "$boost_dir/src"
if ! ls -d boost1.74-*/libs/program_options/src >/dev/null 2>&1; then
    echo "Fetching Debian's boost1.74 source package"
    apt-get source -qq boost1.74 2>&1 | grep -v '^W: Download is performed unsandboxed' || true
fi
source_tree=$(ls -d "$boost_dir"/src/boost1.74-*/ | head -n 1)
source_tree=${source_tree%/}
if [ ! -d "$source_tree/libs/program_options/src" ]; then
    echo "boost source not found under $boost_dir/src" >&2
    exit 1
fi
# The source package keeps each library's headers in libs/<name>/include;
# one boost/ folder of links to them is what the compiler needs.
if [ ! -f "$boost_dir/include/boost/program_options.hpp" ]; then
    rm -rf "$boost_dir/include"
    mkdir -p "$boost_dir/include"
    for headers in "$source_tree"/libs/*/include/boost "$source_tree"/libs/numeric/*/include/boost; do
        cp -rs --remove-destination "$headers" "$boost_dir/include/"
    done
fi

echo "Compiling Boost.Program_options with $compiler"
export compiler boost_dir
find "$source_tree/libs/program_options/src" -name '*.cpp' -print0 |
    xargs -0 -P "$jobs" -I{} sh -c \
        '"$compiler" -std=c++17 -O2 -DNDEBUG -DBOOST_ALL_NO_LIB -DBOOST_BIND_GLOBAL_PLACEHOLDERS -isystem "$boost_dir/include" \
             -c "$1" -o "$boost_dir/obj/$(basename "$1" .cpp).o"' sh {}
rm -f "$library.tmp"
"$archiver" rcs "$library.tmp" "$boost_dir"/obj/*.o
mv "$library.tmp" "$library"
