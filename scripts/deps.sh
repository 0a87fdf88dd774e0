#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the demo need,
# but only those that are missing.
set -euo pipefail

packages=(
  # toolchain; clang and its runtimes for the libFuzzer targets (scripts/test-sanitizers.sh)
  build-essential cmake ninja-build pkg-config git ca-certificates python3 clang libclang-rt-14-dev
  # Qt 6.4 with the web engine and its helper process
  qt6-base-dev qt6-base-dev-tools qt6-webengine-dev qt6-webengine-dev-tools libqt6webenginecore6-bin
  qt6-5compat-dev qt6-svg-dev libgl-dev
  # PST reading (zlib for Outlook 2013's compressed blocks), and pffinfo for checking generated test files
  libpst-dev pff-tools zlib1g-dev
  # standard readers that the conversion tests check the written files with
  python3-icalendar python3-vobject
  # pdftotext reads the printing tests' PDF files back
  poppler-utils
  # npm fetches the real-world test mailbox (any npm on the PATH will do)
  npm:npm
  # fonts for the interface texts, symbols and CJK text (a bare system has none)
  fontconfig fonts-dejavu-core fonts-symbola fonts-droid-fallback
  # a virtual screen and a screen grabber for machines without a display
  xvfb xauth x11-apps
  # a window manager and its remote controls for the window-frame tests
  openbox wmctrl xdotool
  # the Debian package (cpack -G DEB: dpkg-shlibdeps, file) and the checks of
  # the installed desktop files and manual page
  dpkg-dev file desktop-file-utils appstream shared-mime-info groff-base
)

# "package:command" entries are also satisfied by that command on the PATH
# (for example an npm that came with another Node.js distribution).
missing=()
for entry in "${packages[@]}"; do
  p=${entry%%:*}
  if [ "$entry" != "$p" ] && command -v "${entry#*:}" >/dev/null; then
    continue
  fi
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null; then
      echo "deps.sh: run as root or install sudo to install: ${missing[*]}" >&2
      exit 1
    fi
    sudo_cmd=(sudo)
  fi
  "${sudo_cmd[@]}" apt-get update -q
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
