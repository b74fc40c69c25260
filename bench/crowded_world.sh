# Sourced by the benchmark scripts with the build folder as $1: a scratch
# folder, $work, removed when the script ends, holding the crowded world of
# bench/crowded.sh made by that build ($work/crowded.sav).
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
bash "$(dirname "${BASH_SOURCE[0]}")/crowded.sh" "$1" "$work/crowded.sav"
