#!/bin/sh
# Fails when vesker.DLL imports anything beyond its allowed system DLLs and the
# archiver's ordinal 1, exports anything beyond its server functions, or carries
# static constructors.
set -eu
objdump=$1 dll=$2
fail() { echo "dll_tables: $*" >&2; exit 1; }
dump=$($objdump -p "$dll")

dlls=$(printf '%s\n' "$dump" | sed -n 's/^\tDLL Name: //p' | tr 'a-z' 'A-Z' | sort -u | tr '\n' ' ')
for d in $dlls; do
    case "$d" in
        KERNEL32.DLL|USER32.DLL|ADVAPI32.DLL|OLE32.DLL|OLEAUT32.DLL|UNLHA32.DLL) ;;
        *) fail "unexpected import library $d" ;;
    esac
done

# The archiver library: exactly one import, by ordinal 1. objdump lists each
# import of a DLL as "<thunk> <hint or ordinal> <name>" after the "vma:" header
# line; an import by ordinal has the thunk's top bit set and no name.
unlha=$(printf '%s\n' "$dump" |
        awk 'tolower($0) ~ /dll name: unlha32\.dll/ {f=1; next}
             /DLL Name:/ {f=0}
             f && /^[[:space:]]*$/ {f=0}
             f && !/vma:/ {print}')
count=$(printf '%s\n' "$unlha" | grep -c '[0-9a-f]' || true)
[ "$count" -eq 1 ] || fail "UNLHA32.dll imports: expected 1, got $count: $unlha"
set -- $unlha
[ $# -eq 3 ] && [ "$2" = 1 ] && [ "$3" = "<none>" ] && [ $((0x$1 & 0x80000000)) -ne 0 ] ||
    fail "UNLHA32.dll import is not by ordinal 1: $unlha"

exports=$(printf '%s\n' "$dump" | sed -n 's/^[[:space:]]*\[ *[0-9][0-9]*\] \([^ ]*\)$/\1/p' | sort | tr '\n' ' ')
expected=${VESKER_EXPECTED_EXPORTS:-"DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer"}
want=$(printf '%s\n' $expected | sort | tr '\n' ' ')
[ "$exports" = "$want" ] || fail "exports are '$exports', expected '$want'"

# No static constructors or runtime start-up: the constructor table must be empty.
if $objdump -h "$dll" | grep -Eq '\.(ctors|init_array|CRT)'; then
    size=$($objdump -h "$dll" | awk '/\.(ctors|init_array)/ {print $3}')
    for s in $size; do [ "$((0x$s))" -le 8 ] || fail "static constructors present"; done
fi
echo "dll_tables: imports $dlls; exports $exports"
