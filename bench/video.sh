#!/bin/sh
# What the video formats cost and keep: for examples/bounce.gmk at 640x480
# and a moving-camera version of examples/showcase.gmk, the tracing time, the
# extra time each format's encoding adds to it, and the PSNR of each format
# against the traced frames. H.264 and VP9 are compared in their own pixel
# format (the frames converted to yuv420p with the BT.709 matrix in limited
# range, as the recording is tagged; an RGB comparison would measure the
# chroma subsampling instead); GIF in RGB.
#
#   bench/video.sh [BUILD]       (needs ffmpeg; RUNS=N timing runs, default 3)
#
# Timings on a machine busy with other work are not comparable: the load
# average is printed first.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=$(cd "${1:-build}" && pwd)
runs=${RUNS:-3}
glimmark="$build/glimmark"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
command -v ffmpeg > /dev/null || { echo "bench/video.sh: ffmpeg is needed" >&2; exit 2; }

# The scenes, and the same animations traced to PNG frames.
sed -e 's/WIDTH 160 HEIGHT 160/WIDTH 640 HEIGHT 480/' -e 's/OUTPUT_FILE "bounce.avi"//' \
    "$root/examples/bounce.gmk" > "$work/bounce.gmk"
{
    echo 'ANIMATION START_TIME 0 END_TIME 1 FRAMES 8 FRAMES_PER_SECOND 8 END_ANIMATION'
    sed -e 's/WIDTH 560 HEIGHT 560/WIDTH 320 HEIGHT 320/' \
        -e 's/TRANSLATE 0 4.6 -5.2/TRANSLATE MUL TIME 1.5, 4.6, -5.2/' "$root/examples/showcase.gmk"
} > "$work/showcase.gmk"
cp "$root/examples/tiles.png" "$work/"

# The best of RUNS runs of a command: wall-clock seconds, and processor
# seconds (user and system), which a machine busy with other work stretches
# less than the clock.
seconds() {
    best=""
    best_cpu=""
    i=0
    while [ "$i" -lt "$runs" ]; do
        /usr/bin/time -f "%e %U %S" -o "$work/time.txt" "$@" > /dev/null 2>&1
        read -r t user sys < "$work/time.txt"
        cpu=$(echo "$user + $sys" | bc)
        if [ -z "$best" ] || [ "$(echo "$t < $best" | bc)" = 1 ]; then best=$t; fi
        if [ -z "$best_cpu" ] || [ "$(echo "$cpu < $best_cpu" | bc)" = 1 ]; then best_cpu=$cpu; fi
        i=$((i + 1))
    done
    echo "$best $best_cpu"
}

psnr() { # video, frames folder, filter before psnr for both inputs
    ffmpeg -v info -nostdin -i "$1" -framerate 8 -i "$2/f_%04d.png" \
        -lavfi "[0:v]$3[a];[1:v]$4[b];[a][b]psnr" -f null - 2>&1 |
        sed -n 's/.*PSNR \(.*\)/\1/p' | tail -1
}

uptime
for scene in bounce showcase; do
    cd "$work"
    mkdir -p "$scene"
    "$glimmark" render "$scene.gmk" -o "$scene/f.png" -q
    # Tracing alone: the frames go to a pipe as PPM, which costs next to nothing.
    set -- $(seconds "$glimmark" render "$scene.gmk" -o - --format ppm -q)
    trace=$1 trace_cpu=$2
    echo "== $scene: tracing alone ${trace} s, ${trace_cpu} s of processor (best of $runs)"
    # The writers alone, on the same frames: fixed and per-frame processor
    # time, and the share of the tracing's processor time they add (without
    # loading FFmpeg's libraries, paid once per process and overlapped with
    # the first frame's tracing).
    "$glimmark" render "$scene.gmk" -o - --format ppm -q > "$scene.ppm"
    "$build/glimmark_video_bench" "$scene.ppm" 8 "$runs" |
        awk -v trace="$trace_cpu" '{ print } NR > 2 {
            printf "  %s: encoding adds %.1f %% of the tracing processor time\n", $1, $5 / (10 * trace) }'
    rm -f "$scene.ppm"
    # Each format with its default preset (marked *) and the presets either
    # side of it: what the speed costs in size at the same crf.
    for run in mp4:superfast mp4:fast* mp4:medium webm:realtime webm:good* webm:best gif:; do
        ext=${run%%:*}
        preset=${run#*:}
        case $preset in
            *\*) set_preset="" label=" ${preset%\*} (default)" ;;
            "") set_preset="" label="" ;;
            *) set_preset="--preset $preset" label=" $preset" ;;
        esac
        # shellcheck disable=SC2086
        set -- $(seconds "$glimmark" record "$scene.gmk" -o "$scene.$ext" -q $set_preset)
        t=$1 cpu=$2
        cost=$(echo "scale=1; 100 * ($t - $trace) / $trace" | bc)
        cost_cpu=$(echo "scale=1; 100 * ($cpu - $trace_cpu) / $trace_cpu" | bc)
        if [ "$ext" = gif ]; then
            p=$(psnr "$scene.$ext" "$scene" "format=rgb24" "format=rgb24")
            space="RGB"
        else
            p=$(psnr "$scene.$ext" "$scene" "null" \
                "scale=out_color_matrix=bt709:out_range=tv:flags=bicubic,format=yuv420p")
            space="yuv420p"
        fi
        size=$(stat -c %s "$scene.$ext")
        echo "$scene.$ext$label: ${t} s with encoding (${cost} % more than tracing; processor" \
             "${cpu} s, ${cost_cpu} % more), ${size} bytes, PSNR ($space) $p"
    done
done
