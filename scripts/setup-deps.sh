#!/usr/bin/env bash
# Installs the Debian packages that building and testing need. Called by the
# other scripts with the package list as arguments; as root it runs apt-get,
# otherwise it prints the exact command and stops. apt may be busy (another
# install, unattended upgrades): it waits up to 15 minutes for apt's locks.
set -euo pipefail

missing=()
for pkg in "$@"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages: ${missing[*]}" >&2
  echo "Install them with:" >&2
  echo "  sudo apt-get install -y ${missing[*]}" >&2
  exit 1
fi

lock_wait=900
deadline=$((SECONDS + lock_wait))
# Runs apt-get with its arguments, again and again while another apt holds
# one of its locks. apt-get waits for dpkg's lock by itself (the Timeout
# option) but not for the package lists' lock that update takes.
apt_get() {
  local output status
  while true; do
    status=0
    output=$(apt-get -o DPkg::Lock::Timeout="$lock_wait" "$@" 2>&1) || status=$?
    if [ "$status" -eq 0 ]; then
      [ -z "$output" ] || printf '%s\n' "$output"
      return 0
    fi
    if ! grep -q -E "Could not get lock|Unable to lock|Unable to acquire the dpkg frontend lock" <<<"$output" ||
      [ "$SECONDS" -ge "$deadline" ]; then
      printf '%s\n' "$output" >&2
      return "$status"
    fi
    [ -n "${told_busy:-}" ] || echo "apt is busy; waiting up to $lock_wait s for its lock"
    told_busy=yes
    sleep 5
  done
}

# A mirror in the middle of a sync serves index files that fail their
# checks for a minute or so: try again, then go on with the lists apt has
# (the install below fails clearly if a package is really not there).
update_lists() {
  local try
  for try in 1 2 3; do
    if apt_get update -qq; then
      return 0
    fi
    echo "apt-get update failed (try $try of 3); the mirror may be syncing" >&2
    [ "$try" -eq 3 ] || sleep 30
  done
  echo "warning: going on with the package lists that apt has" >&2
}

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
update_lists
apt_get install -y -qq --no-install-recommends "${missing[@]}"
