#!/usr/bin/env bash
# What the package says about the programs, checked against the programs themselves: each manual
# page renders without a warning and names every command and option the program's own usage
# names; the bash completion offers every command and the channel names of the log on the line;
# the AppStream metadata validates.
#
#   docs_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "docs test: $*" >&2; exit 1; }

cli=$build/cli/glanzo-cli
declare -A usage
usage[glanzo-cli]=$("$cli" --help)
usage[GlanzoFlash]=$("$build/app/GlanzoFlash" --help)
usage[ZOV_J8Update]=$("$build/updater/ZOV_J8Update" --help)
usage[ecm-sim]=$("$build/tools/ecm-sim/ecm-sim" --help)

# A command line a program cannot take: exit non-zero and exactly one line on stderr, each program.
for program in cli/glanzo-cli app/GlanzoFlash updater/ZOV_J8Update tools/ecm-sim/ecm-sim; do
  rc=0
  QT_QPA_PLATFORM=offscreen "$build/$program" --no-such-option >/dev/null 2>"$work/err" || rc=$?
  [ "$rc" -ne 0 ] || fail "$program took --no-such-option"
  [ "$(wc -l <"$work/err")" -eq 1 ] || fail "$program: not one line on stderr: $(cat "$work/err")"
done
# Outside a desktop session (no XDG_RUNTIME_DIR) too, where the toolkit would speak first.
rc=0
env -u XDG_RUNTIME_DIR QT_QPA_PLATFORM=offscreen "$build/app/GlanzoFlash" --graph "$work/missing.dat" 2>"$work/err" || rc=$?
[ "$rc" -ne 0 ] && [ "$(wc -l <"$work/err")" -eq 1 ] || fail "GlanzoFlash --graph without a session: $(cat "$work/err")"

for program in glanzo-cli GlanzoFlash ZOV_J8Update ecm-sim; do
  page=$build/data/man/$program.1
  [ -s "$page" ] || fail "no manual page $page"
  warnings=$(groff -man -ww -z "$page" 2>&1)
  [ -z "$warnings" ] || fail "$program.1: $warnings"
  text=$(MANWIDTH=200 man -l "$page" 2>/dev/null)
  for option in $(grep -o -- '-\{1,2\}[a-z][a-z0-9-]*' <<<"${usage[$program]}" | sort -u) --version; do
    grep -q -- "$option\b" <<<"$text" || fail "$program.1 does not name $option"
  done
done
commands=$(awk 'NR > 2 && $1 !~ /^-/ { print $1 }' <<<"${usage[glanzo-cli]}" | sort -u)
for command in $commands; do
  grep -q "^       $command\b" <<<"$(MANWIDTH=200 man -l "$build/data/man/glanzo-cli.1" 2>/dev/null)" ||
    fail "glanzo-cli.1 has no entry for $command"
done

# The completion, as bash-completion runs it.
"$build/tools/ecm-sim/ecm-sim" --write-log "$work/drive.dat" --seconds 2
complete_line() {
  bash -c '
    source /usr/share/bash-completion/bash_completion
    source "$1"
    shift
    COMP_WORDS=("$@")
    COMP_CWORD=$(( $# - 1 ))
    COMP_LINE="$*"
    COMP_POINT=${#COMP_LINE}
    fn=$(complete -p "${COMP_WORDS[0]##*/}" | sed "s/.*-F \([^ ]*\).*/\1/")
    "$fn" "${COMP_WORDS[0]}" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf "%s\n" "${COMPREPLY[@]}"' _ "$source_dir/data/bash-completion/glanzoflash" "$@"
}
[ "$(complete_line "$cli" "" | sort)" = "$commands" ] || fail "the completion does not offer every command"
[ "$(complete_line "$cli" channels "$work/drive.dat" --channels "RPM,M" | tr '\n' ' ')" = "RPM,MPH RPM,MAP " ] ||
  fail "the completion does not offer the log's channels"
channels=$("$cli" channels "$work/drive.dat")
# Installed, glanzo-cli is beside GlanzoFlash; in the build tree it is found on the PATH.
[ "$(PATH=$build/cli:$PATH complete_line "$build/app/GlanzoFlash" --graph "$work/drive.dat" --channels "")" = "$channels" ] ||
  fail "GlanzoFlash's completion does not offer the log's channels"

appstreamcli validate --no-net "$build"/data/*.metainfo.xml >/dev/null || fail "the AppStream metadata does not validate"
echo "docs test: passed"
