#!/usr/bin/env bash
# Writes a show as lumenhost command lines on standard output: a blackout,
# then a chase (a bright head with a fading tail running across the
# channels, sent as `set` for the channels that change), then a wave of
# fades (every channel, as one `frame` per step). Each step ends with
# `wait`, which paces the show; a step is one frame of the show. A comment
# line "# NAME" names the part of the show that follows.
set -euo pipefail

usage() {
  cat <<'EOF'
usage: make-show.sh [--seconds N] [--fps F] [--channels C] [--whole]
Prints a chase and a fade over channels 1..C (default 24) at F frames per
second (default 25) lasting about N seconds (default 20), as lumenhost
commands: `frame`, `set` and `wait` lines. With --whole the show is wrapped
in init, enable ... disable, term, ready for `lumenhost --script FILE`.
EOF
}

seconds=20 fps=25 channels=24 whole=0
while [[ $# -gt 0 ]]; do
  case $1 in
    --seconds) seconds=${2:?}; shift 2 ;;
    --fps) fps=${2:?}; shift 2 ;;
    --channels) channels=${2:?}; shift 2 ;;
    --whole) whole=1; shift ;;
    -h|--help) usage; exit 0 ;;
    *) echo "make-show.sh: unexpected argument '$1'" >&2; usage >&2; exit 2 ;;
  esac
done
for n in "$seconds" "$fps" "$channels"; do
  [[ "$n" =~ ^[1-9][0-9]*$ ]] || { echo "make-show.sh: '$n' is not a positive whole number" >&2; exit 2; }
done
((channels <= 512)) || { echo "make-show.sh: at most 512 channels" >&2; exit 2; }

[[ $whole -eq 1 ]] && printf '%s\n' init enable
awk -v seconds="$seconds" -v fps="$fps" -v channels="$channels" '
  function emit_wait() { printf "wait %d\n", int(1000 / fps + 0.5) }
  BEGIN {
    pi = atan2(0, -1)
    steps = seconds * fps
    chase_steps = int(steps / 2)
    # Step 1: blackout over every channel, so the buffer has its full length.
    print "# blackout"
    line = "frame"
    for (c = 1; c <= channels; c++) { now[c] = 0; line = line " 0" }
    print line; emit_wait()
    # Chase: head 255, then 96 and 24 behind it, everything else dark.
    print "# chase"
    for (s = 1; s < chase_steps; s++) {
      head = (s - 1) % channels + 1
      for (c = 1; c <= channels; c++) {
        behind = (head - c + channels) % channels
        want = behind == 0 ? 255 : behind == 1 ? 96 : behind == 2 ? 24 : 0
        if (want != now[c]) { printf "set %d %d\n", c, want; now[c] = want }
      }
      emit_wait()
    }
    # Fade: every channel rises and falls once every two seconds, each a
    # little after its left neighbour, so the levels roll across the rig.
    print "# fade"
    for (s = chase_steps; s < steps; s++) {
      t = (s - chase_steps) / fps
      line = "frame"
      for (c = 1; c <= channels; c++)
        line = line " " int(127.5 - 127.5 * cos(pi * t - 2 * pi * (c - 1) / channels) + 0.5)
      print line; emit_wait()
    }
  }'
[[ $whole -eq 1 ]] && printf '%s\n' disable term
exit 0
