#!/usr/bin/env bash
# Tests the Windows build (scripts/build-windows.sh) under Wine: runs the test
# program (its PNG suite tests hold the Windows decoder to the same pixels as
# libspng), then checks end to end that the Windows programs agree with the
# Linux ones (build/, built here when missing): the same files byte for byte,
# the same console lines and CSV text once Windows line ends are read as line
# feeds, and the same exit statuses.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
win_bin=$root/build-windows/bin
work=$root/build-windows/e2e

# Quiet, with a prefix of its own. Under a UTF-8 locale Wine's ANSI code page
# is 1252, so the narrow-encoded arguments below use characters from it.
export WINEPREFIX=$root/build-windows/wine-prefix WINEDEBUG=-all LANG=C.UTF-8 LC_ALL=C.UTF-8
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wine wineboot --init >/dev/null 2>&1 || true
fi

echo "== test program under Wine"
(cd build-windows && wine "$win_bin/mivo_tests.exe" --gtest_brief=1)

echo "== Windows programs against Linux programs"
[ -x build/tools/texdump/mivo_texdump ] || scripts/setup.sh build
cmake --build build --target mivo_texdump mivo_packcheck mivo_packbuild mivo_png_verdicts mivo_encode_digests >/dev/null
linux_texdump=$root/build/tools/texdump/mivo_texdump
linux_packcheck=$root/build/tools/packcheck/mivo_packcheck
linux_packbuild=$root/build/tools/packbuild/mivo_packbuild

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

