#!/usr/bin/env bash
# Installs what is needed, builds Molvane and starts it on the bundled sample
# data, in a working folder of its own (workdir/) so that the samples stay
# as shipped. Without a display it runs under Xvfb and says so.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)
# The same configuration as scripts/run-tests.sh: one build serves both.
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$jobs" --target molvane molvane_manual

work=workdir
mkdir -p "$work"
# Copy the samples without replacing what a user changed there before.
cp -rn sample/. "$work"/
# The program lives beside its data, in a folder of its own: opening the settings
# dialog makes the program's folder the current one, and bare question file
# names are looked up there from then on.
# Its modules (mail, sounds) and the manual go beside it, as they would in a
# folder of one's own.
cp build/molvane build/molvane-mail.so build/molvane-sound.so "$work"/
rm -rf "$work"/manual
cp -r build/manual "$work"/manual
cd "$work"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: running Molvane under Xvfb (a virtual display you cannot see)."
  exec xvfb-run -a -s "-screen 0 1024x768x24" ./molvane
fi
exec ./molvane
