# Wine environment for the tests and the demo; source it, then wine_start.
# A private 64-bit prefix under build/wine, a Japanese locale (or the one in
# KSETUP_LOCALE, such as en_US.UTF-8, with a prefix and logs of its own), and
# an Xvfb display of our own unless KSETUP_USE_DISPLAY=1 and $DISPLAY is set.
# KSETUP_WIN_BUILD=win32 puts the i686 build (build/win32/bin) under test
# instead, with a prefix, logs and screenshots of its own (build/wine-win32,
# build/e2e-win32); the prefix stays a 64-bit one (KSETUP_WINEARCH), where
# 32-bit programs run under WoW64 as on 64-bit Windows once Wine's 32-bit
# half is present (scripts/root32.sh).

KSETUP_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
export KSETUP_WIN_BUILD=${KSETUP_WIN_BUILD:-win64}
case "$KSETUP_WIN_BUILD" in
  win64) KSETUP_RUN_SUFFIX="" ;;
  win32) KSETUP_RUN_SUFFIX=-win32 ;;
  *) echo "KSETUP_WIN_BUILD is win64 or win32" >&2; return 1 ;;
esac
export KSETUP_LOCALE=${KSETUP_LOCALE:-ja_JP.UTF-8}
# Other locales than Japanese get their own prefix, logs and screenshots.
KSETUP_LOCALE_TAG=""
[ "$KSETUP_LOCALE" = ja_JP.UTF-8 ] || KSETUP_LOCALE_TAG=${KSETUP_LOCALE%%.*}
export WINEARCH=${KSETUP_WINEARCH:-win64}
export WINEPREFIX=${WINEPREFIX:-$KSETUP_ROOT/build/wine$KSETUP_RUN_SUFFIX/prefix${KSETUP_LOCALE_TAG:+-$KSETUP_LOCALE_TAG}}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export LANG=$KSETUP_LOCALE LC_ALL=$KSETUP_LOCALE
export WINE_LOGS=${WINE_LOGS:-$KSETUP_ROOT/build/wine$KSETUP_RUN_SUFFIX/logs${KSETUP_LOCALE_TAG:+-$KSETUP_LOCALE_TAG}}
export KSETUP_WIN64=$KSETUP_ROOT/build/win64/bin
# The Windows programs under test.
export KSETUP_WINBIN=$KSETUP_ROOT/build/$KSETUP_WIN_BUILD/bin
mkdir -p "$WINE_LOGS"

KSETUP_XVFB_PID=""

# Starts the display (unless one is to be used) and makes the prefix.
wine_start() {
  if [ "${KSETUP_USE_DISPLAY:-0}" != 1 ] || [ -z "${DISPLAY:-}" ]; then
    local n
    for n in $(seq 91 120); do
      [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
      Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >"$WINE_LOGS/xvfb.log" 2>&1 &
      KSETUP_XVFB_PID=$!
      export DISPLAY=":$n"
      local i
      for i in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
      break
    done
    [ -n "$KSETUP_XVFB_PID" ] || { echo "no free display for Xvfb" >&2; return 1; }
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    wineboot --init >"$WINE_LOGS/wineboot.log" 2>&1 || { echo "wineboot failed" >&2; return 1; }
  fi
  wineserver -w 2>/dev/null
  return 0
}

# Stops everything this environment started.
wine_stop() {
  # Every step may fail harmlessly (nothing left to stop); none may end the
  # function early under `set -e`, or the display would be left running.
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  if [ -n "$KSETUP_XVFB_PID" ]; then
    kill "$KSETUP_XVFB_PID" 2>/dev/null || true
    wait "$KSETUP_XVFB_PID" 2>/dev/null || true
    KSETUP_XVFB_PID=""
  fi
  return 0
}

# wine_cdrom LETTER FOLDER: the folder becomes CD-ROM drive LETTER:.
# Calling it again with another folder swaps the disc.
wine_cdrom() {
  local letter=${1,,} folder=$2
  ln -sfn "$(cd "$folder" && pwd)" "$WINEPREFIX/dosdevices/$letter:"
  if ! grep -q "\"$letter:\"=\"cdrom\"" "$WINEPREFIX/system.reg" 2>/dev/null; then
    # Wine's drive list is read in the 64-bit registry view; with 32-bit
    # Wine present, `wine reg` is the 32-bit reg.exe and writes the other.
    wine reg add 'HKLM\Software\Wine\Drives' /v "$letter:" /d cdrom /f /reg:64 >/dev/null 2>&1
    wineserver -k 2>/dev/null
    wineserver -w 2>/dev/null
  fi
}

# wine_cdrom_eject LETTER: no disc in the drive (the link points nowhere).
wine_cdrom_eject() {
  ln -sfn /nonexistent "$WINEPREFIX/dosdevices/${1,,}:"
}

# wine_screenshot FILE.png: the whole display.
wine_screenshot() {
  mkdir -p "$(dirname "$1")"
  import -window root "$1" 2>/dev/null
}

# wine_unix_path 'C:\x': the host path of a path in the prefix.
wine_unix_path() {
  winepath -u "$1" 2>/dev/null
}

# ---- Dialog look (added for the KSetup.exe tests) ---------------------------
# wine_dialog_look: once per prefix, Wine draws window frames and captions
# itself (the Xvfb display has no window manager), the dialog fonts
# "ＭＳ Ｐゴシック" and "ＭＳ ゴシック" are served by IPA P Gothic and IPA
# Gothic, and the captions' and message boxes' font falls back to IPA P
# Gothic, so windows show their Japanese text in screenshots on any locale.
wine_dialog_look() {
  local stamp="$WINEPREFIX/.ksetup-dialog-look-2"
  [ -f "$stamp" ] && return 0
  local reg="$WINEPREFIX/drive_c/ksetup-dialog-look.reg"
  {
    printf '\xff\xfe'
    printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
      '[HKEY_CURRENT_USER\Software\Wine\X11 Driver]' '"Decorated"="N"' '' \
      '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]' \
      '"ＭＳ Ｐゴシック"="IPAPGothic"' '"MS PGothic"="IPAPGothic"' \
      '"ＭＳ ゴシック"="IPAGothic"' '"MS Gothic"="IPAGothic"' | iconv -f UTF-8 -t UTF-16LE
  } > "$reg"
  wine regedit /S 'C:\ksetup-dialog-look.reg' >/dev/null 2>&1 </dev/null &&
    # Captions and message boxes use Tahoma, which Windows links to its
    # Japanese fonts on every locale (FontLink\SystemLink); Wine links it to
    # none, so on a Western locale they would show empty boxes.
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' /v Tahoma \
      /t REG_MULTI_SZ /d 'ipagp.ttf,IPAPGothic' /f >/dev/null 2>&1 </dev/null &&
    wineserver -k 2>/dev/null && wineserver -w 2>/dev/null && touch "$stamp"
  rm -f "$reg"
}
