#!/bin/bash
# Real-time capture benchmark: records 10 s of a 1920x1080 screen showing moving, game-like
# content at 30 fps through capturer with the recorder's command line, and compares frames
# written and CPU time with ffmpeg run directly with the same arguments (the capturer's
# translation), in the same run.
#
#   bench/realtime_capture.sh [BUILD_DIR] [RUNS]
#
# BUILD_DIR holds the built capturer (capturer/capturer) and logo (assets/Icon/logo.png);
# default: build. QARV_BENCH_PRESETS="veryfast superfast ultrafast" also measures those x264
# presets with ffmpeg directly (for choosing one).
set -u
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=$(cd "${1:-$ROOT/build}" && pwd)
RUNS=${2:-3}
SECONDS_TO_RECORD=10
FPS=30
EXPECTED=$((SECONDS_TO_RECORD * FPS))

for tool in Xvfb pulseaudio pactl ffmpeg ffprobe; do
    command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 1; }
done
[ -x "$BUILD/capturer/capturer" ] || { echo "no capturer in $BUILD" >&2; exit 1; }

WORK=$(mktemp -d /tmp/qarv-bench-XXXXXX)
PIDS=()
cleanup() {
    local pid
    for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null; done
    for pid in "${PIDS[@]}"; do wait "$pid" 2>/dev/null; done
    rm -rf "$WORK"
}
trap cleanup EXIT

# The installation directory: capturer and Icon/logo.png side by side.
mkdir -p "$WORK/inst/Icon" "$WORK/inst/Video"
cp "$BUILD/capturer/capturer" "$WORK/inst/"
cp "$BUILD/assets/Icon/logo.png" "$WORK/inst/Icon/"

# Screen.
Xvfb -displayfd 9 -screen 0 1920x1080x24 -nolisten tcp 9>"$WORK/display" >/dev/null 2>&1 &
PIDS+=($!)
for _ in $(seq 100); do [ -s "$WORK/display" ] && break; sleep 0.05; done
export DISPLAY=":$(head -n1 "$WORK/display")"

# Sound server with the system sound playing (a tone) and its sink kept awake.
mkdir -p "$WORK/pulse/home" "$WORK/pulse/runtime"
HOME="$WORK/pulse/home" XDG_RUNTIME_DIR="$WORK/pulse/runtime" pulseaudio -n --daemonize=no \
    --exit-idle-time=-1 --disallow-exit --use-pid-file=no --disable-shm=yes --high-priority=no --realtime=no \
    -L "module-native-protocol-unix auth-anonymous=1 socket=$WORK/pulse/native" \
    -L "module-null-sink sink_name=speakers" >"$WORK/pulse.log" 2>&1 &
PIDS+=($!)
export PULSE_SERVER="unix:$WORK/pulse/native"
for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.05; done
ffmpeg -nostdin -loglevel error -re -f lavfi -i "sine=frequency=440:sample_rate=44100" \
    -f pulse -buffer_duration 40 -device speakers tone >/dev/null 2>&1 &
PIDS+=($!)

# Game-like content in a full-screen window (SDL): a detailed fractal landscape panning
# under the camera (every pixel moves every frame) with a moving sprite over it, 30 fps.
# Drawing it costs about 0.8 of a core here, as a game's own drawing would.
CONTENT="mandelbrot=s=1920x1080:rate=30:maxiter=256:start_x=-0.743643887037151:start_y=0.131825904205330:\
start_scale=0.003:end_scale=0.003,trim=end_frame=1,loop=loop=-1:size=1:start=0,scroll=h=0.003:v=0.002,\
format=yuv420p[bg];testsrc2=s=640x360:r=30[sprite];\
[bg][sprite]overlay=x='mod(t*400\\,1280)':y='300+250*sin(t*2)':shortest=0"
ffmpeg -nostdin -loglevel error -re -f lavfi -i "$CONTENT" -pix_fmt yuv420p -window_size 1920x1080 \
    -f sdl2 game >"$WORK/content.log" 2>&1 &
PIDS+=($!)
sleep 3

# The recorder's command line: 1920*1080, 30 fps, 800 kbit/s, system sound at 44100 Hz,
# timed (the time limit stops the recording after exactly 10 s of picture).
COMMAND=(-f dshow -framerate $FPS -i video=screen-capture-recorder -pix_fmt yuv420p -vprofile main
    -f dshow -i audio=virtual-audio-capturer -i 'Icon\logo.png' -filter_complex overlay=main_w-overlay_w-10:10
    -b-pyramid none -c:v libx264 -tune zerolatency -g 50 -r $FPS -b:v 800000 -ar 44100 -s '1920*1080'
    -t $SECONDS_TO_RECORD -y)
