#!/usr/bin/env bash
# Keeps Windows buildable: builds the libraries without widgets (file
# formats, settings store, result log, mail composition) for 64-bit Windows
# with Debian's MinGW-w64 into build-windows/, warnings as errors, and runs
# their check program (tests/windows/windows_check.cpp) under Wine. The same
# program is built natively into build-windows-native/ and both platforms'
# Shift-JIS conversions are compared over every one- and two-byte sequence
# and every character of the first Unicode plane: the Windows build converts
# with Windows' own code page 932, the native one with iconv.
#
# Installs the cross compiler and Wine when they are missing, through
# scripts/install-deps.sh. scripts/run-tests.sh runs it last.
set -euo pipefail
cd "$(dirname "$0")/.."

started=$(date +%s)

# The cross compiler (its posix threading flavour: see the toolchain file)
# and a 64-bit Wine, with what the project needs anyway.
bash scripts/install-deps.sh g++-mingw-w64-x86-64-posix wine64

jobs=$(nproc 2>/dev/null || echo 2)

cmake -S . -B build-windows -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMOLVANE_WIDGET_FREE_ONLY=ON \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_COMPILE_WARNING_AS_ERROR=ON
cmake --build build-windows -j"$jobs"
cmake -S . -B build-windows-native -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMOLVANE_WIDGET_FREE_ONLY=ON
cmake --build build-windows-native -j"$jobs"

wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
scratch=$(mktemp -d)
# A Wine prefix of its own, made afresh (about 8 s) and removed with its
# server; no display is needed. Mono and Gecko are not asked for, and a 64-bit
# Wine alone cannot start 32-bit helpers, which wineboot mentions.
export WINEPREFIX="$scratch/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
  "$wineserver" -k 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT

if ! "$wine" wineboot --init >"$scratch/wineboot.log" 2>&1; then
  cat "$scratch/wineboot.log" >&2
  echo "Wine could not make its prefix" >&2
  exit 1
fi

# Wine makes no symbolic links itself, but follows the host's.
mkdir "$scratch/links"
printf '[LIFE]\r\n1=3\r\n' >"$scratch/links/real.INI"
ln -s real.INI "$scratch/links/link.INI"

status=0
echo "== natively"
build-windows-native/tests/windows/windows_check sample || status=1
echo "== on Windows (Wine)"
"$wine" build-windows/tests/windows/windows_check.exe sample "$scratch/links" || status=1

echo "== Shift-JIS: Windows' code page 932 against iconv"
build-windows-native/tests/windows/windows_check --table "$scratch/native.txt"
"$wine" build-windows/tests/windows/windows_check.exe --table "$scratch/windows.txt"
if cmp -s "$scratch/native.txt" "$scratch/windows.txt" && [ -s "$scratch/native.txt" ]; then
  echo "the same for all $(wc -l <"$scratch/native.txt") inputs"
else
  echo "the conversions differ (input, native, Windows):" >&2
  diff "$scratch/native.txt" "$scratch/windows.txt" | head -40 >&2 || true
  status=1
fi

echo "Windows check done in $(($(date +%s) - started)) s"
exit "$status"
