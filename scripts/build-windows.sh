#!/usr/bin/env bash
# Cross-builds mivo for Windows x86-64 from Debian with mingw-w64: installs
# the Debian packages it needs (only those missing), builds into
# build-windows/ (programs, test program and example host in
# build-windows/bin/), checks that the programs need no DLL beyond Windows'
# own, and packs dist/mivo-VERSION-windows-x86_64.zip.
# Usage: scripts/build-windows.sh [CMAKE_ARGS...]
set -euo pipefail
cd "$(dirname "$0")/.."

# wine64 alone puts no "wine" command on the path; the wine package does.
packages=(cmake ninja-build g++-mingw-w64-x86-64-posix libz-mingw-w64-dev libxxhash-dev googletest wine wine64)
scripts/install-packages.sh "${packages[@]}"

build_dir=build-windows
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DMIVO_BUILD_BENCH=OFF "${launcher[@]}" "$@" >/dev/null
cmake --build "$build_dir" -j "$(nproc)" --target mivo_texdump mivo_packcheck mivo_packbuild mivo_pack_host_example \
  mivo_tests mivo_png_verdicts mivo_encode_digests

bin=$build_dir/bin
programs=(mivo_texdump.exe mivo_packcheck.exe mivo_packbuild.exe mivo_pack_host_example.exe mivo_tests.exe)
# Windows' own DLLs only: no C++ runtime, thread or zlib DLL may be needed.
for exe in "${programs[@]}"; do
  dlls=$(x86_64-w64-mingw32-objdump -p "$bin/$exe" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
  for dll in $dlls; do
    case $dll in
      kernel32.dll | msvcrt.dll | ole32.dll | oleaut32.dll | shell32.dll | user32.dll | advapi32.dll) ;;
      *) echo "$exe needs $dll, which Windows does not ship" >&2; exit 1 ;;
    esac
  done
done

version=$(sed -n 's/^project(mivo VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
name=mivo-$version-windows-x86_64
stage=$build_dir/dist/$name
rm -rf "$build_dir/dist"
mkdir -p "$stage" dist
for exe in mivo_texdump.exe mivo_packcheck.exe mivo_packbuild.exe; do
  x86_64-w64-mingw32-strip -o "$stage/$exe" "$bin/$exe"
done
# The zip's own README: plain text with Windows line ends, for Notepad.
sed -e "s/@VERSION@/$version/" -e 's/$/\r/' packaging/README-windows.txt >"$stage/README.txt"
cp LICENSE "$stage/"
rm -f "dist/$name.zip"
(cd "$build_dir/dist" && cmake -E tar cf "../../dist/$name.zip" --format=zip "$name")
echo "windows build: $bin/ and dist/$name.zip"
