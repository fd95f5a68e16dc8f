#!/usr/bin/env bash
# Plants each fault of a mutants file (default: tools/mutants.txt) in a scratch copy of this
# checkout, one at a time, and tells which tests fail. The checkout itself is only read.
# Usage: [KEEP=1] tools/mutants.sh [MUTANTS_FILE [NAME_GLOB]], e.g. tools/mutants.sh "" 'number-*'
# KEEP=1 leaves the scratch copy, its build and its logs in /tmp.
set -euo pipefail

src=$(git -C "$(dirname "$0")" rev-parse --show-toplevel)
list=$(realpath "${1:-$src/tools/mutants.txt}")
only=${2:-*} scratch=$(mktemp -d /tmp/pallimor-mutants.XXXXXX)
[[ -n ${KEEP:-} ]] || trap 'rm -rf "$scratch"' EXIT
tree=$scratch/tree build=$scratch/build failedlog=$scratch/build/Testing/Temporary/LastTestsFailed.log
die() { echo "mutants.sh: $*" >&2; exit 1; }

# Working files, not HEAD: edits and new files not yet committed are part of what is tested.
mkdir -p "$tree"
git -C "$src" ls-files -z --cached --others --exclude-standard |
    tar -C "$src" --null -T - --ignore-failed-read -cf - | tar -C "$tree" -xf -

names=() files=() finds=() repls=() chosen=() rows=()
while IFS= read -r line; do
    value=${line#*:} value=${value# }
    case $line in
        name:*) names+=("$value") ;;  file:*) files+=("$value") ;;
        find:*) finds+=("$value") ;;  repl:*) repls+=("$value") ;;
    esac
done < "$list"
[[ ${#names[@]} == "${#files[@]}" && ${#names[@]} == "${#finds[@]}" && ${#names[@]} == "${#repls[@]}" ]] ||
    die "$list: every mutant needs one name:, file:, find: and repl: line"

# Every mutant is checked before the long part starts, so a stale one stops the run at once.
for i in "${!names[@]}"; do
    [[ -n ${finds[i]} && -f $tree/${files[i]} ]] || die "${names[i]}: no find text or no file ${files[i]}"
    n=$(grep -oF -- "${finds[i]}" "$tree/${files[i]}" | wc -l || true)
    (( n == 1 )) || die "${names[i]}: find text occurs $n times in ${files[i]}, not once"
    [[ ${names[i]} == $only ]] && chosen+=("$i")
done
(( ${#chosen[@]} )) || die "no mutant is named $only"

build() { cmake --build "$build" -j "$(nproc)" > "$scratch/build.log" 2>&1; }
# Prints the failing tests, with the failing Qt Test functions in brackets; nothing if all pass.
run_tests() {
    # A temporary folder of its own, so that a test run elsewhere meanwhile cannot collide with it.
    rm -f "$failedlog"; mkdir -p "$scratch/tmp"
    (cd "$build" && TMPDIR=$scratch/tmp QT_QPA_PLATFORM=offscreen ctest -j2 --timeout 60 \
        > "$scratch/ctest.log" 2>&1) && return
    [[ -f $failedlog ]] || { echo "ctest error"; return; }
    local failed=() name qt
    while IFS=: read -r _ name; do
        grep -q "#[0-9]*: $name .*Timeout" "$scratch/ctest.log" && name+="(timeout)"
        failed+=("$name")
    done < "$failedlog"
    qt=$(sed -n 's/^FAIL!  : \([A-Za-z0-9_]*::[A-Za-z0-9_]*\).*/\1/p' \
        "$build/Testing/Temporary/LastTest.log" | sort -u | paste -sd' ')
    echo "${failed[*]}${qt:+ [$qt]}"
}

echo "Configuring and building a copy of $src in $scratch"
cmake -S "$tree" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo > "$scratch/configure.log" 2>&1 ||
    { cat "$scratch/configure.log"; die "configuring failed"; }
build || { tail -n 40 "$scratch/build.log"; die "the unchanged tree does not build"; }
[[ -z $(run_tests) ]] || { tail -n 40 "$scratch/ctest.log"; die "the unchanged tree fails its tests"; }

for i in "${chosen[@]}"; do
    file=$tree/${files[i]} started=$SECONDS
    cp "$file" "$scratch/original"
    text=$(cat "$file"; echo .) text=${text%.}  # the dot keeps the file's final newlines
    printf '%s' "${text/"${finds[i]}"/"${repls[i]}"}" > "$file"
    if ! build; then caught=n/a failing="BUILD FAILED"
    elif failing=$(run_tests) && [[ -n $failing ]]; then caught=yes
    else caught=no failing="not caught"; fi
    # A fresh copy, not a move: the restored file must look newer than the mutant's objects.
    cp "$scratch/original" "$file"
    rows+=("$(printf '%-38s %-6s %4ss  %s' "${names[i]}" "$caught" $((SECONDS - started)) "$failing")")
    echo "${rows[-1]}"
done
printf '\n%-38s %-6s %5s  %s\n' MUTANT CAUGHT TIME "FAILING TESTS"
printf '%s\n' "${rows[@]}"
