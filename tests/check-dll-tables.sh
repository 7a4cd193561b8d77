#!/bin/sh
# Fails when vesker.DLL imports anything beyond its allowed system DLLs, the
# functions of its import table below and the archiver's ordinal 1, exports
# anything beyond its server functions, carries static constructors, or has a
# helper of its own (memset and the like) that calls itself or another helper.
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

# Every function the DLL imports by name, as "<DLL> <function>". A new import
# is a new dependency of the component: add it here on purpose. The module
# heap's census (HeapLock, HeapWalk, HeapUnlock) is test support and must not
# come back.
expected_imports='ADVAPI32.DLL RegCloseKey
ADVAPI32.DLL RegCreateKeyExA
ADVAPI32.DLL RegDeleteKeyA
ADVAPI32.DLL RegDeleteValueA
ADVAPI32.DLL RegEnumKeyExA
ADVAPI32.DLL RegOpenKeyExA
ADVAPI32.DLL RegQueryInfoKeyA
ADVAPI32.DLL RegQueryValueExA
ADVAPI32.DLL RegSetValueExA
KERNEL32.DLL DebugBreak
KERNEL32.DLL DeleteCriticalSection
KERNEL32.DLL DisableThreadLibraryCalls
KERNEL32.DLL EnterCriticalSection
KERNEL32.DLL FindResourceA
KERNEL32.DLL FreeLibrary
KERNEL32.DLL GetACP
KERNEL32.DLL GetCPInfo
KERNEL32.DLL GetLastError
KERNEL32.DLL GetModuleFileNameA
KERNEL32.DLL HeapAlloc
KERNEL32.DLL HeapCreate
KERNEL32.DLL HeapDestroy
KERNEL32.DLL HeapFree
KERNEL32.DLL HeapReAlloc
KERNEL32.DLL InitializeCriticalSection
KERNEL32.DLL IsDBCSLeadByte
KERNEL32.DLL LeaveCriticalSection
KERNEL32.DLL LoadLibraryExA
KERNEL32.DLL LoadResource
KERNEL32.DLL LockResource
KERNEL32.DLL MultiByteToWideChar
KERNEL32.DLL SizeofResource
KERNEL32.DLL WideCharToMultiByte
KERNEL32.DLL lstrcmpiA
KERNEL32.DLL lstrcpyA
KERNEL32.DLL lstrcpynA
KERNEL32.DLL lstrlenA
KERNEL32.DLL lstrlenW
OLE32.DLL CoTaskMemAlloc
OLE32.DLL CoTaskMemFree
OLE32.DLL CoTaskMemRealloc
OLE32.DLL SetErrorInfo
OLEAUT32.DLL LoadRegTypeLib
OLEAUT32.DLL LoadTypeLib
OLEAUT32.DLL RegisterTypeLib
OLEAUT32.DLL SysAllocString
OLEAUT32.DLL SysAllocStringLen
OLEAUT32.DLL SysFreeString
OLEAUT32.DLL SysStringLen
OLEAUT32.DLL VarI4FromStr
USER32.DLL CharNextA'
imports=$(printf '%s\n' "$dump" |
          awk '/DLL Name:/ {dll = toupper($3); f = 1; next}
               f && /^[[:space:]]*$/ {f = 0}
               f && !/vma:/ && NF == 3 && $3 != "<none>" {print dll, $3}')
extra=$(printf '%s\n' "$imports" | grep -vxF "$expected_imports" || true)
missing=$(printf '%s\n' "$expected_imports" | grep -vxF "$imports" || true)
[ -z "$extra$missing" ] || fail "imports beyond the table: ${extra:-none}; missing from the DLL: ${missing:-none}"

exports=$(printf '%s\n' "$dump" | sed -n 's/^[[:space:]]*\[ *[0-9][0-9]*\] \([^ ]*\)$/\1/p' | sort | tr '\n' ' ')
expected=${VESKER_EXPECTED_EXPORTS:-"DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer"}
want=$(printf '%s\n' $expected | sort | tr '\n' ' ')
[ "$exports" = "$want" ] || fail "exports are '$exports', expected '$want'"

# No static constructors or runtime start-up: the constructor table must be empty.
if $objdump -h "$dll" | grep -Eq '\.(ctors|init_array|CRT)'; then
    size=$($objdump -h "$dll" | awk '/\.(ctors|init_array)/ {print $3}')
    for s in $size; do [ "$((0x$s))" -le 8 ] || fail "static constructors present"; done
fi
# The DLL's own helpers: its unmangled functions other than the exports. The
# compiler may turn a helper's loop into a call to that very helper, which
# recurses until the stack is gone; so no helper may call or jump to the entry
# of any helper, itself included.
symbols=$($objdump -t "$dll")
helpers=$(printf '%s\n' "$symbols" | awk '/\(sec +1\)/ && /\(scl +2\)/ {print $NF}' |
          grep -v -e '^__Z' -e '^_Dll' -e '_[CD]TOR_LIST__$' | sort -u | tr '\n' ' ')
for required in _memset _memcpy _memmove _memcmp; do
    case " $helpers" in *" $required "*) ;; *) fail "helper $required not found among: $helpers" ;; esac
done
calls=$($objdump -d "$dll" | awk -v helpers="$helpers" '
    BEGIN { n = split(helpers, list, " "); for (i = 1; i <= n; i++) helper["<" list[i] ">"] = 1 }
    /^[0-9a-f]+ <[^>]*>:$/ { name = $2; sub(/:$/, "", name); inside = (name in helper); next }
    inside && ($0 ~ /\t(call|j[a-z]+) /) && ($NF in helper) { print name " -> " $NF }')
[ -z "$calls" ] || fail "helpers call helpers: $calls"
echo "dll_tables: imports $dlls; exports $exports; helpers $helpers"
