#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a test program as an ordinary user when started as root, so that file
# permissions are enforced; as it is otherwise.
set -u
if [ "$(id -u)" -ne 0 ] || ! command -v setpriv >/dev/null; then exec "$@"; fi
user=nobody
uid=$(id -u "$user") gid=$(id -g "$user")
if ! setpriv --reuid="$uid" --regid="$gid" --clear-groups test -x "$1"; then
    echo "note: $user cannot run $1 here; running as root"
    exec "$@"
fi
home=$(mktemp -d)
chown "$uid:$gid" "$home"
chmod 700 "$home"
trap 'rm -rf "$home"' EXIT
HOME=$home XDG_RUNTIME_DIR=$home TMPDIR=/tmp setpriv --reuid="$uid" --regid="$gid" --clear-groups "$@"
