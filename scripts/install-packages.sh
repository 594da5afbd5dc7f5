#!/usr/bin/env bash
# Installs the Debian packages of .ci/packages.txt that are missing.
#   scripts/install-packages.sh          every package (all builds and checks)
#   scripts/install-packages.sh native   the native section only (the demo)
# Needs root when something is missing; says what is missing otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-all}" = native ]; then
    list=$(sed -n '2,/^# cross/p' .ci/packages.txt)
else
    list=$(cat .ci/packages.txt)
fi
missing=()
for package in $(sed -e 's/#.*//' <<<"$list"); do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "missing Debian packages: ${missing[*]}" >&2
    echo "run this as root to install them, or install them with apt-get" >&2
    exit 1
fi
echo "=== installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
