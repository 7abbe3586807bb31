#!/usr/bin/env bash
# Installs the Debian packages needed to build, test, fuzz and benchmark the bridge.
set -euo pipefail
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends \
  cmake ninja-build g++ clang clang-format libclang-rt-14-dev pkg-config python3 \
  nlohmann-json3-dev libutf8proc-dev libhowardhinnant-date-dev tzdata \
  googletest libgtest-dev libgmock-dev libbenchmark-dev
