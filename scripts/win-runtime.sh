#!/usr/bin/env bash
# Builds, for the oldest processor we support, the members of the MinGW-w64
# runtime libraries that what we ship for Windows links (the list and why:
# packaging/windows/runtime-members.txt). Debian's prebuilt ones need a
# Pentium Pro. The sources are Debian's own, of the versions installed:
# gcc-12-source and the mingw-w64 source package (from a deb-src entry of the
# system's own archives, in an apt list kept in OUTDIR: the system's apt setup
# is not changed).
#
#   scripts/win-runtime.sh OUTDIR MARCH
#
# Leaves in OUTDIR/lib copies of the libraries with those members replaced,
# and crt2.o: link with -B OUTDIR/lib/ -L OUTDIR/lib. Does nothing when OUTDIR
# already holds what this script, the list, MARCH and the compilers make.
set -euo pipefail
(($# == 2)) || { echo "usage: $0 OUTDIR MARCH" >&2; exit 2; }
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "$1")
march=$2
members=$root/packaging/windows/runtime-members.txt
cc=i686-w64-mingw32-gcc-win32
cxx=i686-w64-mingw32-g++-win32
ar=i686-w64-mingw32-ar
nm=i686-w64-mingw32-nm

gcc_package=gcc-mingw-w64-i686-win32
gcc_version=$(dpkg-query -W -f='${Version}' "$gcc_package")
mingw_version=$(dpkg-query -W -f='${source:Version}' mingw-w64-i686-dev)
stamp=$( (cat "$0" "$members"; echo "$march $gcc_version $mingw_version") | sha256sum | cut -c1-16)
[[ -f $out/stamp && $(<"$out/stamp") == "$stamp" ]] && exit 0
echo "Building the Windows runtime's linked members for -march=$march in $out"
rm -rf "$out/lib" "$out/obj" "$out/stamp"
mkdir -p "$out/src" "$out/lib" "$out/obj"

# The sources, through apt on a list of our own: the system's archives, with
# deb-src entries added.
src=$out/src
apt=$src/apt
apt_opts=(-o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$apt/parts"
  -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache")
if [[ ! -d $src/gcc || ! -d $src/mingw ]]; then
  mkdir -p "$apt/parts" "$apt/lists/partial" "$apt/cache/archives/partial"
  for f in /etc/apt/sources.list.d/*.sources; do
    [[ -e $f ]] && sed -E 's/^Types:.*/Types: deb deb-src/' "$f" >"$apt/parts/$(basename "$f")"
  done
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [[ -e $f ]] && sed -nE 's/^deb (.*)/deb \1\ndeb-src \1/p' "$f" >"$apt/parts/$(basename "$f").list"
  done
  bash "$root/scripts/apt-update.sh" "${apt_opts[@]}"
fi
# GCC's: a binary package holding the upstream tarball, of the release the
# cross compiler was built from (12.2.0-14+deb12u1+25.2+b1 was built from
# gcc-12-source 12.2.0-14+deb12u1).
if [[ ! -d $src/gcc ]]; then
  source_version=$(sed -E 's/\+[0-9]+(\.[0-9]+)*(\+b[0-9]+)?$//' <<<"$gcc_version")
  (cd "$apt" && apt-get "${apt_opts[@]}" download -qq "gcc-12-source=$source_version" 2>&1 |
    grep -v unsandboxed || true)
  deb=$(ls "$apt"/gcc-12-source_*.deb)
  tarball=$(dpkg-deb -c "$deb" | grep -o '\./usr/src/gcc-12/gcc-[0-9.]*-dfsg\.tar\.xz')
  mkdir -p "$src/gcc.tmp"
  dpkg-deb --fsys-tarfile "$deb" | tar -xO "$tarball" |
    tar -xJ -C "$src/gcc.tmp" --strip-components=1 --wildcards \
      '*/libgcc/*' '*/libstdc++-v3/libsupc++/*' '*/libstdc++-v3/src/*' '*/libiberty/cp-demangle.*' '*/include/*'
  mv "$src/gcc.tmp" "$src/gcc"
fi
# MinGW-w64's: the source package of the installed runtime.
if [[ ! -d $src/mingw ]]; then
  (cd "$apt" && apt-get "${apt_opts[@]}" source -qq --download-only "mingw-w64=$mingw_version" 2>&1 |
    grep -v unsandboxed || true)
  mkdir -p "$src/mingw.tmp"
  tar -xjf "$apt"/mingw-w64_*.orig.tar.bz2 -C "$src/mingw.tmp" --strip-components=2 --wildcards '*/mingw-w64-crt/*'
  mv "$src/mingw.tmp" "$src/mingw"
fi
rm -rf "$apt"

# The headers libgcc's build generates: the compiler's own (its plugin
# headers), and the few that libgcc's configure would make.
gen=$out/obj/libgcc-include
mkdir -p "$gen"
printf '#ifndef GCC_TCONFIG_H\n#define GCC_TCONFIG_H\n#define USED_FOR_TARGET\n#include "auto-host.h"\n#include "ansidecl.h"\n#endif\n' >"$gen/tconfig.h"
printf '#ifndef LIBGCC_TM_H\n#define LIBGCC_TM_H\n#endif\n' >"$gen/libgcc_tm.h"
cp "$src/gcc/libgcc/unwind-generic.h" "$gen/unwind.h"
cp "$src/gcc/libgcc/config/i386/w32-unwind.h" "$gen/md-unwind-support.h"
cp "$src/gcc/libgcc/config/i386/gthr-win32.h" "$gen/gthr-default.h"
plugin=$("$cc" -print-file-name=plugin)/include

# The flags each library is built with (their own makefiles'), for $march.
common=(-O2 -g -march="$march" -mtune=pentium)
crt=(-D_CRTBLD -D_WIN32_WINNT=0x0f00 -D__MSVCRT_VERSION__=0x700 -D__USE_MINGW_ANSI_STDIO=0 -I"$src/mingw/include")
# compile_with SET: the compile command of that set in $compile.
compile_with() {
  local cxx_lib=(-fno-implicit-templates -ffunction-sections -fdata-sections)
  case $1 in
  mingw32) compile=("$cc" "${crt[@]}" -D_SYSCRT=1 -DCRTDLL=1) ;;
  mingwex) compile=("$cc" "${crt[@]}") ;;
  msvcrt) compile=("$cc" "${crt[@]}" -D__LIBMSVCRT__) ;;
  libgcc) compile=("$cc" -DIN_GCC -DCROSS_DIRECTORY_STRUCTURE -DIN_LIBGCC2 -fbuilding-libgcc
    -fno-stack-protector -fexceptions -I"$gen" -I"$src/gcc/libgcc" -I"$plugin" -I"$src/gcc/include") ;;
  supcxx) compile=("$cxx" "${cxx_lib[@]}" -I"$src/gcc/libgcc" -I"$src/gcc/libstdc++-v3/libsupc++") ;;
  cxx11 | cxx11-no-rdrand) compile=("$cxx" -std=gnu++11 "${cxx_lib[@]}") ;;
  cxx98) compile=("$cxx" -std=gnu++98 "${cxx_lib[@]}") ;;
  demangle) compile=("$cc" -DIN_GLIBCPP_V3 -DHAVE_STDLIB_H -DHAVE_STRING_H -DHAVE_LIMITS_H
    -I"$src/gcc/libiberty" -I"$src/gcc/include") ;;
  *) echo "unknown flags $1" >&2; return 1 ;;
  esac
  compile+=("${common[@]}" -w)
}

