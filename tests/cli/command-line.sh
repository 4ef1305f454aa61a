#!/usr/bin/env bash
# kartovo and kartovo-card as command-line tools without any display: --help
# and --version end with 0, a wrong call gives a short Polish message and 64.
set -u
kartovo=$1
card=$2
demo=$3
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT

# expect STATUS [TEXT-ON-STDERR] -- COMMAND...: no display, no platform chosen for Qt.
expect() {
    local want=$1 said=$2; shift 3
    out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$@" 2>"$tmp/err"); got=$?
    err=$(cat "$tmp/err")
    [ "$got" -eq "$want" ] || fail "$* -> $got, expected $want; stderr: $err"
    [ -z "$said" ] || grep -qF -- "$said" <<<"$err" || fail "$*: stderr lacks '$said': $err"
}

for prog in "$kartovo" "$card"; do
    name=$(basename "$prog")
    expect 0 "" -- "$prog" --help
    grep -qF "Kody wyjścia:" <<<"$out" || fail "$name --help does not list the exit statuses"
    expect 0 "" -- "$prog" -h
    expect 0 "" -- "$prog" --version
    [[ "$out" =~ ^$name\ [0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "$name --version printed '$out'"
    expect 64 "nieznana opcja" -- "$prog" --no-such-option
    [ -z "$out" ] || fail "$name wrote to standard output on a wrong call"
done

# Wrong calls: missing or bad values, options that need --auto or exclude each other.
expect 64 "brak wartości" -- "$kartovo" --settings
for call in "--auto --interval 0" "--auto --settle abc" "--auto --settle -1" "--once" "--interval 5 --read x.jpg" \
            "--read" "--read --auto x.jpg" "--demo --settings x.ini"; do
    expect 64 "" -- "$kartovo" $call
done
expect 64 "" -- "$card" --id x --out "$tmp/k.png"
expect 64 "" -- "$card" --dpi 10 --out "$tmp/k.png"
# The window without a display says so instead of aborting in Qt.
expect 1 "brak ekranu" -- "$kartovo"

# A first start without settings: the refusal, where the settings were looked
# for, and how to try the demo.
expect 3 "Nie skonfigurowano połączenia z bazą danych" -- \
    env KARTOVO_SETTINGS="$tmp/brak.ini" KARTOVO_WORKDIR="$tmp/praca" "$kartovo" --read "$tmp/k.jpg"
for said in "$tmp/brak.ini (plik nie istnieje)" "kartovo --demo"; do
    grep -qF -- "$said" <<<"$err" || fail "first start without settings: '$said' not said: $err"
done

# A card named on the command line ("Open with") is loaded into the window
# as "&Plik" loads it: recognised, its working files written. The window
# stays open, so the run is ended from outside.
"$demo" "$tmp/demo" >/dev/null 2>&1 || fail "kartovo-demo failed"
KARTOVO_WORKDIR="$tmp/demo/praca" QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES="kartovo.app.debug=true" \
    timeout -s TERM 20 "$kartovo" --settings "$tmp/demo/NORV_SPC.ini" "$tmp/demo/karty/02-dlugosc-calkowita-szum.jpg" \
    >/dev/null 2>"$tmp/err"
grep -q "recognition" "$tmp/err" || fail "the card given on the command line was not loaded: $(cat "$tmp/err")"
[ -s "$tmp/demo/praca/Kod.bmp" ] || fail "no code field cut out of the card given on the command line"

# --demo with --read: the cards are read on the demonstration made in the
# user's data folder, its working files in its own "praca".
out=$(env -u KARTOVO_WORKDIR XDG_DATA_HOME="$tmp/dane" "$kartovo" --demo --read "$tmp/demo/karty/02-dlugosc-calkowita-szum.jpg" 2>/dev/null)
grep -q '"recognised":true' <<<"$out" || fail "--demo --read did not read the card: $out"
[ -s "$tmp/dane/kartovo-demo/Norv.mdb" ] && [ -s "$tmp/dane/kartovo-demo/praca/Kod.bmp" ] ||
    fail "--demo --read: no demonstration or working files in the user's data folder"

exit $((failures > 0))
