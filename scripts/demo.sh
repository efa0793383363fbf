#!/usr/bin/env bash
# The main job, end to end: installs what is needed, builds, and plays a
# short show (scripts/play-show.sh) from the reference host and the plug-in
# to olad, an Art-Net node from another project, in two private network
# namespaces joined by a veth pair. Exits 0 only if the show passed.
set -euo pipefail

usage() {
  cat <<'EOF_USAGE'
usage: scripts/demo.sh [--seconds N | --show FILE]
Installs the packages the show needs (scripts/setup.sh --show), builds
lumenhost and the plug-in alone into build/ (preset demo), then plays a chase
and a fade of about N seconds (default 20), or the show in FILE (lumenhost's
frame, set and wait lines; see scripts/make-show.sh), on a flat lighting
network made of two private network namespaces: lumenhost with the plug-in as
the console (10.77.0.1), olad as the stage (10.77.0.2). It shows
live what the stage receives and what it sends back, then tears everything
down (also on Ctrl-C). Exits 0 only if the stage ends with the show's last
frame and the console got the stage's values back.
Needs root, or sudo, for the namespaces and the packages.
EOF_USAGE
}

show=(--seconds 20)
while [[ $# -gt 0 ]]; do
  case $1 in
    --seconds)
      [[ "${2:-}" =~ ^[1-9][0-9]*$ ]] || { echo "demo.sh: --seconds takes a positive whole number" >&2; exit 2; }
      show=(--seconds "$2"); shift 2 ;;
    --show)
      [[ -r "${2:-}" ]] || { echo "demo.sh: --show takes a readable file" >&2; exit 2; }
      show=(--show "$(realpath "$2")"); shift 2 ;;
    -h|--help) usage; exit 0 ;;
    *) echo "demo.sh: unexpected argument '$1'" >&2; usage >&2; exit 2 ;;
  esac
done

if [[ $(id -u) -ne 0 ]]; then
  if ! command -v sudo >/dev/null; then
    echo "demo.sh: needs root: it makes network namespaces and installs packages; run it as root" >&2
    exit 1
  fi
  echo "demo.sh: not run as root; the network namespaces and the packages need root, so it asks sudo for them"
  if ! sudo -v; then
    echo "demo.sh: sudo refused; run it as root" >&2
    exit 1
  fi
fi

cd "$(dirname "$0")/.."
./scripts/setup.sh --show
cmake --preset demo >/dev/null
cmake --build --preset demo
exec ./scripts/in-test-netns.sh ./scripts/play-show.sh "$PWD/build/lumenhost" "$PWD/build/libArtNet.so" "${show[@]}"