rm -rf "$work"
mkdir -p "$work/linux" "$work/windows"
for side in linux windows; do
  cp -r samples "$work/$side/samples"
  mkdir -p "$work/$side/échantillons"
  cp samples/*.bin "$work/$side/échantillons/"
  cp samples/bf_0A000001_5E1C0001.bin "$work/$side/échantillons/café.bin"
done

# run TAG PROGRAM ARGS...: both platforms' PROGRAM with ARGS in their own
# folders; stdout to TAG.out, stderr to TAG.err (compared here), exit status
# to TAG.status.
run() {
  local tag=$1 program=$2
  shift 2
  local linux_program status
  case $program in
    texdump) linux_program=$linux_texdump ;;
    packcheck) linux_program=$linux_packcheck ;;
    packbuild) linux_program=$linux_packbuild ;;
  esac
  status=0
  (cd "$work/linux" && "$linux_program" "$@") >"$work/linux/$tag.out" 2>"$work/linux/$tag.err" || status=$?
  echo "$status" >"$work/linux/$tag.status"
  status=0
  (cd "$work/windows" && wine "$win_bin/mivo_$program.exe" "$@") >"$work/windows/$tag.out" 2>"$work/windows/$tag.err" ||
    status=$?
  echo "$status" >"$work/windows/$tag.status"
  cmp -s "$work/linux/$tag.status" "$work/windows/$tag.status" ||
    fail "$tag: exit status $(cat "$work/linux/$tag.status") on Linux, $(cat "$work/windows/$tag.status") on Windows"
  same_text "$tag.err"
}

# same_text FILE [FILTER]: a text file written on both; the Windows one ends
# every line with CR LF and, read as text (and through FILTER), equals the
# Linux one.
same_text() {
  local file=$1 filter=${2:-cat}
  if [ ! -f "$work/linux/$file" ] || [ ! -f "$work/windows/$file" ]; then
    fail "$file: missing"
    return
  fi
  if [ -s "$work/windows/$file" ] && grep -q $'[^\r]$' "$work/windows/$file"; then
    fail "$file: a Windows line without CR LF"
  fi
  if ! tr -d '\r' <"$work/windows/$file" | $filter | cmp -s - "$work/linux/$file"; then
    fail "$file differs"
    tr -d '\r' <"$work/windows/$file" | $filter | diff - "$work/linux/$file" | head -5 || true
  fi
}

# same_files FOLDER: byte for byte, including pack.txt with its bare line feeds.
same_files() {
  diff -r "$work/linux/$1" "$work/windows/$1" >/dev/null || fail "$1/ differs: $(diff -rq "$work/linux/$1" "$work/windows/$1" | head -3)"
}

# Console names are in the narrow encoding: code page 1252 under Wine.
from_cp1252() { iconv -f CP1252 -t UTF-8; }

run normal texdump --out out --csv report.csv --pack-template tpl samples
same_text normal.out
same_text report.csv
same_files out
same_files tpl

run png texdump --no-images --pack-template tplpng --pack-png samples
same_text png.out
same_files tplpng

run tail texdump --tail-check tail.csv --tail-images sheets samples
same_text tail.out
same_text tail.csv
same_files sheets

# Folders with names outside ASCII: the inputs, --out and --csv are narrow
# (code page 1252 here), --pack-template and --tail-images UTF-8 and may hold
# any character.
run accents texdump --out "sortie-é" --csv "rapport-é.csv" --pack-template "modèle-日本" échantillons
same_text accents.out from_cp1252
same_text "rapport-é.csv" from_cp1252
same_files "sortie-é"
same_files "modèle-日本"
grep -q 'café: ' "$work/linux/accents.out" || fail "accents: no line for café.bin"
run accents_skip texdump --no-images --skip-pack "modèle-日本" --pack-template "reste-日本" échantillons
same_text accents_skip.out from_cp1252
same_files "reste-日本"
run accents_tail texdump --tail-check "queue-é.csv" --tail-images "planches-日本" échantillons
same_text "queue-é.csv" from_cp1252
same_files "planches-日本"

# packcheck: UNLISTED lines in listing order, which no platform fixes, so
# they are compared as a set and the other lines in order.
same_packcheck() {
  local tag=$1
  for side in linux windows; do
    tr -d '\r' <"$work/$side/$tag.out" | grep -v '^UNLISTED/UNKNOWN FILE ' >"$work/$side/$tag.lines" || true
    tr -d '\r' <"$work/$side/$tag.out" | grep '^UNLISTED/UNKNOWN FILE ' | sort >"$work/$side/$tag.unlisted" || true
  done
  cmp -s "$work/linux/$tag.lines" "$work/windows/$tag.lines" ||
    { fail "$tag: lines differ"; diff "$work/windows/$tag.lines" "$work/linux/$tag.lines" | head -5 || true; }
  cmp -s "$work/linux/$tag.unlisted" "$work/windows/$tag.unlisted" || fail "$tag: unlisted files differ"
}

run check_tpl packcheck tpl tpl
same_packcheck check_tpl
# The PNG template as a pack: every replacement decoded by the platform's decoder.
run check_png packcheck tplpng tpl
same_packcheck check_png
for side in linux windows; do
  cp -r "$work/$side/tplpng" "$work/$side/paquet-é-日本"
  cp samples/bf_0A000001_5E1C0001.bin "$work/$side/paquet-é-日本/stray.png"
done
run check_accents packcheck "paquet-é-日本" "modèle-日本"
same_packcheck check_accents

# Pack building: the same pack bytes and lines on both platforms, from the
# PNG template and from the DDS one (block files kept as they are), into a
# folder named outside ASCII; then again after one source file changed, so
# that the rename over an existing file is exercised too.
run build_png packbuild --jobs 3 --csv "build-é.csv" "paquet-é-日本" "construit-é-日本"
same_text build_png.out
same_text "build-é.csv"
same_files "construit-é-日本"
run build_dds packbuild --jobs 2 tpl built-tpl
same_text build_dds.out
same_files built-tpl
for side in linux windows; do
  first=$(ls "$work/$side/paquet-é-日本"/*__bf_*.png | head -1)
  cp "$(ls "$work/$side/paquet-é-日本"/*__bf_*.png | tail -1)" "$first"
done
run rebuild_png packbuild --jobs 3 "paquet-é-日本" "construit-é-日本"
same_text rebuild_png.out
same_files "construit-é-日本"
grep -q '^BUILT ' "$work/linux/rebuild_png.out" || fail "rebuild_png: no row rebuilt"
run check_built packcheck "construit-é-日本" "modèle-日本"
same_packcheck check_built

# A pack of the suite's 8-bit PNG files (bit depth byte 8; the corrupt x*
# files included) under every pack format family, with a template listing
# the same rows, and two stray files.
formats=(RGBA8_UNORM BC1_UNORM RG8_UNORM R8_UNORM RG8_SNORM BC5_UNORM BC7_UNORM)
manifest=$'MVTP 1\n# hash bf_name original_host_format original_width original_height replacement_file\n'
mkdir -p "$work/suite"
i=0
for png in tests/data/pngsuite/*.png; do
  [ "$(od -An -tu1 -j24 -N1 "$png" | tr -d ' ')" = 8 ] || continue
  i=$((i + 1))
  key=$(printf '%016X__bf_%08X_%08X' "$i" "$i" "$i")
  cp "$png" "$work/suite/$key.png"
  manifest+="$(printf '%016X bf_%08X_%08X %s 32 32 %s.png' "$i" "$i" "$i" "${formats[i % ${#formats[@]}]}" "$key")"$'\n'
done
printf '%s' "$manifest" >"$work/suite/pack.txt"
cp tests/data/pngsuite/basn6a08.png "$work/suite/stray.png"
cp samples/bf_0A000001_5E1C0001.bin "$work/suite/stray.dds"
for side in linux windows; do
  cp -r "$work/suite" "$work/$side/suite"
  mkdir -p "$work/$side/suite-template"
  cp "$work/suite/pack.txt" "$work/$side/suite-template/"
done
run check_suite packcheck suite suite-template
same_packcheck check_suite

# Replacements behind symbolic links, made here and followed by Wine: both
# builds resolve a link before the folder check and before the extension
# chooses the decoder, so the verdicts are the Linux ones.
make_link_pack() {
  local root=$1
  mkdir -p "$root/pack/sub" "$root/outside" "$root/template"
  cp "$work/linux/tpl/$dds_file" "$root/pack/real.dds"
  for folder in pack outside pack/sub; do cp tests/data/pngsuite/basn6a08.png "$root/$folder/real.png"; done
  local targets=(../outside/real.png "$root/outside/real.png" sub/real.png missing.png real.dds real.png real.png)
  local names=(.png .png .png .png .png .dds .png)
  local manifest=$'MVTP 1\n# hash bf_name original_host_format original_width original_height replacement_file\n'
  for i in "${!targets[@]}"; do
    local key file row_format=RGBA8_UNORM size="32 32"
    key=$(printf '%016X__bf_%08X_%08X' "$((i + 1))" "$((i + 1))" "$((i + 1))")
    file=$key${names[i]}
    [ "${targets[i]}" != real.dds ] || { row_format=$dds_format; size=$dds_size; }
    ln -s "${targets[i]}" "$root/pack/$file"
    manifest+="${key%%__*} ${key#*__} $row_format $size $file"$'\n'
  done
  printf '%s' "$manifest" >"$root/pack/pack.txt"
  cp "$root/pack/pack.txt" "$root/template/"
  ln -s pack "$root/pack-link"
}
dds_row=$(grep -m1 '\.dds$' "$work/linux/tpl/pack.txt")
dds_file=${dds_row##* }
dds_format=$(cut -d' ' -f3 <<<"$dds_row")
dds_size=$(cut -d' ' -f4,5 <<<"$dds_row")
for side in linux windows; do make_link_pack "$work/$side/links"; done
run links packcheck links/pack links/template
same_packcheck links
run links_folder packcheck links/pack-link links/template
same_packcheck links_folder
# Out of the pack (relative, absolute, a subfolder) and broken: refused; a
# DDS behind a .png name, a PNG behind .dds and a plain link inside: loaded.
[ "$(grep -c 'replacement absent or outside pack' "$work/linux/links.out")" = 4 ] &&
  [ "$(grep -c '^OK ' "$work/linux/links.out")" = 3 ] || fail "links: not the verdicts links must get on Linux"

# The PNG fuzz corpus (first byte: the original's format and the CRC repair)
# through both decoders: no crash, and the same accept/refuse verdict per file.
corpus=$root/fuzz/corpus/replacement_png
"$root/build/tests/mivo_png_verdicts" "$corpus" >"$work/linux/verdicts.txt" 2>/dev/null || fail "verdicts: Linux run failed"
(cd "$work/windows" && wine "$win_bin/mivo_png_verdicts.exe" "$corpus" 2>/dev/null) | tr -d '\r' >"$work/windows/verdicts.txt" ||
  fail "verdicts: Windows run failed"
[ "$(wc -l <"$work/linux/verdicts.txt")" = "$(wc -l <"$work/windows/verdicts.txt")" ] || fail "verdicts: file counts differ"
differ=$(paste -d' ' "$work/linux/verdicts.txt" "$work/windows/verdicts.txt" | awk '$1 != $3 || $2 != $4' || true)
[ -z "$differ" ] || { fail "verdicts differ (Linux, then Windows):"; head -10 <<<"$differ"; }
echo "png corpus: $(wc -l <"$work/linux/verdicts.txt") files, $(grep -c . <<<"$differ" || true) verdicts differ"

# The pack of PNG files cut short after their pixels: refused on both.
for side in linux windows; do cp -r tests/golden/inputs/packcheck-png-cut-after-pixels "$work/$side/cut"; done
run cut packcheck cut/pack cut/template
same_packcheck cut

# Block encodings of fixed images: the same bytes (by digest) and the same
# PSNR text on both platforms, and on one thread as on three.
"$root/build/tests/mivo_encode_digests" >"$work/linux/encode_digests.txt" || fail "encode digests: Linux run failed"
(cd "$work/windows" && wine "$win_bin/mivo_encode_digests.exe") | tr -d '\r' >"$work/windows/encode_digests.txt" ||
  fail "encode digests: Windows run failed"
cmp -s "$work/linux/encode_digests.txt" "$work/windows/encode_digests.txt" ||
  { fail "encode digests differ"; diff "$work/linux/encode_digests.txt" "$work/windows/encode_digests.txt" | head -5; }
echo "encode digests: $(wc -l <"$work/linux/encode_digests.txt") encodings compared"

if [ "$failures" -ne 0 ]; then
  echo "windows: $failures end-to-end differences"
  exit 1
fi
echo "windows: test program passed, programs agree with the Linux build"