cd "$WORK/inst"
mapfile -t TRANSLATED < <(./capturer --dry-run "${COMMAND[@]}" Video/out.flv 2>/dev/null)
echo "ffmpeg arguments: ${TRANSLATED[*]}"

frames() {
    ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 "$1"
}

# CPU seconds (user + system) of every child this shell has waited for, and of their
# children that they waited for (capturer waits for its ffmpeg), read with the shell's
# `times` (second line).
children_cpu() {
    tail -n1 "$1" | awk '{ split($1, u, "m"); split($2, s, "m"); printf "%.3f", u[1] * 60 + u[2] + s[1] * 60 + s[2] }'
}

# run LABEL OUTPUT command... : prints frames written, CPU seconds of the command's process
# tree and wall seconds.
run() {
    local label=$1 output=$2
    shift 2
    rm -f "$output"
    local start end
    start=$(date +%s.%N)
    times >"$WORK/cpu.before"
    local status=0
    "$@" >/dev/null 2>"$WORK/$label.log" || status=$?
    times >"$WORK/cpu.after"
    end=$(date +%s.%N)
    local count cpu
    count=$(frames "$output" 2>/dev/null || true)
    if [ "$status" -ne 0 ] || ! [[ "$count" =~ ^[0-9]+$ ]]; then
        echo "$label: the recording failed (exit status $status); nothing measured" >&2
        sed 's/^/  /' "$WORK/$label.log" >&2
        exit 1
    fi
    cpu=$(awk -v a="$(children_cpu "$WORK/cpu.after")" -v b="$(children_cpu "$WORK/cpu.before")" \
        'BEGIN { printf "%.2f", a - b }')
    printf '%-28s frames %3d/%d (%5.1f%%)  cpu %6.2f s  wall %5.2f s\n' "$label" "$count" "$EXPECTED" \
        "$(awk -v c="$count" -v e="$EXPECTED" 'BEGIN { print 100 * c / e }')" "$cpu" \
        "$(awk -v a="$end" -v b="$start" 'BEGIN { print a - b }')"
    echo "$label $count $cpu" >>"$WORK/results"
}

for i in $(seq "$RUNS"); do
    run "capturer" Video/out.flv ./capturer "${COMMAND[@]}" Video/out.flv
    run "ffmpeg (same arguments)" Video/out.flv ffmpeg "${TRANSLATED[@]}"
done

# For reference: the screen alone, same picture options, no sound and no logo.
run "ffmpeg x11grab only" Video/out.flv ffmpeg -nostdin -loglevel warning -f x11grab -framerate $FPS -i "$DISPLAY" \
    -pix_fmt yuv420p -profile:v main -b-pyramid none -c:v libx264 -preset superfast -tune zerolatency -g 50 \
    -r $FPS -b:v 800000 -s 1920*1080 -t $SECONDS_TO_RECORD -y Video/out.flv

for preset in ${QARV_BENCH_PRESETS:-}; do
    ARGS=("${TRANSLATED[@]}")
    for j in "${!ARGS[@]}"; do
        [ "${ARGS[$j]}" = "-preset" ] && ARGS[$((j + 1))]=$preset
    done
    run "ffmpeg preset $preset" Video/out.flv ffmpeg "${ARGS[@]}"
done

# What ffmpeg reported through capturer in the last run (warnings such as a blocked
# capture queue would show here).
echo
echo "capturer messages (last run):"
grep -v '^capturer: ffmpeg ' "$WORK/capturer.log" | sed 's/^/  /'

# QARV_BENCH_SAVE=FILE keeps the last recording for a look.
[ -n "${QARV_BENCH_SAVE:-}" ] && cp Video/out.flv "$QARV_BENCH_SAVE"

awk -v expected="$EXPECTED" '
    /^capturer / { cf += $2; cc += $3; cn++ }
    /^ffmpeg \(same/ { ff += $4; fc += $5; fn++ }
    END {
        if (cn && fn) {
            printf "\nmean over %d runs: capturer %.1f frames (%.1f%%), cpu %.2f s; ffmpeg %.1f frames (%.1f%%), cpu %.2f s\n", \
                cn, cf / cn, 100 * cf / cn / expected, cc / cn, ff / fn, 100 * ff / fn / expected, fc / fn
            ratio = (cc / cn) / (fc / fn)
            share = 100 * cf / cn / expected
            printf "cpu ratio capturer/ffmpeg: %.3f (within 5%%: %s)   frames: %.1f%% of expected (at least 98%%: %s)\n", \
                ratio, (ratio <= 1.05 ? "yes" : "NO"), share, (share >= 98 ? "yes" : "NO")
        }
    }' "$WORK/results"
