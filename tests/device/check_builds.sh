#!/usr/bin/env bash
# The device library compiles warning-free with -Wall -Wextra -Werror
# -pedantic as C99 and as C++ with gcc and clang, and for a Cortex-M0 with
# arm-none-eabi-gcc -Os, each time with no include path but device/include.
set -euo pipefail
top="$(cd "$(dirname "$0")/../.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
strict=(-Wall -Wextra -Werror -pedantic -I"$top/device/include" -I"$top/device/seal")
built=0
compile() {  # compiler, flags...: every source, and the header alone
  local compiler="$1"
  shift
  printf '#include <melvorin_device.h>\n' >"$work/header_alone.c"
  for src in "$top"/device/src/*.c "$top"/device/seal/*.c "$work/header_alone.c"; do
    if ! "$compiler" "$@" "${strict[@]}" -c "$src" -o "$work/out.o"; then
      echo "check_builds: $compiler $* fails on $(basename "$src")" >&2
      exit 1
    fi
    built=$((built + 1))
  done
  echo "check_builds: $compiler $* clean"
}
compile gcc -std=c99
compile clang -std=c99
compile g++ -x c++ -std=c++11
compile clang++ -x c++ -std=c++11
compile g++ -x c++ -std=c++20
compile arm-none-eabi-gcc --specs=picolibc.specs -std=c99 -Os -mcpu=cortex-m0 -mthumb
echo "check_builds: $built compilations"
