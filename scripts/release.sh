#!/usr/bin/env bash
# Builds what users download into dist/, then checks it: the portable zip and
# the installer of the 32-bit Windows programs, the Debian package of the Linux
# command line, the reader SDK for Windows developers (scripts/make-sdk.sh), and
# SHA256SUMS of them. Their bytes depend only on the commit:
# the programs hold no link time, and the zip's entries and the package's files
# carry SOURCE_DATE_EPOCH, by default the commit's time.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || echo 315532800)
fi
export SOURCE_DATE_EPOCH

rm -rf dist
cmake --preset win32 >/dev/null
# The release's own targets: the same build's test programs are the test command's.
cmake --build --preset win32 -j2 --target velkaron_release
cmake --preset release >/dev/null
cmake --build --preset release -j2
rm -rf build/release/packages
cpack --config build/release/CPackConfig.cmake -G DEB -B build/release/packages >/dev/null
cp build/release/packages/*.deb dist/
bash scripts/make-sdk.sh dist
(cd dist && sha256sum -- *.zip *.exe *.deb > SHA256SUMS)

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/win32/CMakeCache.txt)
python3 tests/release/check-zip.py "dist/Velkaron-$version-win32.zip" "dist/Velkaron-$version-setup.exe" "$version"
bash tests/release/check-deb.sh dist/velkaron-pack_"$version"_*.deb packaging/使用说明.txt
bash tests/release/check-sdk.sh "dist/Velkaron-$version-reader-sdk.zip"
echo "release: dist/"
ls -l dist
