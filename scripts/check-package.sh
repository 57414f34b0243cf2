#!/usr/bin/env bash
# Builds the Debian package from build/ (configured and built by
# scripts/run-tests.sh or scripts/run-sample.sh) and checks it:
#   - lintian reports nothing worse than informational notes;
#   - unpacked into a scratch root, every program answers --version, the
#     desktop entry and the AppStream data validate, the icons exist in every
#     size, the manual's links resolve, every program has its man page, the
#     desktop entry's action opens the installed manual;
#   - the installed program's first start in an empty home fills ~/Molvane
#     with the samples, and a second start changes nothing there;
#   - as root: installed into a freshly bootstrapped Debian root with
#     --no-install-recommends, it has a Japanese font and the certificate
#     authorities, its programs answer without a display, and it adds at most
#     350 MB under /usr (scripts/check-clean-root.sh).
# With MOLVANE_SYSTEM_INSTALL_TEST=1, as root, it also installs the package on
# this machine with apt-get, checks it, removes and purges it again and checks
# that nothing of it is left (CI does this on its fresh machine).
set -euo pipefail
cd "$(dirname "$0")/.."

build=${MOLVANE_BUILD_DIR:-build}
version=$(sed -n 's/^project(Molvane VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "check-package: $*" >&2; exit 1; }

echo "== building the package"
rm -f "$build"/package/molvane_*.deb
(cd "$build" && cpack -G DEB >/dev/null 2>&1) || fail "cpack failed"
deb=$(ls "$build"/package/molvane_"$version"_*.deb)
echo "$deb"

echo "== lintian"
lintian --fail-on error,warning --display-info --pedantic "$deb" 2>&1 | grep -v "running with root privileges" || true
lintian --fail-on error,warning "$deb" >/dev/null 2>&1 || fail "lintian found errors or warnings"

echo "== the installed tree"
root=$scratch/root
dpkg-deb -x "$deb" "$root"
for program in "$root"/usr/bin/*; do
  out=$("$program" --version) || fail "$(basename "$program") --version failed"
  echo "$out"
done
[ "$("$root"/usr/bin/molvane --version)" = "molvane $version" ] || fail "molvane --version is not $version"
"$root"/usr/bin/molvane --help | grep -q "~/Molvane" || fail "molvane --help does not explain the working folder"
"$root"/usr/bin/molvane --help | grep -q "/usr/share/molvane/manual/index.html" \
  || fail "molvane --help does not name the installed manual"
set +e
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root"/usr/bin/molvane --no-such-option >/dev/null 2>"$scratch/err"
status=$?
set -e
[ "$status" -eq 2 ] && grep -q -- "--no-such-option" "$scratch/err" || fail "a bad argument is not refused without a display"
desktop=$root/usr/share/applications/org.molvane.Molvane.desktop
desktop-file-validate "$desktop" || fail "the desktop entry does not validate"
exec_line=$(sed -n 's/^Exec=//p' "$desktop" | head -n 1)
[ -x "$root/usr/bin/${exec_line%% *}" ] || fail "the desktop entry starts ${exec_line}, which is not installed"
appstreamcli validate --no-net "$root"/usr/share/metainfo/org.molvane.Molvane.metainfo.xml \
  || fail "the AppStream data does not validate"
python3 scripts/check_installed_tree.py "$root" || fail "the installed tree has faults"
# The desktop entry's action 説明書 hands the installed manual to the
# desktop's opener (here one that only notes what it was given) and waits
# for its verdict; it needs no display of its own.
action=$(sed -n '/^\[Desktop Action manual\]/,/^\[/s/^Exec=//p' "$desktop")
mkdir "$scratch/opener"
printf '#!/bin/sh\necho "$1" > "%s/opened"\n' "$scratch/opener" > "$scratch/opener/xdg-open"
chmod +x "$scratch/opener/xdg-open"
PATH="$scratch/opener:$root/usr/bin:$PATH" env -u DISPLAY ${action} >/dev/null 2>&1 || fail "the action $action failed"
[ "$(cat "$scratch/opener/opened" 2>/dev/null)" = "file://$root/usr/share/molvane/manual/index.html" ] \
  || fail "the action $action did not open the installed manual"

echo "== first and second start in an empty home"
home=$scratch/home
mkdir "$home"
start() {
  # The window stays open; it is closed after a few seconds.
  HOME=$home QT_QPA_PLATFORM=offscreen timeout 4 "$root"/usr/bin/molvane >/dev/null 2>&1 || true
}
snapshot() { (cd "$home" && find . -printf '%p %s %T@ %m\n' | sort); }
start
diff -r "$root"/usr/share/molvane/sample "$home"/Molvane || fail "the first start did not copy the samples"
[ "$(stat -c %a "$home"/Molvane)" = 700 ] || fail "~/Molvane is not the user's alone"
[ "$(stat -c %a "$home"/Molvane/Parameter.INI)" = 600 ] || fail "Parameter.INI is not the user's alone"
before=$(snapshot)
start
[ "$(snapshot)" = "$before" ] || fail "the second start changed the per-user folder"
echo "filled once, left alone the second time"

# Installed as an administrator sets up a test PC: a freshly bootstrapped
# Debian root, --no-install-recommends (scripts/check-clean-root.sh). It
# needs root; MOLVANE_CLEAN_ROOT=0 leaves it out.
if [ "${MOLVANE_CLEAN_ROOT:-1}" = 0 ]; then
  echo "== clean root: left out (MOLVANE_CLEAN_ROOT=0)"
elif [ "$(id -u)" -ne 0 ]; then
  echo "== clean root: left out (it needs root)"
else
  bash scripts/check-clean-root.sh "$deb" || fail "the package does not work on a clean system"
fi

if [ "${MOLVANE_SYSTEM_INSTALL_TEST:-0}" = 1 ]; then
  echo "== installing on this machine"
  [ "$(id -u)" -eq 0 ] || fail "installing on this machine needs root"
  ! dpkg-query -W -f='${Status}' molvane 2>/dev/null | grep -q "install ok installed" \
    || fail "molvane is installed already; remove it first"
  export DEBIAN_FRONTEND=noninteractive
  apt="apt-get -o DPkg::Lock::Timeout=900 -y -q --no-install-recommends"
  $apt install "$(realpath "$deb")"
  dpkg-query -W -f='${Status}' molvane | grep -q "install ok installed" || fail "not installed"
  [ "$(molvane --version)" = "molvane $version" ] || fail "the installed molvane does not answer --version"
  dpkg -L molvane | sort > "$scratch/files"
  while read -r f; do [ -e "$f" ] || fail "$f of the package is missing"; done < "$scratch/files"
  $apt remove molvane
  # It has no configuration files, so removing it leaves nothing for apt to
  # purge; dpkg purges whatever state there is.
  dpkg --purge molvane
  dpkg-query -W -f='${Status}' molvane 2>/dev/null | grep -q "installed" && fail "still installed after purge"
  left=0
  while read -r f; do
    if [ -f "$f" ] || [ -L "$f" ]; then echo "left behind: $f"; left=1; fi
  done < "$scratch/files"
  for d in /usr/share/molvane /usr/lib/*/molvane /usr/share/doc/molvane; do
    if [ -e "$d" ]; then echo "left behind: $d"; left=1; fi
  done
  [ "$left" -eq 0 ] || fail "the package left files behind"
  dpkg --audit | grep -q . && fail "dpkg --audit reports problems"
  echo "installed, removed and purged cleanly"
fi
echo "== package checked: $deb"
