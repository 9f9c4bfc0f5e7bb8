#!/usr/bin/env bash
# Installs everything the build and the tests need on a fresh Debian 12 machine. Idempotent.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  g++ cmake make pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  unixodbc unixodbc-dev tdsodbc freetds-common
  # TLS: the simulator's encryption and the look at a refused certificate (optional at configure
  # time); the openssl command makes the tests' throw-away certificates.
  libssl-dev openssl
  nlohmann-json3-dev
  # The snapshot's JSON Schema is checked with Debian's validator.
  python3-jsonschema
  chromium
  # The desktop program: Qt 6 Widgets, WebEngine (and its helper process), printing; a virtual
  # display and fonts for its tests; pdftotext for the printed report.
  qt6-base-dev qt6-webengine-dev libqt6webenginecore6-bin qt6-qpa-plugins qt6-pdf-dev libqt6svg6
  libgl-dev
  xvfb xauth fonts-dejavu-core poppler-utils
  # The real window under a window manager, driven with X key events.
  xdotool openbox x11-utils
)

scripts/install-packages.sh "${packages[@]}"

# unixODBC must know the FreeTDS driver by name, whatever the package registered.
scripts/register-freetds.sh

if ! command -v npm >/dev/null; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends nodejs npm
fi
# The browser test drives Debian's Chromium through playwright-core (no browser download).
if [ ! -d tests/browser/node_modules/playwright-core ]; then
  npm ci --prefix tests/browser --no-audit --no-fund
fi
# The conformance test reads the simulator with tedious, a TDS client independent of FreeTDS.
if [ ! -d tests/conformance/node_modules/tedious ]; then
  npm ci --prefix tests/conformance --no-audit --no-fund
fi
