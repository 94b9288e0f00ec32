#!/usr/bin/env bash
# Runs the program against the simulated meter: installs what is missing, builds, starts the
# simulator on a pseudo-terminal holding a few packets, points the program's serial port at it,
# runs the program and stops the simulator when the program ends. Press Transfer to download;
# Setup then Make Certificate test runs the calibration test against the same meter.
# Extra arguments go to the simulator (for example --unpaced, or --fault hangup=300).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc 2>/dev/null || echo 2)

# Only the program and the simulator are needed here. KELOTARI_BUILD_DIR builds elsewhere
# than the default preset's folder.
if [ -n "${KELOTARI_BUILD_DIR:-}" ]; then
    cmake -S . -B "$KELOTARI_BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo
    cmake --build "$KELOTARI_BUILD_DIR" -j "$jobs" --target kelotari meter-sim
    bin="$KELOTARI_BUILD_DIR/bin"
else
    cmake --preset default
    cmake --build --preset default -j "$jobs" --target kelotari meter-sim
    bin=build/bin
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "Built. No display was found: run scripts/demo.sh from a desktop session" >&2
    echo "(or set QT_QPA_PLATFORM, for example to vnc, to show the window elsewhere)." >&2
    exit 1
fi

# The settings file the program reads: its own beside the executable, or the per-user copy
# that stands in for it when that exists.
settings="$bin/kelotari.INI"
user_settings="${XDG_CONFIG_HOME:-$HOME/.config}/Kelotari/kelotari.INI"
[ -f "$user_settings" ] && settings="$user_settings"

log=$(mktemp)
# The simulator writes [App] Port into the settings file (other lines stay as they are) and
# puts the old value back when it ends, unless the program's Quit has stored another port.
"$bin/meter-sim" --scenario tools/meter-sim/scenarios/demo.scn --name demo \
    --settings "$settings" "$@" >"$log" &
sim=$!
stop_sim() {
    kill "$sim" 2>/dev/null || true
    wait "$sim" 2>/dev/null || true
    rm -f "$log"
}
trap stop_sim EXIT

for _ in $(seq 100); do
    grep -q '^READY' "$log" && break
    if ! kill -0 "$sim" 2>/dev/null; then
        cat "$log" >&2
        echo "The simulated meter did not start." >&2
        exit 1
    fi
    sleep 0.1
done
grep -q '^READY' "$log" || { echo "The simulated meter did not start." >&2; exit 1; }

echo "Simulated meter on $(sed -n 's/^PORT //p' "$log"); the program's port is set to it in $settings."
echo "Press Transfer to download its packets, Clear to erase them; in Setup, Make Certificate"
echo "test runs the calibration test (press Next at each step)."
"$bin/kelotari"
