#!/usr/bin/env bash
# Round trip of .reg files written by Wine's regedit through keystrel:
#   1. Wine's regedit imports a seed file (every value type, awkward names)
#      and exports the key in the version 5 format;
#   2. keystrel imports that file into a fresh store and exports the key
#      again: the two files must be byte-identical;
#   3. keystrel's REGEDIT4 export of the key, imported back by Wine's
#      regedit, must give Wine's own export once more, and so must the same
#      file imported by keystrel into another fresh store.
# Skipped (exit 77) unless KEYSTREL_WINE_TESTS=1. Installs wine from Debian's
# packages when it is missing.
set -euo pipefail

keystrel=${1:?usage: regedit-roundtrip.sh PATH-TO-KEYSTREL}
if [ "${KEYSTREL_WINE_TESTS:-}" != 1 ]; then
  echo "SKIP: set KEYSTREL_WINE_TESTS=1 to run the Wine regedit round trip"
  exit 77
fi

if ! command -v wine >/dev/null 2>&1; then
  echo "installing wine (Debian package) ..." >&2
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends wine wine64 >/dev/null
fi

work=$(mktemp -d)
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=
export LC_ALL=C.UTF-8
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

# Debian's `wine` prefers the 32-bit loader once wine32 is installed, and
# some kernels run no 32-bit code at all; the 64-bit loader serves regedit.
winebin=wine
[ -x /usr/lib/wine/wine64 ] && winebin=/usr/lib/wine/wine64
w() { timeout 300 "$winebin" "$@" 2>/dev/null; }
key='HKEY_CURRENT_USER\Software\Keystrel Round Trip'
fail() { echo "FAIL: $*" >&2; exit 1; }

# The seed, in UTF-8 here and UTF-16LE with BOM for regedit. Sibling key
# names avoid [ \ ] ^ _ and the backtick, which Wine sorts differently
# from the store (lower- versus upper-case folding).
long_text=$(printf 'x%.0s' $(seq 1 1500))
long_name=$(printf 'N%.0s' $(seq 1 90))
blob=$(for i in $(seq 0 299); do printf '%02x,' $((i * 7 % 256)); done)
blob=${blob%,}
cat > "$work/seed.txt" <<SEED
Windows Registry Editor Version 5.00

[$key]
@="default \"quoted\""
"Path"="C:\\\\Tools\\\\bin\\\\"
"Quote\"In\"Name"="say \"hi\""
"Back\\\\slash"="a\\\\b"
"Grüße €"="Œuvre ½ ÿ – “curly”"
"  spaces  "="  "
"Tabs and ;#"="a	b ;not a comment #"
"Long"="$long_text"
"$long_name"=hex:01,02,03,04,05
"Blob"=hex:$blob
"Empty blob"=hex:
"Count"=dword:0000002a
"Max"=dword:ffffffff
"Wide dword"=hex(4):01,00,00,00,00,00,00,00
"Nothing"=hex(0):
"Bytes none"=hex(0):de,ad
"Exp"=hex(2):25,00,54,00,45,00,4d,00,50,00,25,00,5c,00,fc,00,00,00
"List"=hex(7):61,00,00,00,62,00,63,00,00,00,e9,00,00,00,00,00
"Big endian"=hex(5):00,00,01,02
"Link"=hex(6):5c,00,52,00,65,00,67,00
"Resource"=hex(8):01,02
"Full"=hex(9):03
"Requirements"=hex(a):04
"Big"=hex(b):88,77,66,55,44,33,22,11
"Custom"=hex(100):ff
"Custom max"=hex(ffffffff):

[$key\\Sub key]

[$key\\Sub key\\Deeper [x] é]
"v"="1"

[$key\\Zeta]
@="z"
SEED
iconv -f UTF-8 -t UTF-16LE "$work/seed.txt" | { printf '\xff\xfe'; cat; } |
  sed 's/\x0a\x00/\x0d\x00\x0a\x00/g' > "$work/seed.reg"

w wineboot -i >/dev/null || true
w regedit /s "$work/seed.reg" || fail "wine regedit could not import the seed"
# Values reg.exe writes itself.
w reg add "$key" /v "Added sz" /d "from reg add" /f >/dev/null
w reg add "$key" /v "Added multi" /t REG_MULTI_SZ /d 'one\0two' /f >/dev/null
w reg add "$key" /v "Added qword" /t REG_QWORD /d 0x600000000 /f >/dev/null
w regedit /e "$work/wine.reg" "$key" || fail "wine regedit could not export"
[ -s "$work/wine.reg" ] || fail "wine regedit wrote nothing"

# 2. Wine's file through keystrel, version 5.
export KEYSTREL_REGISTRY="$work/store1.db"
"$keystrel" import "$work/wine.reg" >/dev/null || fail "keystrel import of wine.reg"
"$keystrel" export "$key" "$work/ours.reg" /y >/dev/null || fail "keystrel export"
cmp "$work/wine.reg" "$work/ours.reg" || {
  diff <(iconv -f UTF-16 -t UTF-8 "$work/wine.reg") <(iconv -f UTF-16 -t UTF-8 "$work/ours.reg") | head -20 >&2
  fail "keystrel's export differs from Wine's"
}

# 3. keystrel's REGEDIT4 export, read by Wine and by keystrel.
"$keystrel" export "$key" "$work/ours4.reg" /y /a >/dev/null || fail "keystrel export /a"
head -c 8 "$work/ours4.reg" | grep -q REGEDIT4 || fail "no REGEDIT4 header"
w reg delete "$key" /f >/dev/null
w regedit /s "$work/ours4.reg" || fail "wine regedit could not import keystrel's REGEDIT4 file"
w regedit /e "$work/wine_again.reg" "$key"
cmp "$work/wine.reg" "$work/wine_again.reg" || fail "Wine read keystrel's REGEDIT4 file differently"

export KEYSTREL_REGISTRY="$work/store2.db"
"$keystrel" import "$work/ours4.reg" >/dev/null || fail "keystrel import of its REGEDIT4 file"
"$keystrel" export "$key" "$work/ours_again.reg" /y >/dev/null
cmp "$work/wine.reg" "$work/ours_again.reg" || fail "REGEDIT4 round trip through keystrel differs"

echo "wine regedit round trip: $(wc -c < "$work/wine.reg") bytes identical in both formats"
