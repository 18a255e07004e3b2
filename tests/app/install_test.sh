#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks that everything a desktop
# needs lands in its standard place: the programs, the help page, a desktop
# file that desktop-file-validate accepts and that opens GIF files, the icons.
# Exit 77 (skipped) when desktop-file-validate is not installed.
set -u
build="$1"
if ! command -v desktop-file-validate >/dev/null; then
    echo "SKIP: desktop-file-validate not found (Debian package desktop-file-utils)"
    exit 77
fi
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail=0
problem() { echo "FAIL: $*"; fail=1; }

if ! cmake --install "$build" --prefix "$prefix" >"$prefix/install.log" 2>&1; then
    cat "$prefix/install.log"
    problem "cmake --install failed"
    exit 1
fi

for program in velmar velmar-cli; do
    [ -x "$prefix/bin/$program" ] || problem "bin/$program is missing or not executable"
done
"$prefix/bin/velmar-cli" --version | grep -q '^velmar-cli ' || problem "installed velmar-cli does not run"
[ -s "$prefix/share/velmar/velmar.html" ] || problem "help page not in share/velmar/"

desktop="$prefix/share/applications/velmar.desktop"
if [ -f "$desktop" ]; then
    out=$(desktop-file-validate "$desktop" 2>&1)
    [ $? -eq 0 ] && [ -z "$out" ] || problem "desktop-file-validate: $out"
    grep -qx 'Exec=velmar %F' "$desktop" || problem "Exec line does not pass the files to velmar"
    grep -q '^MimeType=.*image/gif;' "$desktop" || problem "desktop file does not claim image/gif"
    grep -qx 'Icon=velmar' "$desktop" || problem "desktop file names another icon"
    grep -q '^Name\[ja\]=' "$desktop" || problem "no Japanese name"
    grep -q '^Categories=.*Graphics;' "$desktop" || problem "not in the Graphics category"
else
    problem "share/applications/velmar.desktop is missing"
fi

for size in 16 22 24 32 48 64 128 256; do
    icon="$prefix/share/icons/hicolor/${size}x${size}/apps/velmar.png"
    if [ ! -f "$icon" ]; then
        problem "icon ${size}x${size} is missing"
        continue
    fi
    # PNG width and height are the big-endian words at bytes 16 and 20.
    dims=$(od -An -tu1 -j16 -N8 "$icon" | awk '{print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}')
    [ "$dims" = "$size $size" ] || problem "icon ${size}x${size} is $dims"
done

[ $fail -eq 0 ] && echo "install layout OK under a scratch prefix"
exit $fail
