#!/bin/sh
# Fails when the kernel's object files hold a fused multiply-add: such an
# instruction rounds once where the literal loop rounds twice, and changes
# pixels. Also fails when the AVX2 kernel holds no 256-bit multiply, which
# would mean the disassembly did not show what this check looks for.
# usage: no_fused_multiply_add.sh OBJDUMP OBJECT...
set -u
objdump=$1; shift
listing=$(mktemp); trap 'rm -f "$listing"' EXIT
status=0
for object in "$@"; do
  "$objdump" -d "$object" >"$listing" || { echo "cannot disassemble $object"; exit 1; }
  if grep -Eq 'vfn?m(add|sub)' "$listing"; then
    echo "fused multiply-add in $object:"; grep -E 'vfn?m(add|sub)' "$listing" | head -5
    status=1
  fi
  case $object in
    *kernel_avx2*)
      grep -Eq 'vmulpd +%ymm' "$listing" || { echo "no AVX2 multiply in $object"; status=1; } ;;
  esac
done
[ "$status" -eq 0 ] && echo "no fused multiply-add in $# object files"
exit "$status"
