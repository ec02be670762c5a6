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

# The Windows archive: tolvane-cli.exe (linked statically, so no DLL goes with it), the
# catalogs beside it, its manual as text and a README for Windows users.
scripts/windows-build.sh
version="$(sed -n 's/^project([^)]*VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"
stage="$(mktemp -d)"
dir="$stage/tolvane-cli-$version-win64"
mkdir -p "$dir"
cp build-mingw/app/tolvane-cli.exe "$dir/"
cp -r build-mingw/app/locale "$dir/"
MANWIDTH=80 man -l packaging/man/tolvane-cli.1 2>/dev/null | sed 's/.\x08//g; s/$/\r/' > "$dir/tolvane-cli.txt"
sed 's/$/\r/' packaging/windows/README.txt > "$dir/README.txt"
zip="$PWD/build-mingw/tolvane-cli-$version-win64.zip"
rm -f "$zip"
(cd "$stage" && cmake -E tar cf "$zip" --format=zip "tolvane-cli-$version-win64")
rm -rf "$stage"
cmake -E tar tf "$zip"
