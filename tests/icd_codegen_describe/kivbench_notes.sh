#!/bin/sh
# kivbench's clear workloads, one through opengl32 and the loaded module, one with the driver
# linked in (the arguments: the program, after what runs it): each line carries the driver's note and a figure above 0.
out=$(KIVBENCH_SECS=0.01 "$@" clear_colour_depth) || exit 1
echo "$out"
[ "$(echo "$out" | grep -c '^clear_colour_depth_')" -eq 2 ] || exit 1
echo "$out" | grep -v '(generated code: [^;]*; clears: [^)]*)$' && exit 1
echo "$out" | awk '$2 + 0 <= 0 { bad = 1 } END { exit bad }'