# Global symbols a member defines: the rebuilt one must define the same.
defined() { "$nm" "$1" | awk '$2 ~ /^[A-Z]$/ && $2 != "U" && $2 != "N" { print $3 }' | sort -u; }

while read -r library member source set; do
  [[ -z $library || $library == \#* ]] && continue
  original=$("$cc" -print-file-name="$library")
  copy=$out/lib/$library
  [[ -f $copy ]] || cp "$original" "$copy"
  obj=$out/obj/${library%.*}/$member
  mkdir -p "$(dirname "$obj")"
  file=$src/${source%%:*}/${source#*:}
  if [[ $set == cxx11-no-rdrand ]]; then
    # Linked only because cow-string-inst.o defines random_device's string
    # constructor; nothing here asks for a random device, so it goes without
    # the hardware sources that need RDRAND (found through CPUID).
    wrapper=$out/obj/random-no-rdrand.cc
    printf '#include <bits/c++config.h>\n#undef _GLIBCXX_X86_RDRAND\n#undef _GLIBCXX_X86_RDSEED\n#include "%s"\n' "$file" >"$wrapper"
    file=$wrapper
  fi
  compile_with "$set"
  "${compile[@]}" -c "$file" -o "$obj"
  if [[ $library == *.a ]]; then
    if [[ $("$ar" t "$original" | grep -cxF "$member") != 1 ]]; then
      echo "$library has not exactly one member $member" >&2
      exit 1
    fi
    "$ar" p "$original" "$member" >"$obj.orig"
    "$ar" r "$copy" "$obj"
  else
    cp "$original" "$obj.orig"
    cp "$obj" "$copy"
  fi
  if ! diff <(defined "$obj.orig") <(defined "$obj") >/dev/null; then
    echo "$source: the rebuilt $member does not define what $library's does:" >&2
    diff <(defined "$obj.orig") <(defined "$obj") >&2 || true
    exit 1
  fi
  rm -f "$obj.orig"
done <"$members"

echo "$stamp" >"$out/stamp"
