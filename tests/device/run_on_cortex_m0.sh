#!/usr/bin/env bash
# Builds the device library and its wire vectors for a Cortex-M0 (the
# micro:bit's nRF51: flash at 0, 16 KiB of RAM) with Debian's arm-none-eabi-gcc
# and picolibc, and runs them under qemu-system-arm with semihosting: the
# vectors print their failures and the exit code comes back through QEMU.
#   run_on_cortex_m0.sh WORK_DIR
set -euo pipefail
top="$(cd "$(dirname "$0")/../.." && pwd)"
work="$1"
mkdir -p "$work"
elf="$work/device_vectors_m0.elf"
arm-none-eabi-gcc -std=c99 -Os -mcpu=cortex-m0 -mthumb -Wall -Wextra -Werror -pedantic \
  --specs=picolibc.specs --oslib=semihost \
  -Wl,--defsym=__flash=0 -Wl,--defsym=__flash_size=0x40000 \
  -Wl,--defsym=__ram=0x20000000 -Wl,--defsym=__ram_size=0x4000 -Wl,--defsym=__stack_size=4096 \
  -I"$top/device/include" "$top"/device/src/*.c \
  "$top/tests/device/vectors.c" "$top/tests/device/vectors_main.c" -o "$elf"
# No network device on this board; -nic none keeps QEMU from making one.
exec timeout 60 qemu-system-arm -M microbit -nographic -nic none -monitor none -serial none \
  -semihosting-config enable=on,target=native -kernel "$elf"
