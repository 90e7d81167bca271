#!/usr/bin/env bash
# Checks what the build folder BUILD delivers to other projects: it installs into a temporary
# prefix, builds and runs the consumer project there against find_package(fentro), then makes
# the Debian package with CPack and checks that it holds the programs, the libraries, the
# headers and the package configuration.
# Usage: tests/consumer/check_package.sh BUILD
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/prefix" >/dev/null
cmake -S "$here" -B "$work/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/consumer" >/dev/null
FENTRO_LOG_IDS=1 "$work/consumer/consumer"

(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/deb" >/dev/null)
deb=$(ls "$work"/deb/*.deb)
dpkg-deb -c "$deb" | awk '{print $NF}' >"$work/contents"
missing=0
for f in /usr/bin/invite /usr/bin/coreimage /usr/bin/fentro-gen /usr/bin/fentro-render \
         /usr/bin/fentro-edit /usr/share/fentro/outline.dat /libfentro_demosystem.a \
         /usr/include/fentro/demosystem/demosystem.h /usr/include/fentro/mox/mox.h \
         /cmake/fentro/fentroConfig.cmake /cmake/fentro/fentroConfigVersion.cmake \
         /cmake/fentro/fentroTargets.cmake; do
  grep -q -- "$f\$" "$work/contents" || { echo "package lacks $f"; missing=1; }
done
# Module-private headers stay out of the installed include tree.
if grep -q -e "/imageformat.h$" -e "/demosystem_undo.h$" -e "/video_opengl.h$" "$work/contents"; then
  echo "package holds private headers"
  missing=1
fi
dpkg-deb -f "$deb" Package Version Depends
exit $missing
