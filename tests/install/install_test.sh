#!/usr/bin/env bash
# Installs the build into a temporary prefix and runs the programs from there: each one's --version,
# glanzo-cli, a BIN update by ZOV_J8Update with its configuration beside it while bin/ can be
# written and in the user's configuration folder once it cannot (as under /usr/bin), both windows
# offscreen, and the menu entries checked with desktop-file-validate.
#
#   install_test.sh BUILD_DIR VERSION
set -euo pipefail
build=$1
version=$2
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
chmod 755 "$work"
prefix=$work/prefix
export QT_QPA_PLATFORM=offscreen

fail() { echo "install test: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null
for program in GlanzoFlash ZOV_J8Update glanzo-cli ecm-sim; do
  [ -x "$prefix/bin/$program" ] || fail "$program is not installed under bin/"
  [ "$("$prefix/bin/$program" --version)" = "$program $version" ] || fail "$program --version"
  [ -s "$prefix/share/man/man1/$program.1.gz" ] || fail "no manual page for $program"
  [ -s "$prefix/share/bash-completion/completions/$program" ] || fail "no completion for $program"
done
ls "$prefix"/share/metainfo/*.metainfo.xml >/dev/null || fail "no AppStream metadata"
for program in GlanzoFlash ZOV_J8Update; do
  entry=$prefix/share/applications/$program.desktop
  desktop-file-validate "$entry" || fail "$entry does not validate"
  grep -qx "Exec=$prefix/bin/$program" "$entry" || fail "$entry does not start $prefix/bin/$program"
  icon=$(sed -n 's/^Icon=//p' "$entry")
  for size in 16 32 48 64; do
    [ -s "$prefix/share/icons/hicolor/${size}x$size/apps/$icon.png" ] || fail "no $size-pixel icon $icon"
  done
done

# A calibration BIN of version 1.1.
cd "$work"
python3 -c '
import sys
b = bytearray(b"\xff" * 32768)
b[0], b[1] = 0, 7
b[2:6] = b"ZOV8"
b[9], b[10] = 1, 1
open(sys.argv[1], "wb").write(b)' cal.bin
chmod 644 cal.bin

# glanzo-cli reads no configuration of its own.
[ "$("$prefix/bin/glanzo-cli" bin check cal.bin)" = 7 ] || fail "glanzo-cli bin check"
"$prefix/bin/glanzo-cli" bin convert cal.bin cli_new.bin
[ "$(stat -c %s cli_new.bin)" = 32768 ] || fail "glanzo-cli bin convert"

# The updater beside a folder it may write: its configuration goes there.
out=$("$prefix/bin/ZOV_J8Update" --bin-update "$work/cal.bin")
[ "$out" = "SUCCESS!:             New BIN has been Created             " ] || fail "ZOV_J8Update --bin-update said: $out"
cmp -s cal_new.bin cli_new.bin || fail "the updater and glanzo-cli convert differently"
grep -q "^\[FLSHBIN\] $work/cal.bin" "$prefix/bin/ZOV_J8Update.cfg" || fail "no configuration beside the program"
rm "$prefix/bin/ZOV_J8Update.cfg" cal_new.bin

# An installed program in a folder the user cannot write. Root writes anywhere, so the programs
# then run as an unprivileged user.
home=$work/home
mkdir -p "$home"
as_user=()
if [ "$(id -u)" = 0 ]; then
  chown 65534:65534 "$home" "$work"
  as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi
chmod a-w "$prefix/bin"
run() { HOME=$home XDG_CONFIG_HOME=$home/config XDG_RUNTIME_DIR=$home "${as_user[@]}" "$@"; }

out=$(run "$prefix/bin/ZOV_J8Update" --bin-update "$work/cal.bin")
[ -s cal_new.bin ] || fail "ZOV_J8Update --bin-update from a read-only folder: $out"
user_cfg=$home/config/ZOV_J8Update/ZOV_J8Update.cfg
grep -q "^\[FLSHBIN\] $work/cal.bin" "$user_cfg" || fail "no configuration in $user_cfg"
[ ! -e "$prefix/bin/ZOV_J8Update.cfg" ] || fail "a configuration was written beside the program"

# --config still decides.
run "$prefix/bin/ZOV_J8Update" --config "$work/mine.cfg" --bin-update "$work/cal.bin" >/dev/null
grep -q "^\[ID\] ZOV Flash Update" "$work/mine.cfg" || fail "--config was not used"

# Both windows start from the prefix and keep their configuration in the user's folder.
run "$prefix/bin/ZOV_J8Update" --screenshot "$work/updater.png" --after 0.5 2>/dev/null
[ -s "$work/updater.png" ] || fail "the updater's window did not start"
grep -q '^\[XPOSHWND\] ' "$user_cfg" || fail "the updater's window did not write its place"
run "$prefix/bin/GlanzoFlash" --screenshot "$work/glanzo.png" --after 0.5 2>/dev/null
[ -s "$work/glanzo.png" ] || fail "GlanzoFlash did not start"
[ -s "$home/config/GlanzoFlash/ZOV_J8_Glanzo.cfg" ] || fail "GlanzoFlash kept no configuration in the user's folder"
echo "install test: passed"
