#!/usr/bin/env bash
# device/ built alone, installed into a prefix, and an out-of-tree program
# (the wire vectors) built against the installed copy twice: with CMake's
# find_package(melvorin_device) and with pkg-config. Both copies run.
#   check_install.sh WORK_DIR
set -euo pipefail
top="$(cd "$(dirname "$0")/../.." && pwd)"
work="$1"
rm -rf "$work"
mkdir -p "$work"
prefix="$work/prefix"
cmake -S "$top/device" -B "$work/library" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" >/dev/null
cmake --build "$work/library" >/dev/null
cmake --install "$work/library" >/dev/null

cmake -S "$top/tests/device/consumer" -B "$work/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
  -DVECTORS_DIR="$top/tests/device" >/dev/null
cmake --build "$work/consumer" >/dev/null
"$work/consumer/device_consumer"

pc_dir="$(dirname "$(find "$prefix" -name melvorin-device.pc)")"
flags="$(PKG_CONFIG_PATH="$pc_dir" pkg-config --cflags --libs melvorin-device)"
echo "check_install: pkg-config gives $flags"
# shellcheck disable=SC2086  # the flags are words
cc -std=c99 -Wall -Wextra -Werror -pedantic "$top/tests/device/vectors.c" "$top/tests/device/vectors_main.c" \
  $flags -o "$work/device_consumer_pc"
"$work/device_consumer_pc"
