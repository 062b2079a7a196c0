#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Starts CUPS with a cups-pdf queue named PavelinPDF (where this machine lets us),
# then runs the print-queue suite against it. Usage: run.sh test_print_queue
set -u
suite=$1
command -v cupsd >/dev/null && command -v lpadmin >/dev/null || { echo "SKIP: CUPS is not installed"; exit 77; }
[ -f /usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd ] || { echo "SKIP: printer-driver-cups-pdf is not installed"; exit 77; }
cupsd_pid=""
if ! lpstat -r 2>/dev/null | grep -q 'is running'; then
    [ "$(id -u)" -eq 0 ] || { echo "SKIP: CUPS is not running and only root may start it"; exit 77; }
    # In the foreground, as our child: we stop the server we started, and no other.
    cupsd -f &
    cupsd_pid=$!
    for _ in $(seq 50); do lpstat -r 2>/dev/null | grep -q 'is running' && break; sleep 0.1; done
    kill -0 "$cupsd_pid" 2>/dev/null || { echo "SKIP: cupsd would not start"; exit 77; }
fi
stop() { [ -n "$cupsd_pid" ] && kill "$cupsd_pid" 2>/dev/null && wait "$cupsd_pid"; }
trap stop EXIT
lpadmin -x PavelinPDF 2>/dev/null
lpadmin -p PavelinPDF -E -v cups-pdf:/ -P /usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd 2>/dev/null ||
    { echo "SKIP: could not add the cups-pdf queue"; exit 77; }
cupsenable PavelinPDF 2>/dev/null
cupsaccept PavelinPDF 2>/dev/null
QT_QPA_PLATFORM=offscreen "$suite"
code=$?
lpadmin -x PavelinPDF 2>/dev/null
exit $code
