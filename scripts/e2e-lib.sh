# shellcheck shell=bash
# Helpers of the end-to-end scripts (scripts/e2e, scripts/e2e-learn, scripts/e2e-listen), which
# drive the real window on a virtual X server (Xvfb) with xdotool. Sourced by them after
# `set -uo pipefail`, never run on its own. A script calls, in this order:
#
#   e2e_arguments DEFAULT_WORK_DIR "$@"   usage check (exit 2); sets app, cli, work and limit; runs
#                                         the script again under `timeout` to bound the whole run
#   e2e_require_tools [TOOL...]           Xvfb, xdotool, timeout and the given tools, else exit 77;
#                                         both programs executable, else exit 1
#   e2e_prepare_work [FILE...]            empties WORK_DIR of the last run's files (the shared ones
#                                         and the given names), sets the traps: from here on the
#                                         end of the script ends all it started, and fail reports
#   start_xvfb, start_app [ENV_ARG...]    the virtual screen, then the program with its main window
#                                         drawn (main_window, page_x and page_y set)
#
# On failure WORK_DIR keeps a screenshot of the screen (failure.png) and fail prints the last lines
# of the program's output. Exit status of a script: 0 passed, 1 failed, 2 usage error, 77 skipped,
# 124 stopped at the overall limit of E2E_TIMEOUT seconds (default 120).

# Functions here are called through traps and wait_for, which shellcheck cannot follow.
# shellcheck disable=SC2317
# The variables set here are used by the scripts that source this file.
# shellcheck disable=SC2034

examples="$(cd "$(dirname "${BASH_SOURCE[0]}")/../examples" && pwd)"
caption="Instrument body analyzer for the Sonmira v0.01"
screen_size=1280x1024x24

xvfb_pid=""
app_pid=""
current_step="start"

