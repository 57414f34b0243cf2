#!/usr/bin/env bash
# Installs a built package the way an administrator sets up a test PC and
# checks what a clean system gives it:
#   bash scripts/check-clean-root.sh build/package/molvane_1.4.0_amd64.deb
#
# A Debian 12 minbase root is bootstrapped (debootstrap, from the package
# mirror this machine uses), the package is installed into it with
# `apt-get install --no-install-recommends`, and there:
#   - a font with Japanese glyphs is present (fc-list :lang=ja);
#   - the system's certificate authorities are present;
#   - every program of the package answers --version, and a bad argument
#     with exit status 2, with no display;
#   - the install adds at most MOLVANE_MAX_INSTALL_MB (350) MB under /usr.
# Where an X server can be started, the installed program is started on it
# and a picture of its window is saved beside the package
# (<package folder>/clean-root.png), to look at.
#
# Needs root (chroot, mounting /proc). The bootstrapped root and the packages
# downloaded into it are kept in ${XDG_CACHE_HOME:-~/.cache}/molvane/clean-root
# (MOLVANE_CLEAN_ROOT_CACHE), so that a second run downloads nothing; a base
# older than a week is bootstrapped again. Each run works on a fresh copy.
set -euo pipefail
cd "$(dirname "$0")/.."

fail() { echo "check-clean-root: $*" >&2; exit 1; }

