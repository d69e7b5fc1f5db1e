#!/bin/sh
# Another CMake project takes this tree in with add_subdirectory and makes a program of its own
# (a copy of the C example, compiled as the outer project's target) with kiv_program: it
# compiles, links and runs. The outer project sets nothing of ours: no toolchain file and no build
# type (so everything compiles at -O0, inline assembly included), on a host whose compiler makes
# 64-bit code by default. Arguments: the tree, the outer project's folder, its build folder, what
# runs an i386 program.
set -e
src=$1
out=$2
build=$3
run=$4
mkdir -p "$out/outer"
cp "$src/apps/cexample/main.c" "$out/outer/prog.c"
cat > "$out/outer/CMakeLists.txt" <<TXT
cmake_minimum_required(VERSION 3.24)
project(outer C CXX)
add_subdirectory("$src" kiv)
add_executable(prog prog.c)
kiv_program(prog)
TXT
# A fresh configure every time, so that nothing an earlier one chose (a toolchain) is kept.
rm -rf "$build"
cmake -S "$out/outer" -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target prog
rm -f "$out/sub.png"
"$run" "$build/prog" "$out/sub.png" 16 16
test -s "$out/sub.png"
