#!/usr/bin/env bash
# Installs everything the builds, tests, demos and benchmarks need (Debian 12, root).
# Safe to run again: it only adds what is missing.
set -eu
export DEBIAN_FRONTEND=noninteractive

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev pkg-config dpkg-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libjsoncpp-dev libtinyxml-dev zlib1g-dev libstb-dev liblua5.1-0-dev liblua5.3-dev liblua5.4-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64 libz-mingw-w64-dev
  wine wine64 xvfb xauth fonts-wqy-microhei
  qemu-user-static wine32:i386 wine32-preloader:i386
  libgl1:i386 libglx-mesa0:i386 libgl1-mesa-dri:i386
  libspdlog-dev libboost-dev
  libmono-2.0-dev mono-mcs mono-runtime
  libjpeg62-turbo-dev libjpeg-turbo-progs nasm libgl1-mesa-dri
  chromium nodejs
)

# 32-bit Wine runs the shipped PE32 files: natively where the kernel runs i386
# code, else under qemu's user-mode emulator (tools/wine-env.sh picks). Its
# Direct3D goes through i386 Mesa's software OpenGL.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  need_update=1
fi

# 'apt-get source' needs source entries next to the binary ones.
src_list=/etc/apt/sources.list.d/vekt-deb-src.sources
if [ ! -f "$src_list" ]; then
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed -e 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources > "$src_list"
  else
    cat > "$src_list" <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  fi
  need_update=1
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ "${need_update:-0}" = 1 ] || [ ${#missing[@]} -gt 0 ] || [ ! -d /var/lib/apt/lists ] ||
   ! ls /var/lib/apt/lists/*Sources* >/dev/null 2>&1; then
  apt-get update -qq
fi
if [ ${#missing[@]} -gt 0 ]; then
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The flame-graph viewer the profile pictures are drawn with: speedscope from
# the npm registry, pinned, into the build folder (tools/speedscope-picture.sh).
speedscope_version=1.25.0
speedscope_dir=$(cd "$(dirname "$0")/.." && pwd)/build/npm
if [ "$(node -p "require('$speedscope_dir/node_modules/speedscope/package.json').version" 2>/dev/null)" != \
     "$speedscope_version" ]; then
  npm install --prefix "$speedscope_dir" --no-audit --no-fund --silent "speedscope@$speedscope_version" >/dev/null
fi
