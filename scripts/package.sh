#!/usr/bin/env bash
# Builds the whole optimised tree, runs the benchmarks once in its short mode (a smoke test: the
# figures are printed, nothing is judged), builds the Debian package and checks it: its listing,
# its desktop entry and lintian, which must find no error. The package is left in build-release/.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

# The tests are built and run by scripts/test.sh; the optimised tree needs only the programs.
cmake --preset release -DBUILD_TESTING=OFF >/dev/null
cmake --build --preset release

# Qt wants a private runtime directory; a CI machine has none.
runtime=""
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  runtime="$(mktemp -d)"
  export XDG_RUNTIME_DIR="$runtime"
fi
QT_QPA_PLATFORM=offscreen build-release/benchmarks/port_benchmark --short
build-release/benchmarks/settings_benchmark --short
if [ -n "$runtime" ]; then rm -rf "$runtime"; fi

(cd build-release && rm -f tolvane_*.deb && cpack -G DEB)
package="$(ls build-release/tolvane_*.deb)"
dpkg-deb --info "$package"
dpkg-deb -c "$package"

unpacked="$(mktemp -d)"
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$package" "$unpacked"
desktop-file-validate "$unpacked/usr/share/applications/tolvane.desktop"

lintian --fail-on error "$package"
echo "lintian: no errors in $package"
