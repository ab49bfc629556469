#!/usr/bin/env bash
# Runs the program interactively on a fresh copy of the sample configuration,
# then shows what it did to the files.
set -euo pipefail
build=${1:-build}
dir=$(mktemp -d "${TMPDIR:-/tmp}/tirven-demo.XXXXXX")
"$build/examples/make-demo-config" "$dir"

list() { (cd "$dir" && find . -maxdepth 1 -type f -printf '%-14f %9s bytes\n' | sort); }
echo "Sample configuration in $dir (old layout):"
list
before=$(list)
echo
read -r -p "Press Enter to start tirven-update on it (TIRVEN=$dir) ..." _ || true

status=0
TIRVEN="$dir" "$build/tirven-update" || status=$?

echo
echo "tirven-update ended with exit status $status. The configuration directory now holds:"
list
echo
echo "Changes:"
diff <(echo "$before") <(list) | sed -n 's/^</  before: /p; s/^>/  after:  /p' || true
echo "Converted files keep their names; each old file stays under its backup name (.bak, or .ba1 to .ba9)."
