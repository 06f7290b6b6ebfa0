#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Format and lint: clang-format over every tracked C++ file, clang-tidy (the set in
# .clang-tidy) over the project's own translation units in a configured tree's
# compile database, and the paths and links of README.md and docs/*.md. Prints
# each finding and fails on any.
#   bash scripts/check.sh [BUILD_DIR]    (default: build, as scripts/test.sh makes it)
# clang-format -i FILE fixes a formatting finding.
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
status=0

# The documents name files of the tree and link to each other: every backticked
# path that starts with a top-level name of the tree must exist (braces and
# globs expanded), and every relative link must reach a file and a heading.
declare -A top anchors
while read -r name; do top[/$name]=1; done < <(git ls-files | cut -d/ -f1 | sort -u)
for doc in README.md docs/*.md; do
  # Each heading's anchor as Markdown renderers make it.
  anchors[$doc]=$(sed -n 's/^#\{1,6\} //p' "$doc" | tr 'A-Z' 'a-z' | sed 's/[^a-z0-9 _-]//g; s/ /-/g')
done
for doc in README.md docs/*.md; do
  while IFS=: read -r line path; do
    [ -n "${top[/${path%%/*}]:-}" ] || continue
    case $path in
      *[{*]*)  # each of the braces' words must match; the pattern admits no other shell syntax
        found=true
        for candidate in $(eval "echo $path"); do compgen -G "$candidate" >/dev/null || found=false; done ;;
      *) [ -e "$path" ] && found=true || found=false ;;
    esac
    $found || { echo "check: $doc:$line names \`$path\`, which is not in the tree"; status=1; }
  done < <(grep -on '`[A-Za-z0-9_.*{},/+-]*`' "$doc" | tr -d '`')
  while IFS=: read -r line target; do
    file=${target%%#*}
    if [ -z "$file" ]; then file=$doc; elif [ "$(dirname "$doc")" != . ]; then file=$(dirname "$doc")/$file; fi
    file=$(realpath -m --relative-to=. "$file")
    if [ ! -e "$file" ]; then
      echo "check: $doc:$line links to $target, which is not in the tree"; status=1
    elif [ "$target" != "${target#*#}" ] && ! grep -qxF -- "${target#*#}" <<<"${anchors[$file]:-}"; then
      echo "check: $doc:$line links to $target, which has no such heading"; status=1
    fi
  done < <(grep -on '](\([^):]*\))' "$doc" | sed 's/](\(.*\))$/\1/')
done

# Every source file names its licence in one of its first three lines.
while read -r file; do
  head -3 "$file" | grep -q 'SPDX-License-Identifier: MIT' || { echo "check: $file has no SPDX-License-Identifier line"; status=1; }
done < <(git ls-files '*.cpp' '*.h' '*.sh' '*.py' '*.cmake' '*CMakeLists.txt' '*.in' '*.rc' '*.mc' '*.nsi' \
  '*.xml' '*.qrc' '*.policy' '*.desktop' '*.1' '*.supp' .ci/run packaging/debian/lintian-overrides)

mapfile -t sources < <(git ls-files '*.cpp' '*.h')
if ! clang-format --dry-run --Werror "${sources[@]}" >"$build/format.log" 2>&1; then
  echo "check: formatting differs from .clang-format in:"
  grep -o '^[^:]*:[0-9]*' "$build/format.log" | sed 's/:[0-9]*$//' | sort -u | sed 's/^/  /'
  status=1
fi

# The project's sources only: not Qt's generated files nor GoogleTest's.
root=$PWD
mapfile -t units < <(sed -n 's/^ *"file": "\(.*\)",\{0,1\}$/\1/p' "$build/compile_commands.json" |
  grep "^$root/" | grep -v "^$root/$build/" | sort -u)
if [ ${#units[@]} -eq 0 ]; then
  echo "check: no compile database in $build (configure it first)" >&2
  exit 1
fi
# GCC's precompiled headers are no use to clang: tidy reads each unit with its
# headers included as written, which also shows an include the PCH was hiding.
mkdir -p "$build/tidy"
sed -E 's# -include [^ ]*cmake_pch\.hxx##g; s# -Winvalid-pch##g' "$build/compile_commands.json" \
  >"$build/tidy/compile_commands.json"
# Two at a time, as the machine has two cores; --quiet keeps the log to findings.
if ! printf '%s\n' "${units[@]}" |
  xargs -P2 -n4 clang-tidy -p "$build/tidy" --quiet >"$build/tidy.log" 2>/dev/null; then
  echo "check: clang-tidy findings:"
  grep -E '(warning|error): ' "$build/tidy.log" | sort -u | sed 's/^/  /'
  status=1
fi
[ "$status" -ne 0 ] || echo "check: ${#sources[@]} files formatted, ${#units[@]} units clean"
exit "$status"
