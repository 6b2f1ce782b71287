#!/usr/bin/env bash
# One message sealed under Wine by seal_once.exe (the station's HPKE on
# libgcrypt's DLLs beside it), opened in Python by tests/seal/cross_check.py;
# the program writes nothing on stderr meanwhile: libgcrypt's note that the
# disk statistics are off ("diskperf -y"), which its entropy gatherer prints
# on its first poll under Wine, is not among what a user sees.
# Runs in the caller's private network namespace (wine-run).
#
# Usage: run_seal.sh WINE_PREFIX SEAL_ONCE_EXE CROSS_CHECK_PY
set -uo pipefail
prefix=${1:?usage: run_seal.sh WINE_PREFIX SEAL_ONCE_EXE CROSS_CHECK_PY}
program=${2:?} check=${3:?}
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
work=$(mktemp -d /tmp/mlv-seal.XXXXXX)
trap 'rm -rf "$work"' EXIT

# cross_check.py runs one program with the key, info, aad and plaintext.
cat >"$work/seal_once" <<END
#!/bin/sh
exec bash "$top/scripts/wine-run" "$prefix" "$program" "\$@" 2>>"$work/stderr"
END
chmod +x "$work/seal_once"
failed=0
python3 "$check" "$work/seal_once" || { echo "run_seal: the sealed message did not open in Python" >&2; failed=1; }
if [ -s "$work/stderr" ]; then
  echo "run_seal: seal_once.exe wrote on stderr:" >&2
  cat "$work/stderr" >&2
  failed=1
fi
exit "$failed"
