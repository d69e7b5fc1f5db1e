#!/bin/sh
# Another CMake project that takes this tree in with add_subdirectory builds the C example and
# runs it. Arguments: the tree, the outer project's folder, its build folder, what runs an i386
# program.
set -e
src=$1
out=$2
build=$3
run=$4
mkdir -p "$out/outer"
cat > "$out/outer/CMakeLists.txt" <<TXT
cmake_minimum_required(VERSION 3.24)
project(outer C CXX)
add_subdirectory("$src" kiv)
TXT
cmake -S "$out/outer" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$src/cmake/i386.cmake" \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target cexample
rm -f "$out/sub.png"
"$run" "$build/kiv/apps/cexample" "$out/sub.png" 16 16
test -s "$out/sub.png"
