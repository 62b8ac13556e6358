#!/usr/bin/env bash
# Runs a command inside a private desktop for the end-to-end tests: its own X display
# (Xvfb), its own sound server (PulseAudio with a null sink) and a fresh Wine prefix.
#
#   scripts/e2e-env.sh [--prefix DIR] [--timeout SECONDS] [--wine-fonts] [--] command [args...]
#
# --prefix   the Wine prefix to create; it is deleted and made again (default:
#            ./e2e-wineprefix). Put it in a build tree.
# --timeout  how long the command may run before it is stopped (default 300 s).
# --wine-fonts  link Wine's own fonts into the new prefix (scripts/wine-system-fonts.sh), so
#            that the stock system font is Wine's "System" and not fontconfig's fallback
#
# The command sees DISPLAY, PULSE_SERVER, WINEPREFIX, WINEDEBUG=-all and
# WINEDLLOVERRIDES set, and /usr/lib/wine on PATH (wine64, wineserver). Whatever
# happens (the command fails, a start-up step fails, a signal arrives), the Wine
# server of the prefix is stopped and the X and sound servers started here are
# ended by their process ids. The exit status is the command's, or 1 when the
# environment could not be set up.
set -uo pipefail

WINE_DIR=/usr/lib/wine
WINE=$WINE_DIR/wine64
WINESERVER=$WINE_DIR/wineserver
START_TIMEOUT=30      # s for the X server and the sound server to come up
WINEBOOT_TIMEOUT=120  # s for a new Wine prefix

prefix=$PWD/e2e-wineprefix
run_timeout=300
wine_fonts=no
while [ $# -gt 0 ]; do
    case $1 in
        --prefix) prefix=$2; shift 2 ;;
        --timeout) run_timeout=$2; shift 2 ;;
        --wine-fonts) wine_fonts=yes; shift ;;
        --) shift; break ;;
        -*) echo "e2e-env.sh: unknown option $1" >&2; exit 2 ;;
        *) break ;;
    esac
