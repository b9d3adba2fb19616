#!/bin/sh
# Fails when the kernel's object files hold a fused multiply-add: such an
# instruction rounds once where the literal loop rounds twice, and changes
# pixels. Also fails when the AVX2 or AVX-512 kernel holds no multiply of its
# width, which would mean the disassembly did not show what this check looks
# for, and when 32-bit code moves a 256- or 512-bit value to or from the stack
# with an aligned move: Windows aligns 32-bit stacks to 16 bytes only.
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
  if grep -Eq 'vmov(ap[sd]|dqa(32|64)?) .*%[yz]mm.*\(%e(sp|bp)|vmov(ap[sd]|dqa(32|64)?) .*\(%e(sp|bp)\).*%[yz]mm' "$listing"; then
    echo "aligned wide vector move on the 32-bit stack in $object"; status=1
  fi
  case $object in
    *kernel_avx2*)
      grep -Eq 'vmulpd +%ymm' "$listing" || { echo "no AVX2 multiply in $object"; status=1; } ;;
    *kernel_avx512*)
      grep -Eq 'vmulpd +%zmm' "$listing" || { echo "no AVX-512 multiply in $object"; status=1; } ;;
  esac
done
[ "$status" -eq 0 ] && echo "no fused multiply-add in $# object files"
exit "$status"