[ $# -eq 1 ] || fail "usage: $0 PACKAGE.deb"
deb=$(realpath "$1")
[ -f "$deb" ] || fail "$1: no such package"
[ "$(id -u)" -eq 0 ] || fail "needs root (debootstrap and chroot)"
command -v debootstrap >/dev/null || fail "debootstrap is not installed (scripts/install-deps.sh installs it)"

max_mb=${MOLVANE_MAX_INSTALL_MB:-350}
suite=bookworm
arch=$(dpkg --print-architecture)
cache=${MOLVANE_CLEAN_ROOT_CACHE:-${XDG_CACHE_HOME:-${HOME:-/root}/.cache}/molvane/clean-root}
mkdir -p "$cache/archives"

# The Debian mirror and security archive this machine installs from.
apt_uris() {
  # one-line sources and deb822 sources alike: "URI SUITE" pairs
  {
    cat /etc/apt/sources.list 2>/dev/null | awk '$1 == "deb" { u = $2; if (u ~ /^\[/) u = $3; s = ($2 ~ /^\[/) ? $4 : $3; print u, s }'
    for f in /etc/apt/sources.list.d/*.list; do
      [ -f "$f" ] && awk '$1 == "deb" { u = $2; s = $3; if (u ~ /^\[/) { u = $3; s = $4 } print u, s }' "$f"
    done
    for f in /etc/apt/sources.list.d/*.sources; do
      [ -f "$f" ] && awk '
        /^[[:space:]]*$/ { if (u != "") for (i in s) print u, s[i]; u = ""; delete s; next }
        /^URIs:/ { u = $2 }
        /^Suites:/ { for (i = 2; i <= NF; i++) s[i] = $i }
        END { if (u != "") for (i in s) print u, s[i] }' "$f"
    done
  } 2>/dev/null
}
mirror=$(apt_uris | awk -v s="$suite" '$2 == s { print $1; exit }')
security=$(apt_uris | awk -v s="$suite-security" '$2 == s { print $1; exit }')
mirror=${mirror:-http://deb.debian.org/debian}
security=${security:-http://deb.debian.org/debian-security}

# The bootstrapped base, made once (under a lock, as runs may overlap) and
# kept as a tar file.
base=$cache/$suite-minbase-$arch.tar
(
  flock 9
  if [ -f "$base" ] && [ -z "$(find "$base" -mtime +7)" ]; then
    exit 0
  fi
  echo "== bootstrapping a $suite minbase root from $mirror"
  work=$(mktemp -d "$cache/bootstrap.XXXXXX")
  trap 'rm -rf --one-file-system "$work"' EXIT
  start=$(date +%s)
  debootstrap --variant=minbase --arch="$arch" "$suite" "$work/root" "$mirror" >"$work/log" 2>&1 \
    || { tail -n 20 "$work/log" >&2; exit 1; }
  tar -C "$work/root" --numeric-owner -cf "$work/base.tar" .
  mv "$work/base.tar" "$base"
  echo "bootstrapped in $(($(date +%s) - start)) s"
) 9>"$cache/lock" || fail "debootstrap failed"

scratch=$(mktemp -d "${TMPDIR:-/tmp}/molvane-clean-root.XXXXXX")
root=$scratch/root
xvfb_pid=
cleanup() {
  local status=$?
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  # Whatever is still mounted inside the root comes off before anything is
  # removed, and nothing is removed across a mount point.
  grep -o " $root/[^ ]*" /proc/mounts 2>/dev/null | sort -r | while read -r m; do
    umount "$m" 2>/dev/null || umount -l "$m" 2>/dev/null || true
  done
  if grep -q " $root/" /proc/mounts 2>/dev/null; then
    echo "check-clean-root: left $scratch in place: something is still mounted in it" >&2
  else
    rm -rf --one-file-system "$scratch"
  fi
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

mkdir "$root"
tar -C "$root" --numeric-owner -xf "$base"
mount -t proc proc "$root/proc"
cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
cat > "$root/etc/apt/sources.list" <<EOF
deb $mirror $suite main
deb $mirror $suite-updates main
deb $security $suite-security main
EOF
# No service starts inside the root.
printf '#!/bin/sh\nexit 101\n' > "$root/usr/sbin/policy-rc.d"
chmod +x "$root/usr/sbin/policy-rc.d"
cp "$deb" "$root/tmp/"
# Packages downloaded by earlier runs.
find "$cache/archives" -maxdepth 1 -name '*.deb' -exec cp -t "$root/var/cache/apt/archives/" {} +

in_root() { chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "$@"; }
usr_mb() { du -sx --block-size=1M "$root/usr" | cut -f1; }

echo "== installing $(basename "$deb") with --no-install-recommends"
start=$(date +%s)
before=$(usr_mb)
in_root apt-get -q update >"$scratch/apt.log" 2>&1 || { tail -n 20 "$scratch/apt.log" >&2; fail "apt-get update failed in the root"; }
in_root env DEBIAN_FRONTEND=noninteractive apt-get -q -y --no-install-recommends \
  -o Dpkg::Options::=--force-unsafe-io install "/tmp/$(basename "$deb")" \
  >>"$scratch/apt.log" 2>&1 || { tail -n 30 "$scratch/apt.log" >&2; fail "the package does not install"; }
find "$root/var/cache/apt/archives" -maxdepth 1 -name '*.deb' -exec cp -n -t "$cache/archives/" {} +
in_root apt-get clean
after=$(usr_mb)
added=$((after - before))
echo "installed in $(($(date +%s) - start)) s; the install adds $added MB under /usr (at most $max_mb)"
[ "$added" -le "$max_mb" ] || fail "the install adds $added MB under /usr, more than $max_mb MB"

echo "== what a clean system gives the program"
programs=$(in_root dpkg -L molvane | grep '^/usr/bin/' || true)
[ -n "$programs" ] || fail "the package installs no program"
for program in $programs; do
  name=$(basename "$program")
  out=$(in_root "$program" --version) || fail "$name --version failed"
  echo "$out"
  set +e
  in_root "$program" --no-such-option >/dev/null 2>"$scratch/err"
  status=$?
  set -e
  [ "$status" -eq 2 ] || { cat "$scratch/err" >&2; fail "$name --no-such-option exits with $status, not 2, without a display"; }
  grep -q "no-such-option" "$scratch/err" || fail "$name does not name the argument it refuses"
done
ca=$root/etc/ssl/certs/ca-certificates.crt
[ -s "$ca" ] && grep -q "BEGIN CERTIFICATE" "$ca" || fail "no certificate authorities: $ca is missing"
echo "certificate authorities: $(grep -c "BEGIN CERTIFICATE" "$ca")"
command -v "$root/usr/bin/fc-list" >/dev/null || fail "fc-list is missing: the toolkit's fontconfig did not come along"
fonts=$(in_root fc-list :lang=ja family)
[ -n "$fonts" ] || fail "no font with Japanese glyphs (fc-list :lang=ja is empty)"
echo "Japanese fonts: $(echo "$fonts" | tr '\n' ' ')"

# The roster on a system whose authorities were taken away: it must say
# what is missing and count it as a mailbox it cannot read (3). A listener
# on loopback that never answers is enough: the authorities are loaded
# before the first TLS byte.
if [ -x "$root/usr/bin/molvane-roster" ]; then
  python3 -c 'import socket, sys, time
s = socket.socket(); s.bind(("127.0.0.1", 0)); s.listen()
print(s.getsockname()[1], flush=True); time.sleep(30)' >"$scratch/port" &
  listener=$!
  for _ in $(seq 1 50); do [ -s "$scratch/port" ] && break; sleep 0.1; done
  mv "$root/etc/ssl/certs" "$root/etc/ssl/certs.away"
  set +e
  in_root env MOLVANE_IMAP_PASSWORD=x molvane-roster --timeout 5 "imaps://u@127.0.0.1:$(cat "$scratch/port")/INBOX" \
    >/dev/null 2>"$scratch/err"
  status=$?
  set -e
  mv "$root/etc/ssl/certs.away" "$root/etc/ssl/certs"
  kill "$listener" 2>/dev/null; wait "$listener" 2>/dev/null || true
  [ "$status" -eq 3 ] && grep -q "ca-certificates" "$scratch/err" \
    || { cat "$scratch/err" >&2; fail "molvane-roster without certificate authorities exits with $status"; }
  echo "without authorities: $(cat "$scratch/err")"
fi

# The installed program on a real X server: the server runs outside the root
# and is reached through its abstract socket.
if command -v Xvfb >/dev/null && command -v import >/dev/null; then
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$scratch/display" >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 1 50); do [ -s "$scratch/display" ] && break; sleep 0.1; done
  display=:$(cat "$scratch/display")
  picture=$(dirname "$deb")/clean-root.png
  in_root env DISPLAY="$display" timeout 8 molvane >/dev/null 2>"$scratch/start.err" &
  started=$!
  sleep 4
  if ! kill -0 "$started" 2>/dev/null; then
    cat "$scratch/start.err" >&2
    fail "the installed program did not stay open on an X server"
  fi
  DISPLAY=$display import -window root "$picture" 2>/dev/null || true
  wait "$started" || true
  [ -s "$picture" ] && echo "the installed program's window: $picture"
fi
echo "== clean root checked"
