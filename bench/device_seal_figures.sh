#!/usr/bin/env bash
# The sealed join's unit-side extension (device/seal/) on a Cortex-M0, built
# as bench/device_figures.sh builds the core: its own code and data, its
# context's size, its stack (every frame summed) and what it needs from
# outside. The primitives are the firmware SDK's and not counted. With
# --check it exits 1 when a limit is missed.
#
# Usage: bench/device_seal_figures.sh [--check]
set -euo pipefail
check=0
if [ "${1:-}" = --check ]; then check=1; fi
top="$(cd "$(dirname "$0")/.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cc=arm-none-eabi-gcc
flags=(--specs=picolibc.specs -std=c99 -Os -mcpu=cortex-m0 -mthumb -ffunction-sections -fdata-sections -fstack-usage
       -Wall -Wextra -Werror -pedantic -I"$top/device/seal")
objects=()
for src in "$top"/device/seal/*.c; do
  (cd "$work" && "$cc" "${flags[@]}" -c "$src" -o "$(basename "$src" .c).o")
  objects+=("$work/$(basename "$src" .c).o")
done
arm-none-eabi-ld -r -o "$work/extension.o" "${objects[@]}"
sum() { arm-none-eabi-size -A "$work/extension.o" | awk -v re="$1" '$1 ~ re { s += $2 } END { print s + 0 }'; }
text=$(sum '^\.text') rodata=$(sum '^\.rodata') ram=$(($(sum '^\.data') + $(sum '^\.bss')))
printf '#include "melvorin_seal.h"\nconst unsigned char probe[sizeof(mlvs_unit)] = {0};\n' >"$work/probe.c"
(cd "$work" && "$cc" "${flags[@]}" -c probe.c -o probe.o)
context=$((16#$(arm-none-eabi-nm -S "$work/probe.o" | awk '$4 == "probe" { print $2 }')))
stack=$(cat "$work"/*.su | awk -F'\t' '{ s += $2 } END { print s + 0 }')
dynamic=$(cat "$work"/*.su | awk -F'\t' '$3 != "static"' | wc -l)
undefined=$(arm-none-eabi-nm -u "$work/extension.o" | awk '{ print $2 }' | sort | tr '\n' ' ')
extra=$(arm-none-eabi-nm -u "$work/extension.o" | awk '{ print $2 }' | grep -v -x -E 'memcpy|memset|memcmp' || true)

failed=0
row() { printf '| %-40s | %-16s | %-8s |\n' "$1" "$2" "$3"; }
echo "sealed-join extension on Cortex-M0: $($cc --version | head -n 1)"
row Measure Figure Limit
row ".text (code), bytes" "$text" "<= 3072"
row ".rodata (constants), bytes" "$rodata" "-"
row ".data + .bss, bytes" "$ram" "0"
row "state (sizeof mlvs_unit), bytes" "$context" "-"
row "stack, all frames summed, bytes" "$stack" "<= 1536"
row "undefined symbols" "${undefined:-none}" "mem*"
if [ "$text" -gt 3072 ] || [ "$ram" -ne 0 ] || [ "$stack" -gt 1536 ] || [ "$dynamic" -ne 0 ] || [ -n "$extra" ]; then
  failed=1
fi
if [ "$check" -eq 1 ] && [ "$failed" -ne 0 ]; then
  echo "device_seal_figures: a limit is missed" >&2
  exit 1
fi
