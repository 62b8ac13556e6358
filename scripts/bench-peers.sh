# Sourced by bench-png.sh and bench-render.sh (not run by itself): wall times in
# milliseconds, their medians, and the two other spectrogram programs timed beside ours on
# the same file at the same image size, FFmpeg's showspectrumpic (s=50000x256) and SoX's
# spectrogram (-x 50000 -y 257; a height that is not 2^n + 1 takes SoX's slow path and
# makes every ratio look larger than it is). A peer that is not installed is skipped.
#   peers_found                  the peers on PATH, "ffmpeg sox" or fewer
#   time_run NAME FILE CMD...    runs CMD, appends "NAME MILLISECONDS" to FILE
#   median_ms NAME FILE          the median of NAME's times in FILE
#   ratio A B                    A / B to two places

peers_found() {
    found=""
    for peer in ffmpeg sox; do
        if command -v "$peer" >/dev/null 2>&1; then
            found="$found $peer"
        else
            echo "$peer is not installed: not timed (scripts/install-deps.sh installs it)" >&2
        fi
    done
    echo $found
}

# peer_run PEER WAV OUTDIR: one image of the peer's, the size of ours at the defaults.
peer_run() {
    case $1 in
        ffmpeg) ffmpeg -nostdin -v error -y -i "$2" -lavfi showspectrumpic=s=50000x256 "$3/ffmpeg.png" ;;
        sox) sox "$2" -n spectrogram -x 50000 -y 257 -o "$3/sox.png" ;;
    esac
}

time_run() {
    name=$1 file=$2
    shift 2
    start=$(date +%s%N)
    "$@"
    end=$(date +%s%N)
    echo "$name $(((end - start) / 1000000))" >>"$file"
}

median_ms() {
    awk -v n="$1" '$1 == n { print $2 }' "$2" | sort -n | awk '{ v[NR] = $1 } END {
        if (NR == 0) exit 1
        if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

ratio() {
    awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else printf "n/a" }'
}
