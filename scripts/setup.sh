#!/usr/bin/env bash
# Installs the Debian packages the project builds and tests with, if missing.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev libembree-dev
  clang-format
  # The Maya stand-in's viewport: fragment documents, image files, and the
  # shader compiler and CPU Vulkan device that run the fragments' shaders.
  libpugixml-dev libstb-dev glslang-tools libvulkan-dev mesa-vulkan-drivers
  # Rendered images; zlib for the tests that write PNG files by hand.
  libopenexr-dev zlib1g-dev
  # The fuzz targets (scripts/fuzz.sh): clang with libFuzzer, whose runtime
  # Debian ships apart from the compiler.
  clang libclang-rt-14-dev
  # The Windows build (scripts/test-windows.sh): the MinGW-w64 cross compiler,
  # Wine to run its tests, and GoogleTest's sources to build for Windows.
  g++-mingw-w64-x86-64 wine64 googletest
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "setup: installing ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
