#!/usr/bin/env bash
# Makes the 32-bit Wine prefix that every Windows test uses, at PREFIX (a
# marker file PREFIX/.ready says it is complete; an existing complete prefix
# is kept). Must run where 32-bit x86 programs run (scripts/run-32bit.sh).
# Made in a scratch directory first and moved: in the QEMU guest that keeps
# wineboot's writes off the shared checkout. The copies of Wine's own DLLs
# that wineboot puts in the prefix become links to them (about 580 MB less
# to move and read; Wine follows the links as any file).
# Usage: tests/wine/make-prefix.sh PREFIX
set -euo pipefail
prefix=$(realpath -m "$1")
[[ -f $prefix/.ready ]] && exit 0
started=$(date +%s)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export WINEPREFIX=$scratch/prefix WINEARCH=win32 WINEDEBUG=-all
# Mono and Gecko are never used by the tests; without them wineboot would
# look for their installers.
WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i </dev/null >"$scratch/wineboot.log" 2>&1 ||
  { cat "$scratch/wineboot.log" >&2; exit 1; }
wineserver -w
reg=$scratch/settings.reg
# Without a window manager: Wine draws its own captions and closes windows
# at once; a crash ends the run instead of waiting in a dialog.
cat >"$reg" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Decorated"="N"
"Managed"="N"

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000
REG
wine regedit "$reg" </dev/null >/dev/null 2>&1
wineserver -w
# Windows' 8-point dialog font: Debian's Wine does not read its own font dir.
mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
perl -e '
  use File::Find;
  my ($prefix, $builtin) = @ARGV;
  my $same = sub {
    my ($a, $b) = @_;
    return 0 unless -f $b && -s $a == -s $b;
    open(my $x, "<:raw", $a) or return 0;
    open(my $y, "<:raw", $b) or return 0;
    local $/ = \1048576;
    while (1) {
      my $p = <$x>; my $q = <$y>;
      return 1 if !defined $p && !defined $q;
      return 0 if !defined $p || !defined $q || $p ne $q;
    }
  };
  find({ no_chdir => 1, wanted => sub {
    return unless -f $_ && !-l $_;
    (my $name = $_) =~ s{.*/}{};
    my $b = "$builtin/$name";
    if ($same->($_, $b)) { unlink $_; symlink $b, $_ or die "$_: $!" }
  } }, "$prefix/drive_c");
' "$WINEPREFIX" /usr/lib/i386-linux-gnu/wine/i386-windows
rm -rf "$prefix"
mkdir -p "$(dirname "$prefix")"
cp -a "$WINEPREFIX" "$prefix"
touch "$prefix/.ready"
echo "Wine prefix $prefix: made in $(($(date +%s) - started)) s, $(du -sh "$prefix" | cut -f1)"
