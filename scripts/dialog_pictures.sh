#!/usr/bin/env bash
# Pictures of the configuration dialogs as Windows draws them from the
# library's templates: builds Ktz3649.dll and dialog_pictures.exe (preset
# windows), runs the program under Wine on a virtual X server and writes one
# PNG per dialog to docs/dialogs (or the folder given).
#
# Needs, besides the Windows build and Wine (wine, wine32:i386), the Debian
# packages xvfb, imagemagick and fonts-wine (Wine's Tahoma and Marlett, the
# fonts the dialogs and their captions are drawn with).
#
#   scripts/dialog_pictures.sh [OUTPUT_DIR]
#
# The Wine prefix lives in build/windows/wineprefix-shots; the first run
# creates it (about 15 s). Exit code 0 only when every dialog appeared
# and was pictured and no text or control of a template was out of place
# (each fault is reported as a LAYOUT line).
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/windows
export WINEPREFIX=$PWD/$build/wineprefix-shots WINEARCH=win32 WINEDEBUG=-all
export WINEDLLOVERRIDES=mscoree,mshtml=
fonts=/usr/share/wine/fonts

# Under the virtual X server: the prefix, then the program, then this
# prefix's Wine processes stopped.
if [ "${1:-}" = --under-x ]; then
  pictures=$2
  trap 'wineserver -k 2>/dev/null || true' EXIT
  if [ ! -e "$WINEPREFIX/.dialog-pictures" ]; then
    wineboot -i
    # No window manager on the virtual server: Wine draws the frames and
    # captions itself, as Windows does, and does not wait for one when a
    # window closes.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null
    touch "$WINEPREFIX/.dialog-pictures"
  fi
  # Debian's Wine does not find its own fonts; in the prefix's Fonts folder
  # it does.
  cp -u "$fonts"/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
  cd "$pictures"
  wine "$OLDPWD/$build/bin/dialog_pictures.exe" .
  exit
fi

out=${1:-docs/dialogs}
missing=()
for tool in xvfb-run convert wine wineserver; do
  command -v "$tool" >/dev/null || missing+=("$tool")
done
[ -e "$fonts/tahoma.ttf" ] || missing+=("$fonts/tahoma.ttf (fonts-wine)")
if ((${#missing[@]})); then
  echo "dialog_pictures: missing ${missing[*]}" >&2
  exit 1
fi

start=$SECONDS
[ -e "$build/build.ninja" ] || cmake --preset windows >/dev/null
cmake --build --preset windows --target dialog_pictures

pictures=$PWD/$build/dialog-pictures
rm -rf "$pictures"
mkdir -p "$pictures" "$out"
status=0
xvfb-run -a -s "-screen 0 1024x768x24" "$0" --under-x "$pictures" || status=$?

# What was pictured, also after a failure (a layout fault is easier to see).
count=0
for bmp in "$pictures"/*.bmp; do
  # -strip: no time stamps, so that unchanged dialogs give unchanged files.
  convert "$bmp" -strip "$out/$(basename "${bmp%.bmp}").png"
  count=$((count + 1))
done
echo "$count pictures in $out ($((SECONDS - start)) s)"
exit "$status"