done
if [ $# -lt 1 ]; then
    echo "usage: $0 [--prefix DIR] [--timeout SECONDS] [--wine-fonts] [--] command [args...]" >&2
    exit 2
fi
case $prefix in /*) ;; *) prefix=$PWD/$prefix ;; esac

say() { echo "e2e-env.sh: $*" >&2; }

for tool in Xvfb pulseaudio "$WINE" "$WINESERVER" timeout; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        say "$tool is not installed (scripts/install-deps.sh installs it)"
        exit 1
    fi
done

scratch=$(mktemp -d "${TMPDIR:-/tmp}/hl-e2e.XXXXXX") || exit 1
xvfb_pid=""
pulse_pid=""
command_pid=""
wine_used=no

# Shows the end of a server's log when it failed to start.
show_log() {
    if [ -s "$1" ]; then
        say "last lines of $(basename "$1"):"
        tail -n 15 "$1" | sed 's/^/    /' >&2
    fi
}

# Ends a process started here: TERM, then KILL if it has not gone within 5 s.
stop_pid() {
    local pid=$1
    [ -n "$pid" ] || return 0
    kill -TERM "$pid" 2>/dev/null || return 0
    local i
    for i in $(seq 50); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    return 0
}

cleanup() {
    trap '' INT TERM HUP
    # timeout passes the signal on to the whole process group of the command.
    stop_pid "$command_pid"
    if [ "$wine_used" = yes ]; then
        # Ends every Wine process of this prefix, then the server itself.
        WINEPREFIX=$prefix timeout 20 "$WINESERVER" -k 2>/dev/null
        WINEPREFIX=$prefix timeout 20 "$WINESERVER" -w 2>/dev/null
    fi
    stop_pid "$pulse_pid"
    stop_pid "$xvfb_pid"
    rm -rf "$scratch"
}
trap cleanup EXIT
trap 'say "interrupted"; exit 130' INT
trap 'say "terminated"; exit 143' TERM
trap 'say "hung up"; exit 129' HUP

# Waits until "$@" succeeds, polling every 0.1 s; fails after $1 seconds. $2 names what is
# waited for, $3 the PID whose death ends the wait early.
wait_until() {
    local limit=$1 what=$2 pid=$3
    shift 3
    local tries=$((limit * 10))
    while ! "$@"; do
        if [ -n "$pid" ] && ! kill -0 "$pid" 2>/dev/null; then
            say "$what: the process exited before it was ready"
            return 1
        fi
        tries=$((tries - 1))
        if [ "$tries" -le 0 ]; then
            say "timed out after ${limit} s waiting for $what"
            return 1
        fi
        sleep 0.1
    done
}

# --- X display -------------------------------------------------------------------------
# Xvfb picks a free display number and writes it to fd 3 once it accepts connections.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp \
    3>"$scratch/display" >"$scratch/xvfb.log" 2>&1 </dev/null &
xvfb_pid=$!
display_written() { grep -q '^[0-9][0-9]*$' "$scratch/display" 2>/dev/null; }
if ! wait_until "$START_TIMEOUT" "the X server (Xvfb) to report its display number" "$xvfb_pid" \
        display_written; then
    show_log "$scratch/xvfb.log"
    exit 1
fi
export DISPLAY=:$(head -n 1 "$scratch/display")
say "X display $DISPLAY (Xvfb pid $xvfb_pid)"

# --- Sound server ------------------------------------------------------------------------
# A null sink plays in real time into nothing; its monitor is the default source, so what
# is played into the sink can be captured again. Everything the server keeps goes to the
# scratch folder, and clients may not start a server of their own.
mkdir -p "$scratch/pulse/runtime" "$scratch/pulse/config"
socket=$scratch/pulse/native
cat >"$scratch/pulse/server.pa" <<EOF
load-module module-native-protocol-unix auth-anonymous=1 socket=$socket
load-module module-null-sink sink_name=nullout
set-default-sink nullout
set-default-source nullout.monitor
EOF
cat >"$scratch/pulse/client.conf" <<EOF
autospawn = no
EOF
XDG_RUNTIME_DIR=$scratch/pulse/runtime XDG_CONFIG_HOME=$scratch/pulse/config \
PULSE_RUNTIME_PATH=$scratch/pulse/runtime HOME=$scratch/pulse \
    pulseaudio -n -F "$scratch/pulse/server.pa" --exit-idle-time=-1 --daemonize=no \
    --use-pid-file=no --system=no --disallow-exit --log-target=stderr \
    >"$scratch/pulse.log" 2>&1 </dev/null &
pulse_pid=$!
if ! wait_until "$START_TIMEOUT" "the sound server (PulseAudio) socket $socket" "$pulse_pid" \
        test -S "$socket"; then
    show_log "$scratch/pulse.log"
    exit 1
fi
export PULSE_SERVER=unix:$socket
export PULSE_CLIENTCONFIG=$scratch/pulse/client.conf
say "sound server $PULSE_SERVER (PulseAudio pid $pulse_pid)"

# --- Wine prefix -----------------------------------------------------------------------
export WINEPREFIX=$prefix
export WINEDEBUG=-all
# No runtime installers offered, and no desktop menu entries written into the user's home.
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d"
export PATH=$WINE_DIR:$PATH
wine_used=yes
rm -rf "$prefix"
mkdir -p "$(dirname "$prefix")"
started=$SECONDS
if ! timeout "$WINEBOOT_TIMEOUT" "$WINE" wineboot -i >"$scratch/wineboot.log" 2>&1 </dev/null \
        || ! timeout "$WINEBOOT_TIMEOUT" "$WINESERVER" -w; then
    say "Wine could not create the prefix $prefix within ${WINEBOOT_TIMEOUT} s"
    show_log "$scratch/wineboot.log"
    exit 1
fi
if [ ! -f "$prefix/system.reg" ]; then
    say "Wine did not create the prefix $prefix"
    show_log "$scratch/wineboot.log"
    exit 1
fi
# Without a window manager Wine waits about 2 s whenever a window is hidden or destroyed
# unless it manages no windows itself; a crash ends the program with its exception code
# instead of waiting in a crash dialog.
for setting in "HKCU\\Software\\Wine\\X11 Driver|Managed|REG_SZ|N" \
               "HKCU\\Software\\Wine\\WineDbg|ShowCrashDialog|REG_DWORD|0"; do
    IFS='|' read -r key name type value <<<"$setting"
    if ! timeout 60 "$WINE" reg add "$key" /v "$name" /t "$type" /d "$value" /f \
            >>"$scratch/wineboot.log" 2>&1 </dev/null; then
        say "could not set $key\\$name in the Wine prefix"
        show_log "$scratch/wineboot.log"
        exit 1
    fi
done
if [ "$wine_fonts" = yes ] && ! "$(dirname "$0")/wine-system-fonts.sh" "$prefix"; then
    say "could not link Wine's fonts into $prefix"
    exit 1
fi
say "Wine prefix $prefix ready in $((SECONDS - started)) s"

# --- The command -------------------------------------------------------------------------
# Run in the background so that a signal reaches the traps at once.
timeout --kill-after=10 "$run_timeout" "$@" &
command_pid=$!
wait "$command_pid"
status=$?
if [ "$status" -eq 124 ]; then
    say "the command did not finish within ${run_timeout} s and was stopped: $*"
fi
exit "$status"
