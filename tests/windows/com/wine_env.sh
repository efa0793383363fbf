# Sourced by the automation-server tests: Wine headless and bounded, the
# build's prefix (made on first use by scripts/wine-run.sh), and `win`, which
# runs a Windows program with the loader of the DLL's bitness under a time
# limit. Needs $project and $loader (wine for i686, /usr/lib/wine/wine64 for
# x86_64).
# usage: source wine_env.sh PROJECT_DIR BUILD_DIR LOADER
project=$1 build=$2 loader=$3
export WINEPREFIX=${WINEPREFIX:-$build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-winedbg.exe=d;mscoree=d;mshtml=d}
export WINEARCH=${WINEARCH:-win64}
export DISPLAY=
unset WAYLAND_DISPLAY

if [[ "${ARTNET_TEST_NETNS:-}" != 1 ]]; then
  echo "skipped: loads ArtNet.dll, run it inside scripts/in-test-netns.sh"
  exit 77
fi
WINE_RUN_TIMEOUT=300 "$project/scripts/wine-run.sh" cmd /c exit 0 >/dev/null 2>&1 || true

win() { timeout --kill-after=5 "${WIN_TIMEOUT:-60}" "$loader" "$@"; }
# reg query/add/delete in the registry view of the DLL's bitness.
reg() { win reg "$@"; }
windows_path() { echo "Z:${1//\//\\}"; }

fail=0
check() {  # check DESCRIPTION COMMAND...: runs it, records a failure
  if "${@:2}"; then echo "ok: $1"; else echo "FAIL: $1"; fail=1; fi
}
