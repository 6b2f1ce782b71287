#!/usr/bin/env bash
# The device library's figures on a Cortex-M0, built as firmware makers build
# it (Debian's arm-none-eabi-gcc with picolibc's headers, -Os -mcpu=cortex-m0
# -mthumb, one section per function): code and data size, the context's
# size, the stack of the deepest call (bounded by the sum of every function's
# frame: nothing recurses) and the symbols it needs from outside. Prints one table, each
# figure beside its limit; with --check it exits 1 when any limit is missed.
#
# Usage: bench/device_figures.sh [--check] [WORK_DIR]
set -euo pipefail
check=0
if [ "${1:-}" = --check ]; then
  check=1
  shift
fi
top="$(cd "$(dirname "$0")/.." && pwd)"
work="${1:-}"
if [ -z "$work" ]; then
  work="$(mktemp -d)"
  trap 'rm -rf "$work"' EXIT
fi
mkdir -p "$work"
cc=arm-none-eabi-gcc
flags=(--specs=picolibc.specs -std=c99 -Os -mcpu=cortex-m0 -mthumb -ffunction-sections -fdata-sections -fstack-usage
       -Wall -Wextra -Werror -pedantic -I"$top/device/include")

objects=()
for src in "$top"/device/src/*.c; do
  obj="$work/$(basename "$src" .c).o"
  (cd "$work" && "$cc" "${flags[@]}" -c "$src" -o "$obj")
  objects+=("$obj")
done
arm-none-eabi-ld -r -o "$work/library.o" "${objects[@]}"

# Section sizes of the combined object (sysv format: name, size, address).
section_sum() {
  arm-none-eabi-size -A "$work/library.o" | awk -v re="$1" '$1 ~ re { s += $2 } END { print s + 0 }'
}
text=$(section_sum '^\.text')
rodata=$(section_sum '^\.rodata')
data=$(section_sum '^\.data')
bss=$(section_sum '^\.bss')

# The context's size: an array of that size in a probe object.
printf '#include "melvorin_device.h"\nconst unsigned char mlvd_context_probe[sizeof(mlvd_device)] = {0};\n' >"$work/probe.c"
"$cc" "${flags[@]}" -c "$work/probe.c" -o "$work/probe.o"
context=$((16#$(arm-none-eabi-nm -S "$work/probe.o" | awk '$4 == "mlvd_context_probe" { print $2 }')))

# Every function's frame; all of them "static" (no dynamic allocation).
stack=$(cat "$work"/*.su | awk -F'\t' '{ s += $2 } END { print s + 0 }')
dynamic=$(cat "$work"/*.su | awk -F'\t' '$3 != "static"' | wc -l)
deepest=$(sort -t$'\t' -k2 -n -r "$work"/*.su | head -n 1 | awk -F'\t' '{ n = split($1, p, ":"); print p[n] " " $2 }')

undefined=$(arm-none-eabi-nm -u "$work/library.o" | awk '{ print $2 }' | sort | tr '\n' ' ')
extra=$(arm-none-eabi-nm -u "$work/library.o" | awk '{ print $2 }' | grep -v -x -E 'memcpy|memset|memcmp' | tr '\n' ' ' || true)

failed=0
row() {  # measure figure limit met
  printf '| %-44s | %-22s | %-16s | %-3s |\n' "$1" "$2" "$3" "$4"
  if [ "$4" != yes ]; then failed=1; fi
}
yes_no() { if [ "$1" -eq 1 ]; then echo yes; else echo no; fi; }

echo "device library on Cortex-M0: $($cc --version | head -n 1)"
printf '| %-44s | %-22s | %-16s | %-3s |\n' Measure Figure Limit Met
printf '|%s|%s|%s|%s|\n' "$(printf -- '-%.0s' {1..46})" "$(printf -- '-%.0s' {1..24})" \
  "$(printf -- '-%.0s' {1..18})" "-----"
row ".text (code), bytes" "$text" "<= 2048" "$(yes_no $((text <= 2048)))"
row ".rodata (constants), bytes" "$rodata" "-" yes
row ".data + .bss, bytes" "$((data + bss))" "0" "$(yes_no $((data + bss == 0)))"
row "context (sizeof mlvd_device), bytes" "$context" "<= 64" "$(yes_no $((context <= 64)))"
row "stack, all frames summed, bytes" "$stack" "<= 256" "$(yes_no $((stack <= 256 && dynamic == 0)))"
row "largest frame" "$deepest" "-" yes
row "undefined symbols" "${undefined:-none}" "memcpy memset memcmp" "$(yes_no $((${#extra} == 0)))"

if [ "$check" -eq 1 ] && [ "$failed" -ne 0 ]; then
  echo "device_figures: a limit is missed" >&2
  exit 1
fi
