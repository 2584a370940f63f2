#!/usr/bin/env bash
# Checks a release directory as scripts/release.sh leaves it: the three files
# and nothing else, checksums that match, the zip's members in their folder,
# Windows texts in CRLF plain ASCII (the linked runtimes' notices among
# them), PE files stripped and stamped with the release's time, and no trace
# of the build's directory in any file.
# Usage: tests/packaging/release-contents.sh OUTDIR SOURCE_DATE_EPOCH BUILD_ROOT
set -euo pipefail
out=$1 epoch=$2 build_root=$3
fail() { echo "release-contents: $*" >&2; exit 1; }

deb=$(cd "$out" && ls -- fwupd32_*_amd64.deb)
version=${deb#fwupd32_}
version=${version%_amd64.deb}
name=fwupd32-$version
expected=$(printf '%s\n' "$name-win32.zip" SHA256SUMS "$deb" | LC_ALL=C sort)
held=$(find "$out" -mindepth 1 -maxdepth 1 -printf '%f\n' | LC_ALL=C sort)
[ "$held" = "$expected" ] || fail "$out holds $(tr '\n' ' ' <<<"$held")"
[ "$(cut -d ' ' -f 3 "$out/SHA256SUMS")" = "$(printf '%s\n' "$name-win32.zip" "$deb")" ] ||
  fail "SHA256SUMS does not list exactly the zip and the package"
(cd "$out" && sha256sum --quiet --strict -c SHA256SUMS) || fail "SHA256SUMS does not match"

zip=$out/$name-win32.zip
want=$(printf '%s\n' "$name/" "$name/fwupd32.exe" "$name/CDRAL.DLL" "$name/README.txt" "$name/LICENSE.txt" \
  "$name/NOTICES.txt")
[ "$(unzip -Z1 "$zip")" = "$want" ] || fail "the zip holds $(unzip -Z1 "$zip" | tr '\n' ' ')"
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
unzip -q "$zip" -d "$unpacked/zip"
dpkg-deb -x "$out/$deb" "$unpacked/deb"

for text in README.txt LICENSE.txt NOTICES.txt; do
  file=$unpacked/zip/$name/$text
  [ -s "$file" ] || fail "$text is empty"
  [ "$(LC_ALL=C tr -d '\r\n -~' <"$file" | wc -c)" -eq 0 ] || fail "$text is not plain ASCII"
  crs=$(tr -cd '\r' <"$file" | wc -c)
  lfs=$(tr -cd '\n' <"$file" | wc -c)
  if [ "$crs" -ne "$lfs" ] || [ -n "$(sed -n '/\r$/!p' "$file")" ]; then
    fail "$text does not end every line, and only there, in CRLF"
  fi
done
grep -q "^Version $version\. " "$unpacked/zip/$name/README.txt" || fail "README.txt does not give the version"
# The licences of the runtimes linked in ask for their notices beside the binaries.
for notice in "Zope Public License (ZPL) Version 2.1" "Copyright (C) 1998, 1999 by Lucent Technologies" \
  "GCC Runtime Library Exception"; do
  grep -qF "$notice" "$unpacked/zip/$name/NOTICES.txt" || fail "NOTICES.txt lacks \"$notice\""
done
! grep -q '@[A-Z_]*@' "$unpacked/zip/$name/"*.txt || fail "a Windows text keeps a placeholder"

export TZ=UTC # objdump prints the PE time stamp in local time
for binary in fwupd32.exe CDRAL.DLL; do
  file=$unpacked/zip/$name/$binary
  headers=$(i686-w64-mingw32-objdump -p "$file")
  sections=$(i686-w64-mingw32-objdump -h "$file")
  ! grep -q '\.debug' <<<"$sections" || fail "$binary carries debug sections"
  symbols=$(i686-w64-mingw32-nm "$file" 2>&1 || true)
  [ "$symbols" = "i686-w64-mingw32-nm: $file: no symbols" ] || fail "$binary carries symbols"
  stamp=$(date -u -d "@$epoch" '+%a %b %e %H:%M:%S %Y')
  grep -q "^Time/Date[[:space:]]*$stamp\$" <<<"$headers" ||
    fail "$binary: PE time stamp is not the release's ($stamp): $(grep '^Time/Date' <<<"$headers")"
  # A DLL's export directory has a time stamp of its own.
  while read -r exported; do
    [ "$exported" = "$(printf '%x' "$epoch")" ] || fail "$binary: export time stamp $exported"
  done < <(sed -n 's/^Time\/Date stamp[[:space:]]*//p' <<<"$headers")
done

if leaks=$(grep -rlF -- "$build_root" "$unpacked"); then
  fail "files name the build's directory $build_root: $leaks"
fi
echo "release-contents: $deb, $name-win32.zip and SHA256SUMS as expected"
