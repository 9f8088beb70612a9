#!/usr/bin/env bash
# The package the build makes: its AppStream metainfo validates, and the .deb that `cpack`
# builds from the install rules holds the program, its desktop entry, metainfo and icon, and
# depends on its runtime libraries and Qt's platform plugins by the names of packages Debian has.
#   check_package.sh <build folder> <source folder>
set -euo pipefail
build=$1
source=$2

appstreamcli validate --no-net "${source}/resources/cd.noru.CDRipper.metainfo.xml"

out=$(mktemp -d)
trap 'rm -rf "${out}"' EXIT
(cd "${build}" && cpack -G DEB -B "${out}" >/dev/null)
deb=$(ls "${out}"/*.deb)

contents=$(dpkg-deb -c "${deb}")
for path in ./usr/bin/noru-cd-ripper ./usr/share/applications/noru-cd-ripper.desktop \
  ./usr/share/metainfo/cd.noru.CDRipper.metainfo.xml \
  ./usr/share/icons/hicolor/scalable/apps/noru-cd-ripper.svg; do
  if ! grep -q " ${path}\$" <<<"${contents}"; then
    echo "the package lacks ${path}"
    exit 1
  fi
done

depends=$(dpkg-deb -f "${deb}" Depends)
for package in libqt6widgets6 libavcodec59 libtag1v5 libpugixml1v5 qt6-qpa-plugins; do
  if ! grep -q "${package}" <<<"${depends}"; then
    echo "the package does not depend on ${package}: ${depends}"
    exit 1
  fi
done
# Every dependency is a package Debian has.
for package in $(sed 's/([^)]*)//g; s/,/ /g' <<<"${depends}"); do
  if ! apt-cache show "${package}" >/dev/null 2>&1; then
    echo "the package depends on ${package}, which Debian does not have"
    exit 1
  fi
done
echo "package ${deb##*/} holds the program and depends on: ${depends}"
