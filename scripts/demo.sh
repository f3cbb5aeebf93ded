#!/usr/bin/env bash
# The main job: builds the programs and shows them at work under Wine.
#   1. a demo installation is registered (scripts/demo.reg);
#   2. Run.exe starts the demo application, which says so;
#   3. install.exe 80 0 registers the demo COM server, which says so;
#   4. with the installation gone, Run.exe shows its error box, saved as a
#      screenshot, and the box is answered as a person would;
#   5. a program meets an access violation and its fault filter mails a fault
#      report, once by a "mailto:" URL and once through MAPI, to the stand-ins
#      of url.dll and MAPI32.DLL (tests/gen), which say what they were handed.
# The shipped PE32 programs (win32 preset) run where this machine runs 32-bit
# Wine; elsewhere their 64-bit twins (win64 preset), as it says.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/install-deps.sh

for preset in win32 win64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$(nproc)" >/dev/null
done
scripts/check-pe.sh build/win32/bin/Run.exe build/win32/bin/install.exe
. scripts/wine32.sh
if how=$(wine32_how); then
  bin=$root/build/win32/bin
  echo "running the shipped 32-bit programs of $bin (32-bit Wine runs $how)"
else
  bin=$root/build/win64/bin
  echo "32-bit Wine: $how; running the 64-bit programs of $bin instead"
fi
stand_ins=$root/build/win64/bin

demo=$root/build/demo
rm -rf "$demo"
mkdir -p "$demo"
# Made once and kept: a prefix that runs 32-bit programs takes minutes to make.
export WINEPREFIX=$root/build/demo-wineprefix
. scripts/wine-env.sh

# One X server for the whole demo, so the box can be seen and photographed.
# A number no other X server (xvfb-run's among them) holds.
number=$((90 + RANDOM % 100))
while [ -e "/tmp/.X$number-lock" ] || [ -e "/tmp/.X11-unix/X$number" ]; do number=$((number + 1)); done
display=:$number
Xvfb "$display" -screen 0 1024x768x24 >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=$display
system32="$WINEPREFIX/drive_c/windows/system32"
restore_dlls() {  # Wine's own url.dll and mapi32.dll, after step 5
  for dll in url mapi32; do
    if [ -f "$demo/$dll.dll.wine" ]; then cp "$demo/$dll.dll.wine" "$system32/$dll.dll"; fi
  done
}
trap 'restore_dlls; wineserver -k 2>/dev/null || true; kill $xvfb_pid 2>/dev/null || true' EXIT
scripts/wine-prefix.sh "$WINEPREFIX" >/dev/null
# Wine draws the windows' frames and captions itself: there is no window
# manager here to draw them, and the screenshot shows the whole box.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null

c="$WINEPREFIX/drive_c"
mkdir -p "$c/Program Files/Korvel" "$c/Program Files/Korvel SDK/64"
cp "$stand_ins/recorder.exe" "$c/Program Files/Korvel/Korvel.exe"
cp "$stand_ins/KorvelCOM.dll" "$c/Program Files/Korvel SDK/64/KorvelCOM.dll"
record="$c/demo-record.txt"
rm -f "$record"
export KORVEL_RECORD='C:\demo-record.txt'

wait_for_record() {  # wait_for_record N: until the record has N lines
  for _ in $(seq 600); do
    [ -f "$record" ] && [ "$(wc -l <"$record")" -ge "$1" ] && return 0
    sleep 0.1
  done
  echo "demo: nothing was recorded" >&2; return 1
}

echo "== 1. registering the demo installation (scripts/demo.reg)"
wine regedit /S "$(wine winepath -w "$root/scripts/demo.reg")"
wine reg query 'HKCU\Software\Korvel' | tr -d '\r' | sed -n '/REG_SZ/p'

echo "== 2. Run.exe"
wine "$bin/Run.exe"; echo "Run.exe exit code: $?"
wait_for_record 1
echo "the demo application says: $(sed -n 1p "$record" | tr -d '\r')"

echo "== 3. install.exe 80 0"
wine "$bin/install.exe" 80 0; echo "install.exe exit code: $?"
wait_for_record 2
echo "the demo COM server says: $(sed -n 2p "$record" | tr -d '\r')"

echo "== 4. Run.exe without an installation"
wine regedit /S "$(wine winepath -w "$root/scripts/demo-uninstall.reg")"
wine "$bin/Run.exe" &
run_pid=$!
window=$(xdotool search --sync --onlyvisible --name '^Error$' | head -n 1)
sleep 0.5  # let the box finish drawing
import -display "$DISPLAY" -window "$window" -frame "$demo/missing-installation.png"
echo "box on screen: screenshot saved as build/demo/missing-installation.png"
{ xdotool windowactivate --sync "$window" key Return || xdotool key --window "$window" Return; } 2>/dev/null
status=0; wait $run_pid || status=$?
echo "Run.exe exit code: $status (255: the -1 of a missing installation)"

echo "== 5. a fault report from fault_probe.exe (64-bit): its fault filter reports an access violation"
for dll in url mapi32; do  # kept unless a stand-in was left behind
  grep -q KorvelStandin "$system32/$dll.dll" || cp "$system32/$dll.dll" "$demo/$dll.dll.wine"
done
cp "$stand_ins/url_standin.dll" "$system32/url.dll"
cp "$stand_ins/mapi_standin.dll" "$system32/mapi32.dll"
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;url,mapi32=n"  # the stand-ins, not Wine's own
printf '[Internet]\r\nMAutomated=reports@korvel.example\r\n' >"$c/demo-Korvel.INI"
settings() { wine "$stand_ins/settings.exe" "$@" | tr -d '\r'; }
for mapi in 0 1; do
  settings write '|WIN.INI|MAIL|MAPI' $mapi
  rm -f "$record"
  status=0; wine "$stand_ins/fault_probe.exe" 'C:\demo-Korvel.INI' || status=$?
  if [ $mapi = 0 ]; then
    echo "WIN.INI MAIL MAPI=0: url.dll was handed $(awk -F'\t' '$1=="opened" {print $2}' "$record")"
  else
    echo "WIN.INI MAIL MAPI=1: MAPISendMail was handed"
    awk -F'\t' '$1=="send" {print "  to: " $11 "\n  subject: " $5 "\n  body: " $6 "\n  flags: " $4 " (8: the compose dialog)"}' "$record"
  fi
  echo "  (fault_probe.exe exit code: $status, the low byte of the access violation's code)"
done
echo "subject template stored for the kind used: Report|GPF=$(settings read '|C:\demo-Korvel.INI|Report|GPF')"
