#!/bin/sh
# Checks the dynamic symbols of the shipped libraries:
#   check-exports.sh LIBQXCOM LIBQXNET PLATFORM_HEADER
# libqxcom carries its SONAME and exports exactly the functions declared in
# the extern "C" block of the public header (so no C++ symbol); libqxnet
# exports exactly the four module entry points.
set -eu
qxcom=$1 qxnet=$2 header=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0

# Defined dynamic symbols, without version suffixes.
exports() { nm -D --defined-only "$1" | awk '{ sub(/@.*/, "", $3); print $3 }' | sort -u; }

compare() {  # compare LIBRARY EXPECTED-FILE
  exports "$1" >"$work/actual"
  if ! diff -u "$2" "$work/actual" >"$work/diff"; then
    echo "FAIL: $1 exports differ from the expected list (- missing, + extra):"
    sed -n '3,$p' "$work/diff" | grep '^[-+]'
    status=1
  fi
}

soname=$(readelf -d "$qxcom" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
if [ "$soname" != "libqxcom.so.1" ]; then
  echo "FAIL: $qxcom has SONAME '$soname', expected libqxcom.so.1"
  status=1
fi

# The header's C functions: every "Name(" inside extern "C" { ... }.
sed -n '/^extern "C" {/,/^}  \/\/ extern "C"/p' "$header" | sed 's://.*::' |
  grep -o '[A-Za-z_][A-Za-z0-9_]*[[:space:]]*(' | tr -d '( \t' | sort -u >"$work/qxcom"
if [ "$(wc -l <"$work/qxcom")" -lt 40 ]; then
  echo "FAIL: found only $(wc -l <"$work/qxcom") functions in $header"
  status=1
fi
compare "$qxcom" "$work/qxcom"

printf '%s\n' DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer |
  sort >"$work/qxnet"
compare "$qxnet" "$work/qxnet"

[ "$status" -eq 0 ] && echo "exports of $(basename "$qxcom") and $(basename "$qxnet") as declared"
exit "$status"
