#!/usr/bin/env bash
# Builds build/tarvex-<version>-windows.zip and its checksum file
# build/tarvex-<version>-windows.zip.sha256: both plug-in DLLs (stripped,
# then checked for format, exports, imports, version resource and any
# absolute path of the build machine), docs/commands.md (without links to
# files that are not in the zip), the example post examples/host_post.tcl
# and INSTALL.txt, every text file with Windows line ends.
# Installs the Debian packages it needs first, as scripts/demo.sh does
# (as root, only those that are missing).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-packages.sh

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
    # (strip would write the time of stripping into the header.)
    SOURCE_DATE_EPOCH=0 "$(tool "$preset" CMAKE_STRIP)" --strip-all "$dll"
    cmake -DOBJDUMP="$(tool "$preset" CMAKE_OBJDUMP)" -DDLL="$dll" -DWIDTH="$width" \
        -DDEF_DIR=cmake -P cmake/CheckDll.cmake
    objdump=$(tool "$preset" CMAKE_OBJDUMP)
    cmake -DWINDRES="${objdump%objdump}windres" -DDLL="$dll" -DVERSION="$version" \
        -DWIDTH="$width" -P cmake/CheckVersion.cmake
    # No folder of this machine in what is shipped.
    for folder in "$PWD" "$PWD/build/$preset"; do
        if { strings -a "$dll"; strings -a -el "$dll"; } | grep -F -q -e "$folder" -e "${folder//\//\\}"; then
            echo "package.sh: $dll holds the build folder $folder" >&2
            exit 1
        fi
    done
done

# Windows line ends for every text file; commands.md loses the links to
# files that are not in the zip (their text stays).
crlf() { sed -e 's/\r$//' -e 's/$/\r/'; }
sed -E 's/\[([^]]+)\]\(([^)#][^):]*)\)/\1/g' docs/commands.md | crlf > "$stage/commands.md"
crlf < examples/host_post.tcl > "$stage/host_post.tcl"
sed -e "s/@VERSION@/$version/g" cmake/INSTALL.txt.in | crlf > "$stage/INSTALL.txt"
if grep -E -q '\]\([^)#][^):]*\)' "$stage/commands.md"; then
    echo "package.sh: commands.md still links to a file outside the zip" >&2
    exit 1
fi

# The same sources give the same zip: every entry carries the commit's time.
stamp=$(TZ=UTC git log -1 --format=%cd --date=format-local:'%Y-%m-%d %H:%M:%S' 2>/dev/null || echo '2000-01-01 00:00:00')
rm -f "build/$name.zip" "build/$name.zip.sha256"
(cd build/package && TZ=UTC cmake -E tar cf "../$name.zip" --format=zip --mtime="$stamp UTC" \
    "$name/INSTALL.txt" "$name/commands.md" "$name/host_post.tcl" "$name/tarvex_x32.dll" "$name/tarvex_x64.dll")
(cd build && sha256sum "$name.zip" > "$name.zip.sha256")
echo "build/$name.zip"
cat "build/$name.zip.sha256"
