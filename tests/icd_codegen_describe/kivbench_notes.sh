#!/bin/sh
# kivbench's clear workloads, one through opengl32 and the loaded module, one with the driver
# linked in (the arguments: the program, after what runs it): each row carries the driver's note
# on its clears (the clear-only workloads name no other routine) and a figure above 0.
out=$(KIVBENCH_SECS=0.01 "$@" clear_colour_depth) || exit 1
echo "$out"
rows=$(echo "$out" | grep '^clear_colour_depth_')
[ "$(echo "$rows" | grep -c .)" -eq 2 ] || exit 1
echo "$rows" | grep -v '(clears: [^);]*)$' && exit 1
echo "$rows" | awk '$2 + 0 <= 0 { bad = 1 } END { exit bad }'
