#!/bin/sh
# Runs a command against a private, unlocked Secret Service: gnome-keyring on a session bus
# of its own, with HOME and the XDG folders in a throwaway folder, so no test ever touches
# the keyring of the person running it. The command learns the outcome from
# BRINDLEWICK_SECRET_SERVICE: "running", or "missing" when the tools are not installed
# (scripts/install-deps installs them). Every step is bounded in time: the whole command by
# BRINDLEWICK_SECRET_SERVICE_SECONDS (120 unless set).
# With --absent as the first argument the private bus has no Secret Service instead, none
# running and none it could start, as on a desktop without a keyring: the outcome is "absent".
set -u

absent=false
if [ "${1:-}" = --absent ]; then
  absent=true
  shift
fi

if ! command -v dbus-run-session >/dev/null 2>&1 ||
  { [ "$absent" = false ] && ! command -v gnome-keyring-daemon >/dev/null 2>&1; }; then
  echo "with-secret-service: dbus-run-session or gnome-keyring-daemon is not installed" >&2
  BRINDLEWICK_SECRET_SERVICE=missing exec "$@"
fi

scratch=$(mktemp -d "${TMPDIR:-/tmp}/brindlewick-keyring.XXXXXX") || exit 1
trap 'rm -rf "$scratch"' EXIT
trap 'exit 130' INT TERM
mkdir -p "$scratch/home" "$scratch/data" "$scratch/config" "$scratch/cache" "$scratch/runtime"
chmod 700 "$scratch/runtime"
export HOME="$scratch/home" XDG_DATA_HOME="$scratch/data" XDG_CONFIG_HOME="$scratch/config" \
  XDG_CACHE_HOME="$scratch/cache" XDG_RUNTIME_DIR="$scratch/runtime"
unset DBUS_SESSION_BUS_ADDRESS GNOME_KEYRING_CONTROL SSH_AUTH_SOCK

if [ "$absent" = true ]; then
  # A session bus that starts no services: the system's service files would start gnome-keyring
  # on the first request.
  cat >"$scratch/bus.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=$scratch/runtime</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
EOF
  BRINDLEWICK_SECRET_SERVICE=absent timeout -k 5 "${BRINDLEWICK_SECRET_SERVICE_SECONDS:-120}" \
    dbus-run-session --config-file="$scratch/bus.conf" -- "$@"
  exit
fi

# The daemon creates a login keyring, unlocked, with a throwaway password read from stdin
# (with an empty one it creates none, and every write would wait for a prompt), and leaves
# when the private bus closes at the end of the command. It takes the bus name a moment
# after it forks, so the command starts only once the name is taken.
timeout -k 5 "${BRINDLEWICK_SECRET_SERVICE_SECONDS:-120}" dbus-run-session -- sh -c '
  BRINDLEWICK_SECRET_SERVICE=failed
  if printf "brindlewick-test-keyring" | timeout 20 gnome-keyring-daemon --unlock --components=secrets \
      --daemonize >/dev/null 2>"$XDG_RUNTIME_DIR/gnome-keyring.log"; then
    tries=0
    while [ "$tries" -lt 100 ]; do
      if dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
          org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null | grep -q "boolean true"; then
        BRINDLEWICK_SECRET_SERVICE=running
        break
      fi
      tries=$((tries + 1))
      sleep 0.1
    done
  fi
  if [ "$BRINDLEWICK_SECRET_SERVICE" != running ]; then
    echo "with-secret-service: gnome-keyring-daemon did not start:" >&2
    cat "$XDG_RUNTIME_DIR/gnome-keyring.log" >&2
  fi
  export BRINDLEWICK_SECRET_SERVICE
  exec "$@"
' with-secret-service "$@"
