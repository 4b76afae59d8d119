#!/usr/bin/env bash
# Builds Release and writes the two packages to build/dist: Marlowick-<version>.msi (wixl) and
# Marlowick-<version>-portable.zip. Installs what is missing (Debian 12, as root). Safe to run again: the packages
# are made anew when what they hold has changed.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/env.sh

marlowick_install_packages
marlowick_build build dist
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/CMakeCache.txt)
echo "Packages of Marlowick $version:"
ls -l "build/dist/Marlowick-$version.msi" "build/dist/Marlowick-$version-portable.zip"
