#!/usr/bin/env bash
# Builds tarvex-<version>-windows.zip in build/: both plug-in DLLs (their
# debug information stripped, then checked for format, exports and imports),
# docs/commands.md and INSTALL.txt. Needs the mingw-w64 cross compilers.
set -euo pipefail
cd "$(dirname "$0")/.."

version=$(sed -n 's/^project(tarvex VERSION \([0-9][0-9.]*\).*/\1/p' CMakeLists.txt)
if [ -z "$version" ]; then
    echo "package.sh: no version in CMakeLists.txt's project()" >&2
    exit 1
fi
name=tarvex-$version-windows
stage=build/package/$name
rm -rf build/package
mkdir -p "$stage"

# tool PRESET VARIABLE: a tool that the preset's configuration found.
tool() { sed -n "s/^$2:FILEPATH=//p" "build/$1/CMakeCache.txt"; }

for preset_width in win64:x64 win32:x32; do
    preset=${preset_width%:*}
    width=${preset_width#*:}
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" --target tarvex
    dll=$stage/tarvex_$width.dll
    cp "build/$preset/bin/tarvex_$width.dll" "$dll"
    "$(tool "$preset" CMAKE_STRIP)" --strip-debug "$dll"
    cmake -DOBJDUMP="$(tool "$preset" CMAKE_OBJDUMP)" -DDLL="$dll" -DWIDTH="$width" \
        -DDEF_DIR=cmake -P cmake/CheckDll.cmake
done

cp docs/commands.md "$stage/"
# Windows line ends for the text a Windows user opens first.
sed -e "s/@VERSION@/$version/" -e 's/$/\r/' cmake/INSTALL.txt.in > "$stage/INSTALL.txt"

rm -f "build/$name.zip"
(cd build/package && cmake -E tar cf "../$name.zip" --format=zip "$name")
echo "build/$name.zip"
