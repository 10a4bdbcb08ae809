#!/usr/bin/env bash
# The hot key on a bare X server: a press starts a scan, a second copy is refused, and the
# menu, the close message, SIGTERM, SIGINT and a signal behind the modal help window all
# release the key.
source "$(dirname "$0")/hotkey_lib.sh"

e2e_start_x 1280x800
hotkey_scenarios menu wm-delete sigint sigterm-help
echo "PASS"
