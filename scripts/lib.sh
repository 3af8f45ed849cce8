# Shared set-up for the project's scripts: which Debian packages the build needs,
# and installing the missing ones (or telling the user the line to run).

BUILD_PACKAGES=(cmake ninja-build g++ qt6-base-dev qt6-svg-dev libgl-dev)
# The window tests measure captions, so they need a font; they check Qt's German texts
# and the desktop entry too (valid, and never the default for plain text), and read the
# window through AT-SPI on a virtual screen.
TEST_PACKAGES=(libgtest-dev libgmock-dev libbenchmark-dev strace locales util-linux fonts-dejavu-core
               qt6-translations-l10n desktop-file-utils xdg-utils xvfb xauth dbus at-spi2-core
               python3-pyatspi gir1.2-atspi-2.0 libqt6svg6)
FUZZ_PACKAGES=(clang libclang-rt-14-dev)
# The Windows cross build (preset windows) and Wine for its tests; GoogleTest is
# built from the googletest sources there.
# The Windows window's tests measure captions in the fonts Wine ships (fonts-wine).
WINDOWS_PACKAGES=(g++-mingw-w64-x86-64-posix wine64 googletest fonts-wine)
# Pictures of the windows on a virtual screen, and the Windows package.
SCREENSHOT_PACKAGES=(xvfb xauth imagemagick)
PACKAGE_PACKAGES=(zip)
# Qt's own German texts (qtbase_de) for the file dialog and the standard buttons; Qt's
# SVG support draws the pictures sharp at any scale.
RUN_PACKAGES=(qt6-qpa-plugins qt6-wayland fonts-dejavu-core qt6-translations-l10n libqt6svg6)

missing_packages() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
  done
}

# Runs a command as root: as it is when this is root already, else through sudo, which
# asks for the user's password for this one step only.
as_root() {
  if [ "$(id -u)" -eq 0 ]; then
    "$@"
  elif command -v sudo >/dev/null 2>&1; then
    sudo "$@"
  else
    echo "Needs root for: $*" >&2
    echo "Run that as root (sudo is not installed), then this script again." >&2
    exit 1
  fi
}

ensure_packages() {
  local missing
  missing=$(missing_packages "$@" | tr '\n' ' ')
  [ -z "${missing// /}" ] && return 0
  echo "Installing: ${missing}"
  as_root apt-get update -qq
  # shellcheck disable=SC2086
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends ${missing} >/dev/null
}

# Tests switch the C and C++ locales to a German one to prove that numbers never
# follow the process locale.
ensure_german_locale() {
  if locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then return 0; fi
  as_root sed -i 's/^# *de_DE.UTF-8/de_DE.UTF-8/' /etc/locale.gen
  grep -q '^de_DE.UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | as_root tee -a /etc/locale.gen >/dev/null
  as_root locale-gen >/dev/null
}

# Runs a command as the owner of the checkout. Root working in a user's checkout would
# otherwise leave root-owned build folders there that the user's later builds cannot
# write to; for anyone else, and in root's own checkout, the command runs as it is.
as_checkout_owner() {
  local uid gid home
  uid=$(stat -c %u .)
  if [ "$(id -u)" -ne 0 ] || [ "$uid" -eq 0 ]; then
    "$@"
    return
  fi
  gid=$(stat -c %g .)
  home=$(getent passwd "$uid" | cut -d: -f6)
  [ -d "$home" ] || home=$(pwd)
  setpriv --reuid="$uid" --regid="$gid" --clear-groups -- env HOME="$home" "$@"
}

# Ends the Wine server of $WINEPREFIX, if one still runs (it leaves by itself a few
# seconds after the last program): an exit trap must not fail on it.
stop_wine() {
  /usr/lib/wine/wineserver -k 2>/dev/null || true
  /usr/lib/wine/wineserver -w 2>/dev/null || true
}

# Sets up the Wine prefix $WINEPREFIX (a fresh folder) for the Windows programs:
#   headless - Wine's null graphics driver, so that windows are made without a display;
#   xvfb     - Wine draws the window frames itself, as a virtual screen has no window
#              manager (this also spares about 2 s at every window close).
# Debian's Wine does not find the fonts of fonts-wine by itself: they are copied into the
# prefix's font folder, where Wine looks first. With "nofonts" as second word they are
# not, and the folder holds only DejaVu Sans, as on a system without the layout's face,
# and Marlett, the symbols Wine draws the title bar's buttons with.
setup_wine_prefix() {
  local wine=/usr/lib/wine/wine64
  "$wine" wineboot --init >/dev/null 2>&1
  if [ "${2:-}" = nofonts ]; then
    cp /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf /usr/share/wine/fonts/marlett.ttf \
      "$WINEPREFIX/drive_c/windows/Fonts/"
  else
    cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"
  fi
  case "$1" in
    headless) "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1 ;;
    xvfb) "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 ;;
  esac
  # The settings take effect when Wine starts anew.
  /usr/lib/wine/wineserver -w
}

# The dots per inch of $WINEPREFIX's display, for the programs started after this.
set_wine_dpi() {
  /usr/lib/wine/wine64 reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
}
