#!/usr/bin/env bash
# Builds the Debian package of the program and its simulated sensor into build-pkg/: a
# build with Debian's own compiler and linker flags, without tests, packaged by CPack's DEB
# generator. Prints the package file's path on standard output (the build talks on stderr).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
eval "$(dpkg-buildflags --export=sh)"
# Build type None: only Debian's flags (optimisation, hardening), as Debian builds CMake projects.
cmake -S . -B build-pkg -DCMAKE_BUILD_TYPE=None -DKVOR_BUILD_TESTS=OFF \
  -DCMAKE_INSTALL_PREFIX=/usr \
  -DCMAKE_CXX_FLAGS="$CPPFLAGS $CXXFLAGS" -DCMAKE_EXE_LINKER_FLAGS="$LDFLAGS" >/dev/null
cmake --build build-pkg -j"$(nproc)" >&2
rm -f build-pkg/*.deb
(cd build-pkg && cpack -G DEB) >&2
ls build-pkg/*.deb
