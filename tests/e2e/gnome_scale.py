#!/usr/bin/python3
"""Gives the GNOME desktop's one monitor the scale S, through mutter's DisplayConfig, for as
long as the session lasts. Fails, naming the scales offered, when the monitor's mode does not
offer S (GNOME before 50 offers fractional scales only with mutter's experimental
scale-monitor-framebuffer).

  gnome_scale.py S
"""

import sys

import dbus


def main():
    want = float(sys.argv[1])
    bus = dbus.SessionBus()
    config = dbus.Interface(
        bus.get_object("org.gnome.Mutter.DisplayConfig", "/org/gnome/Mutter/DisplayConfig"),
        "org.gnome.Mutter.DisplayConfig")
    serial, monitors, _, _ = config.GetCurrentState()
    spec, modes, _ = monitors[0]
    mode = next(m for m in modes if m[6].get("is-current", False))
    offered = [float(s) for s in mode[5]]
    if not any(abs(s - want) < 1e-6 for s in offered):
        print(f"scale {want} not offered for {mode[1]}x{mode[2]}: {offered}", file=sys.stderr)
        return 1
    config.ApplyMonitorsConfig(
        serial, dbus.UInt32(1),
        [(0, 0, dbus.Double(want), dbus.UInt32(0), True, [(spec[0], mode[0], {})])], {})
    return 0


if __name__ == "__main__":
    sys.exit(main())
