#!/usr/bin/env bash
# Checks a PE file's export and import tables as objdump -p prints them.
#   pe-check.sh OBJDUMP FILE exports-exactly NAME...       the named exports, no more, no less
#   pe-check.sh OBJDUMP FILE exports-ordinal-only ORDINAL   ORDINAL is exported and has no name
#   pe-check.sh OBJDUMP FILE imports-name DLL NAME          NAME is imported by name from DLL
#   pe-check.sh OBJDUMP FILE imports-ordinal-only DLL ORD   DLL gives exactly ordinal ORD, no names
#   pe-check.sh OBJDUMP FILE dlls-within DLL...             imported DLLs are among these
#   pe-check.sh OBJDUMP FILE lacks-text TEXT                TEXT appears nowhere in the file
#   pe-check.sh OBJDUMP FILE lacks-symbols ERE              (FILE with symbols) no symbol matches
#   pe-check.sh OBJDUMP FILE seh-handlers-allowed            (i686) Windows may call any exception
#       handler in the image: not marked NO_SEH, and no load configuration (so no SafeSEH table)
#   pe-check.sh OBJDUMP FILE import-used-under-chain-head SLOT
#       (i686, FILE with symbols) every instruction that reads the import slot SLOT lies in a
#       function that puts its own record at the head of the exception chain (esp into FS:[0])
#   pe-check.sh OBJDUMP FILE subsystem NUMBER               the optional header's subsystem
#   pe-check.sh OBJDUMP FILE relocatable-image              an image, not a DLL (no IMAGE_FILE_DLL),
#       with its base relocations kept (no IMAGE_FILE_RELOCS_STRIPPED)
# Exits 1 with a message when the file does not match.
set -uo pipefail
objdump=$1 file=$2 check=$3
nm=${objdump%objdump}nm
shift 3
dump=$("$objdump" -p "$file") || { echo "cannot read $file"; exit 1; }

named_exports() {
  awk '/^\[Ordinal\/Name Pointer\] Table/ {on=1; next} on && /^$/ {on=0} on {print $NF}' <<<"$dump"
}
# Ordinals in the export address table (objdump prints "[i] +base[ORD] rva ...").
exported_ordinals() {
  awk '/^Export Address Table/ {on=1; next} on && /^$/ {on=0} on' <<<"$dump" |
    sed -nE 's/.*\+base\[ *([0-9]+)\].*/\1/p'
}
# The lines of one DLL's import block: "vma  hint-or-ordinal  name-or-<none>".
imports_of() {
  awk -v dll="$1" 'BEGIN{IGNORECASE=1}
    /^\tDLL Name:/ {on = (tolower($3) == tolower(dll)); next}
    on && /^$/ {on=0}
    on && /^\t[0-9a-f]+\t/ {print}' <<<"$dump"
}
fail() { echo "FAIL $file: $*"; exit 1; }

case $check in
  exports-exactly)
    want=$(printf '%s\n' "$@" | sort)
    got=$(named_exports | sort)
    [ "$want" = "$got" ] || fail "exports differ: wanted [$(echo $want)] got [$(echo $got)]"
    ;;
  exports-ordinal-only)
    exported_ordinals | grep -qx "$1" || fail "ordinal $1 not exported"
    # The name table indexes the address table (ordinal - base): a named ordinal appears there.
    base=$(sed -nE 's/^Export Address Table -- Ordinal Base ([0-9]+).*/\1/p' <<<"$dump")
    awk '/^\[Ordinal\/Name Pointer\] Table/ {on=1; next} on && /^$/ {on=0} on' <<<"$dump" |
      sed -nE 's/^\t\[ *([0-9]+)\].*/\1/p' | grep -qx "$(($1 - base))" && fail "ordinal $1 has a name"
    ;;
  imports-name)
    imports_of "$1" | awk '{print $NF}' | grep -qxF "$2" || fail "$2 not imported by name from $1"
    ;;
  imports-ordinal-only)
    lines=$(imports_of "$1")
    [ -n "$lines" ] || fail "nothing imported from $1"
    # An ordinal import prints the ordinal (zero-padded on x64) and "<none>" for the name.
    entries=$(echo "$lines" | awk '{print ($3 == "<none>" ? "ordinal " $2 + 0 : "name " $NF)}')
    echo "$entries" | grep -qx "ordinal $2" || fail "$1 ordinal $2 not imported"
    others=$(echo "$entries" | grep -vx "ordinal $2")
    [ -z "$others" ] || fail "$1 gives more than ordinal $2: $others"
    ;;
  dlls-within)
    allowed=$(printf '%s\n' "$@" | tr 'A-Z' 'a-z')
    while read -r dll; do
      grep -qxF "$(tr 'A-Z' 'a-z' <<<"$dll")" <<<"$allowed" || fail "unexpected DLL dependency $dll"
    done < <(sed -nE 's/^\tDLL Name: (.*)$/\1/p' <<<"$dump")
    ;;
  lacks-text)
    ! grep -qaF "$1" "$file" || fail "contains the text $1"
    ;;
  lacks-symbols)
    found=$("$nm" "$file" | awk '{print $NF}' | grep -E "$1")
    [ -z "$found" ] || fail "has symbols matching $1: $(echo $found | cut -c1-200)"
    ;;
  seh-handlers-allowed)
    flags=$(awk '/^DllCharacteristics/ {print $2}' <<<"$dump")
    (( (0x$flags & 0x400) == 0 )) || fail "marked NO_SEH"
    grep -qE '^Entry a 0+ 0+ Load Configuration' <<<"$dump" || fail "has a load configuration"
    ;;
  import-used-under-chain-head)
    slot=$("$nm" "$file" | awk -v s="$1" '$3 == s {print $1}')
    [ -n "$slot" ] || fail "no import slot $1"
    # objdump -d heads each function with "ADDR <name>:" and prints the slot as 0x without zeros.
    users=$("$objdump" -d "$file" | awk -v slot="$(printf '0x%x' "0x$slot")" '
      /^[0-9a-f]+ <.*>:$/ {fn = $2; next}
      /mov +%esp,%fs:0x0$/ {head[fn] = 1}
      index($0, slot) && substr($0, index($0, slot) + length(slot), 1) !~ /[0-9a-f]/ {used[fn] = 1}
      END {for (f in used) print f, (f in head) ? "heads-chain" : "direct"}')
    [ -n "$users" ] || fail "$1 is never used"
    direct=$(grep -v ' heads-chain$' <<<"$users")
    [ -z "$direct" ] || fail "$1 used outside a chain-heading function: $(echo $direct)"
    ;;
  subsystem)
    got=$(sed -nE 's/^Subsystem[[:space:]]+([0-9a-fA-F]+).*/\1/p' <<<"$dump")
    [ -n "$got" ] && [ $((16#$got)) -eq "$1" ] || fail "subsystem ${got:-none}, wanted $1"
    ;;
  relocatable-image)
    flags=$(awk '/^Characteristics/ {print $2}' <<<"$dump")
    [ -n "$flags" ] || fail "no characteristics"
    (( (flags & 0x2000) == 0 )) || fail "flagged as a DLL (characteristics $flags)"
    (( (flags & 0x0001) == 0 )) || fail "relocations stripped (characteristics $flags)"
    ;;
  *) echo "unknown check $check"; exit 2 ;;
esac
echo "ok $file: $check $*"
