#!/usr/bin/env bash
# Cross-builds the engine, quorvane.exe (the desktop program), quorvane-report.exe and the
# Windows tests with MinGW-w64 into BUILD_DIR (default build-windows), zips both programs into
# BUILD_DIR/quorvane-windows-VERSION.zip and makes the per-user installer
# BUILD_DIR/quorvane-setup-VERSION.exe beside it; the tests run under Wine (ctest in BUILD_DIR). Further
# arguments go to CMake, e.g. -DQUORVANE_HOST_REPORT_COMMAND=build/src/cli/quorvane-report to
# compare the demo report with a Linux build's. Installs what it needs first (idempotent, as
# root). The last line printed is the path of the zip.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-windows}
shift $(($# > 0 ? 1 : 0))
mkdir -p "$build"
build=$(realpath "$build")

packages=(
  cmake make g++-mingw-w64-x86-64-posix googletest nlohmann-json3-dev
  # The tests: Wine, whose odbc32 hands the calls to the host's unixODBC (libodbc2) and its
  # FreeTDS driver.
  wine64 unixodbc libodbc2 odbcinst tdsodbc freetds-common
  # The window's tests: a virtual display with a window manager, real X input, screenshots.
  xvfb xauth openbox xdotool imagemagick python3
  # The help test reads the clipboard through Tk.
  python3-tk
  # The download: both programs in one zip, and the installer.
  zip nsis
)
scripts/install-packages.sh "${packages[@]}"
scripts/register-freetds.sh

toolchain=$PWD/cmake/toolchain-mingw-w64.cmake
jobs=$(nproc)
deps=$build/deps

# nlohmann-json is header-only: its headers and CMake package through a folder of their own, so
# that the host's /usr/include never reaches the cross compiler.
mkdir -p "$deps/include" "$deps/share/cmake"
ln -sfn /usr/include/nlohmann "$deps/include/nlohmann"
if [ ! -f "$deps/share/cmake/nlohmann_json/nlohmann_jsonConfig.cmake" ]; then
  cp -r /usr/share/cmake/nlohmann_json "$deps/share/cmake/"
fi

# GoogleTest from Debian's sources, built once per build folder.
if [ ! -f "$deps/lib/cmake/GTest/GTestConfig.cmake" ]; then
  cmake -S /usr/src/googletest -B "$build/googletest" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$deps" -DBUILD_GMOCK=OFF >/dev/null
  cmake --build "$build/googletest" -j"$jobs" >/dev/null
  cmake --install "$build/googletest" >/dev/null
fi

# -O2 as RelWithDebInfo, without the debug information, which costs a third of the build time
# and 20 MB of the program.
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
  -DQUORVANE_GUI=OFF -DQUORVANE_BENCH=OFF -DQUORVANE_WERROR=ON \
  -DGTest_DIR="$deps/lib/cmake/GTest" -Dnlohmann_json_DIR="$deps/share/cmake/nlohmann_json" "$@"
cmake --build "$build" -j"$jobs"

# Both programs, statically linked: nothing else is needed beside them.
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
zip_file=$build/quorvane-windows-$version.zip
rm -f "$zip_file"
zip -j -q "$zip_file" "$build/src/win/quorvane.exe" "$build/src/cli/quorvane-report.exe"
echo "$build/src/win/quorvane.exe"
echo "$build/src/cli/quorvane-report.exe"
echo "$build/quorvane-setup-$version.exe"
echo "$zip_file"