# e2e_arguments DEFAULT_WORK_DIR BODY_ANALYZER BODY_ANALYZER_CLI [WORK_DIR]
e2e_arguments() {
    local default_work=$1
    shift
    if [ $# -lt 2 ] || [ $# -gt 3 ]; then
        echo "usage: $0 BODY_ANALYZER BODY_ANALYZER_CLI [WORK_DIR]" >&2
        exit 2
    fi
    app=$1
    cli=$2
    work=${3:-$PWD/$default_work}
    limit=${E2E_TIMEOUT:-120}

    # The whole run is bounded: past the limit the script gets SIGTERM, reports and cleans up (no
    # command inside runs longer than 30 s, so the clean-up starts before the final SIGKILL).
    if [ -z "${BA_E2E_BOUNDED:-}" ] && command -v timeout >/dev/null; then
        BA_E2E_BOUNDED=1 exec timeout --foreground -k 40 "$limit" "$0" "$@"
    fi
}

# e2e_require_tools [TOOL...]: skips (exit 77) where Xvfb, xdotool, timeout or one of TOOL is not
# installed; fails where one of the two programs is not an executable.
# shellcheck disable=SC2120 # the arguments are optional
e2e_require_tools() {
    local tool exe
    for tool in Xvfb xdotool timeout "$@"; do
        if ! command -v "$tool" >/dev/null; then
            echo "SKIP: $tool is not installed (scripts/deps.sh installs it)"
            exit 77
        fi
    done
    for exe in "$app" "$cli"; do
        [ -x "$exe" ] || { echo "FAIL: $exe is not an executable" >&2; exit 1; }
    done
}

# e2e_prepare_work [FILE...]: makes WORK_DIR absolute, removes what the last run left there (the
# program's settings and runtime folders, the shared logs and screenshots, and FILE... named
# relative to WORK_DIR), starts the overall deadline and sets the traps.
e2e_prepare_work() {
    mkdir -p "$work" || exit 1
    work="$(cd "$work" && pwd)"
    rm -rf "$work/config" "$work/runtime"
    rm -f "$work"/{failure.png,window.png,app.log,cli.log,xvfb.log,display,xdo.err,xdo-errors.log}
    rm -f "${@/#/$work/}"
    mkdir -p "$work/config" "$work/runtime"
    chmod 700 "$work/runtime"
    deadline=$((SECONDS + limit))
    trap cleanup EXIT
    trap 'fail "the overall limit of $limit s was reached"' TERM INT
}

log() { printf '[%3ds] %s\n' "$SECONDS" "$*"; }

cleanup() {
    if [ -n "$app_pid" ] && kill -0 "$app_pid" 2>/dev/null; then
        kill -TERM "$app_pid" 2>/dev/null
        for _ in 1 2 3 4 5 6 7 8 9 10; do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.2; done
        kill -KILL "$app_pid" 2>/dev/null
    fi
    if [ -n "$xvfb_pid" ]; then
        kill -TERM "$xvfb_pid" 2>/dev/null
        wait "$xvfb_pid" 2>/dev/null
    fi
}

fail() {
    echo "FAIL (step: $current_step): $*" >&2
    if [ -n "${DISPLAY:-}" ] && command -v import >/dev/null; then
        timeout 15 import -window root "$work/failure.png" 2>/dev/null &&
            echo "Screenshot of the screen: $work/failure.png" >&2
    fi
    if [ -s "$work/app.log" ]; then
        echo "--- last lines of the program's output ($work/app.log) ---" >&2
        tail -n 20 "$work/app.log" >&2
    fi
    exit 1
}

step() {
    current_step=$*
    log "$*"
}

# Every xdotool call is bounded, so a stuck X server cannot hang the test.
xdo() { timeout 10 xdotool "$@"; }

app_alive() { kill -0 "$app_pid" 2>/dev/null; }

# wait_for SECONDS DESCRIPTION COMMAND...: polls COMMAND until it succeeds; fails after SECONDS,
# at the overall deadline, or when the program has died.
wait_for() {
    local seconds=$1 what=$2
    shift 2
    local until=$((SECONDS + seconds))
    [ "$until" -gt "$deadline" ] && until=$deadline
    while ! "$@"; do
        if [ -n "$app_pid" ] && ! app_alive; then
            wait "$app_pid" 2>/dev/null
            fail "body-analyzer exited (status $?) while waiting for $what"
        fi
        [ "$SECONDS" -ge "$until" ] && fail "timed out waiting for $what"
        sleep 0.1
    done
}

# Prints the id of the visible window whose name is exactly $1, nothing when there is none.
# xdotool search stops with an X error when a window vanishes while it looks at it (a closing
# dialog, a completer popup): that answer is no answer, so search again; fail (1) if it persists.
window_named() {
    local out _
    for _ in 1 2 3 4 5 6 7 8 9 10; do
        if out=$(xdo search --onlyvisible --name "^$1\$" 2>"$work/xdo.err"); then
            printf '%s\n' "$out" | head -n 1
            return 0
        fi
        [ -s "$work/xdo.err" ] || return 0 # no window of that name
        cat "$work/xdo.err" >>"$work/xdo-errors.log"
        sleep 0.05
    done
    return 1
}
window_exists() {
    local id
    id=$(window_named "$1") && [ -n "$id" ]
}
window_gone() {
    local id
    id=$(window_named "$1") && [ -z "$id" ]
}
has_focus() { [ "$(xdo getwindowfocus 2>/dev/null)" = "$1" ]; }

# Gives the keyboard focus to window $1. There is no window manager: the test sets it itself.
focus_window() {
    has_focus "$1" && return 0
    xdo windowfocus "$1" 2>/dev/null
    wait_for 10 "keyboard focus on window $1" has_focus "$1"
}

# Clicks at a position of the current page, in the page's own coordinates (the layout's).
click_page() {
    xdo mousemove --window "$main_window" $(($1 + page_x)) $(($2 + page_y)) click 1 ||
        fail "xdotool could not click at $1, $2"
}

# Answers the file dialog captioned $1 by typing the full path $2 into its file name field.
answer_dialog() {
    local title=$1 path=$2 dialog
    wait_for 20 "the file dialog \"$title\"" window_exists "$title"
    dialog=$(window_named "$title")
    # Qt gives its dialog the focus when it shows it; without a window manager, take it if not.
    local until=$((SECONDS + 3))
    while ! has_focus "$dialog" && [ "$SECONDS" -lt "$until" ]; do sleep 0.1; done
    focus_window "$dialog"
    xdo type --delay 15 "$path" || fail "xdotool could not type into \"$title\""
    xdo key Return || fail "xdotool could not press Return in \"$title\""
    wait_for 20 "the file dialog \"$title\" to accept $path" window_gone "$title"
    sleep 0.1
    wait_for 20 "the file dialog \"$title\" to accept $path" window_gone "$title"
}

# Offset of the page area within the window: below the tab bar, inside the page control's frame.
# Measured on a screenshot: in a column right of the tabs, the first row that differs from the
# window's background is the frame's top line; the frame is 2 pixels wide (Fusion style).
measure_page_offset() {
    page_x=2
    page_y=24
    if ! command -v import >/dev/null || ! command -v convert >/dev/null; then
        log "ImageMagick missing: using the usual page offset $page_x, $page_y"
        return 0
    fi
    local shot="$work/window.png" frame=""
    if timeout 15 import -window "$main_window" "$shot" 2>/dev/null; then
        frame=$(timeout 15 convert "$shot" -crop 1x60+700+0 txt:- 2>/dev/null |
            awk -F'[,: ]+' 'NR == 2 { bg = $0; sub(/.*#/, "", bg); sub(/ .*/, "", bg) }
                  NR > 2 { c = $0; sub(/.*#/, "", c); sub(/ .*/, "", c); if (c != bg) { print $2; exit } }')
    fi
    if [ -z "$frame" ] || [ "$frame" -lt 8 ] || [ "$frame" -gt 50 ]; then
        return 1
    fi
    page_y=$((frame + 2))
}

# export_complete FILE: true when the window's .smd export FILE is complete: every line written,
# the closing "}" last.
export_complete() {
    [ -f "$1" ] && [ "$(wc -l <"$1")" -eq 8205 ] && [ "$(tail -n 1 "$1")" = $'}\r' ]
}

display_ready() { [ -s "$work/display" ] && grep -q '[0-9]' "$work/display"; }

# Starts Xvfb on a free display of its own choosing and exports DISPLAY for it.
start_xvfb() {
    step "starting Xvfb"
    : >"$work/display"
    Xvfb -displayfd 5 -screen 0 "$screen_size" -nolisten tcp -noreset 5>"$work/display" 2>"$work/xvfb.log" &
    xvfb_pid=$!
    wait_for 20 "Xvfb to start" display_ready
    DISPLAY=":$(tr -dc '0-9' <"$work/display")"
    export DISPLAY
    log "display $DISPLAY"
}

# start_app [ENV_ARG...]: starts the program, its output into app.log, and waits for its main
# window (main_window) to be drawn and the page area measured (page_x, page_y). ENV_ARG... are
# further `env` options for the program, such as `-u NAME`.
# shellcheck disable=SC2120 # the arguments are optional
start_app() {
    step "starting body-analyzer"
    # Qt's own file dialog and Fusion style, nothing kept from or left for other runs; leak checking
    # is off for the program because it is ended by a signal.
    env -u XDG_CURRENT_DESKTOP -u DESKTOP_SESSION -u QT_QPA_PLATFORMTHEME -u QT_STYLE_OVERRIDE \
        "$@" QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" \
        ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" \
        "$app" >"$work/app.log" 2>&1 &
    app_pid=$!
    wait_for 60 "the main window \"$caption\"" window_exists "$caption"
    main_window=$(window_named "$caption")
    log "main window $main_window: $(xdo getwindowgeometry "$main_window" | tr -s ' \n' ' ')"

    step "measuring the tab bar"
    wait_for 30 "the window to be drawn" measure_page_offset
    log "page area at $page_x, $page_y in the window"
}
