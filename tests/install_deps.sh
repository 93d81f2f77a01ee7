#!/usr/bin/env bash
# Installs, from Debian's packages, everything the tests need: the host toolchain and
# GoogleTest, clang with libFuzzer, mingw-w64, Wine, and the locale sources (run as root).
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends \
  cmake make g++ libgtest-dev googletest python3 \
  clang libclang-rt-14-dev \
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine64 locales util-linux
