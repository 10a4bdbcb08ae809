#!/usr/bin/python3
"""A desktop portal backend whose answers the Wayland end-to-end tests choose.

Started by tests/e2e/wayland_lib.sh behind the real xdg-desktop-portal frontend, on the test's
private session bus. It offers:

  org.freedesktop.impl.portal.Access
      The 1.16 frontend exports the Screenshot portal only when some backend offers Access.
      Nothing calls it while the Screenshot backend reports version 1; if something does, the
      call is recorded and granted.
  org.freedesktop.impl.portal.GlobalShortcuts (version 1)
      Sway has no backend of its own for it. Sessions and the shortcuts bound in them are kept
      and recorded; Activated/Deactivated are sent only when a test asks (see below).
      --shortcuts-as plays a version we cannot install:
        plasma6.0     KDE Plasma 5.27 to 6.1: the shortcuts come only from CreateSession's
                      "shortcuts" option; BindShortcuts ignores its list and answers those
        portal1.21    a frontend of 1.21 or later: no session for a program without an app id
        hyprland      Hyprland: no version property, and no trigger_description (its user
                      binds the key in hyprland.conf)
  org.freedesktop.impl.portal.Screenshot (version 1)
      Answered by the mode the test chose:
        grim          a real picture of the desktop, written by grim into --shot-dir
        refuse:CODE   the Response code CODE (1: cancelled by the user, 2: failed) and no picture
        never         no answer at all, until the frontend closes the request
        delay:SECONDS grim's picture after SECONDS, as a permission dialog answered that late

Which of these the frontend uses is decided by the .portal file that wayland_lib.sh writes.

Test interface org.numarika.test.PortalBackend at /org/numarika/test:
  Activate(s id) -> ao        sends Activated for id in every open session that bound it;
                              returns those sessions; error NotBound if there is none
  Deactivate(s id) -> ao      the same for Deactivated
  Key(s keysym, b pressed) -> ao
                              a key went down (Activated) or up (Deactivated): sent for every
                              shortcut of an open session whose preferred trigger is that key
                              (sway calls it for the keys wayland_lib.sh hands to the portal)
  Withdraw(s id) -> ao        the desktop takes the key of id away: ShortcutsChanged without a
                              trigger for every open session that bound it
  Grant(s id, s key) -> ao    the user gives id the key in the desktop's settings: every open
                              session holds it with that trigger now (ShortcutsChanged)
  SetScreenshotMode(s mode)   changes the Screenshot answer from now on
  State() -> s                everything recorded, as JSON: sessions (with their app id,
                              options, bound shortcuts and whether they were closed), the calls
                              of each interface, closed requests
"""

import argparse
import json
import os
import subprocess
import sys
import time

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

DESKTOP_PATH = "/org/freedesktop/portal/desktop"
ACCESS = "org.freedesktop.impl.portal.Access"
SHORTCUTS = "org.freedesktop.impl.portal.GlobalShortcuts"
SCREENSHOT = "org.freedesktop.impl.portal.Screenshot"
REQUEST = "org.freedesktop.impl.portal.Request"
SESSION = "org.freedesktop.impl.portal.Session"
PROPERTIES = "org.freedesktop.DBus.Properties"
TEST = "org.numarika.test.PortalBackend"
TEST_PATH = "/org/numarika/test"


class NotBound(dbus.DBusException):
    _dbus_error_name = "org.numarika.test.PortalBackend.NotBound"


class BadMode(dbus.DBusException):
    _dbus_error_name = "org.numarika.test.PortalBackend.BadMode"


def plain(value):
    """D-Bus values as JSON-friendly Python values (dbus.Boolean would print as 1)."""
    if isinstance(value, dbus.Boolean):
        return bool(value)
    if isinstance(value, (dbus.Dictionary, dict)):
        return {str(k): plain(v) for k, v in value.items()}
    if isinstance(value, (dbus.Array, dbus.Struct, list, tuple)):
        return [plain(v) for v in value]
    if isinstance(value, (dbus.String, dbus.ObjectPath, dbus.Signature, str)):
        return str(value)
    if isinstance(value, int):
        return int(value)
    if isinstance(value, float):
        return float(value)
    if isinstance(value, bytes):
        return list(value)
    return str(value)


def parse_mode(mode):
    if mode in ("grim", "never"):
        return mode, 0
    if mode.startswith("delay:") and mode.split(":", 1)[1].isdigit():
        return "delay", int(mode.split(":", 1)[1])
    if mode.startswith("refuse:"):
        code = mode.split(":", 1)[1]
        if code.isdigit() and int(code) > 0:
            return "refuse", int(code)
    raise BadMode(f"unknown Screenshot mode {mode!r} (grim, never, refuse:CODE or delay:S)")


def requested(shortcuts):
    """Shortcuts as a client passes them (a(sa{sv})), as the backend records them."""
    return [
        {
            "id": str(sid),
            "description": str(props.get("description", "")),
            "preferred_trigger": str(props.get("preferred_trigger", "")),
        }
        for sid, props in shortcuts
    ]


def shortcut_list(shortcuts, described=True):
    """The bound shortcuts as the Response of BindShortcuts/ListShortcuts carries them."""
    out = dbus.Array([], signature="(sa{sv})")
    for s in shortcuts:
        trigger = s["preferred_trigger"] if described else ""
        out.append(
            dbus.Struct(
                (
                    s["id"],
                    dbus.Dictionary(
                        {"description": s["description"], "trigger_description": trigger},
                        signature="sv",
                    ),
                ),
                signature="sa{sv}",
            )
        )
    return out


class State:
    def __init__(self, mode, shot_dir, sway_env, shortcuts_as):
        self.mode, self.mode_value = parse_mode(mode)
        self.shortcuts_as = shortcuts_as
        self.shot_dir = shot_dir
        self.sway_env = sway_env
        self.shots = 0
        self.sessions = {}  # session handle -> record
        self.calls = {"access": [], "screenshot": [], "global_shortcuts": []}
        self.closed_requests = []
        self.keys = []  # what Key() was told, and whom it reached
        self.pending = {}  # request handle -> reply callback of an unanswered Screenshot

    def as_json(self):
        return json.dumps(
            {
                "screenshot_mode": self.mode
                + (f":{self.mode_value}" if self.mode in ("refuse", "delay") else ""),
                "sessions": list(self.sessions.values()),
                "calls": self.calls,
                "closed_requests": self.closed_requests,
                "keys": self.keys,
                "pending_requests": sorted(self.pending),
            }
        )


class Desktop(dbus.service.Object):
    """The backend interfaces at the path where the frontend looks for them."""

    def __init__(self, bus, state):
        super().__init__(bus, DESKTOP_PATH)
        self.state = state

    # --- Access -------------------------------------------------------------------------
    @dbus.service.method(ACCESS, in_signature="osssssa{sv}", out_signature="ua{sv}")
    def AccessDialog(self, handle, app_id, parent_window, title, subtitle, body, options):
        self.state.calls["access"].append(
            {"handle": plain(handle), "app_id": plain(app_id), "title": plain(title)}
        )
        return dbus.UInt32(0), dbus.Dictionary({}, signature="sv")

    # --- GlobalShortcuts ----------------------------------------------------------------
    def _record(self, method, **fields):
        self.state.calls["global_shortcuts"].append(
            {"method": method, **{k: plain(v) for k, v in fields.items()}}
        )

    @dbus.service.method(SHORTCUTS, in_signature="oosa{sv}", out_signature="ua{sv}")
    def CreateSession(self, handle, session_handle, app_id, options):
        self._record("CreateSession", handle=handle, session_handle=session_handle, app_id=app_id)
        if self.state.shortcuts_as == "portal1.21" and not app_id:
            return dbus.UInt32(2), dbus.Dictionary({}, signature="sv")
        self.state.sessions[str(session_handle)] = {
            "session_handle": str(session_handle),
            "app_id": str(app_id),
            "options": plain(options),
            "shortcuts": requested(options.get("shortcuts", []))
            if self.state.shortcuts_as == "plasma6.0"
            else [],
            "bind_calls": 0,
            "closed": False,
        }
        # The 1.16 frontend copies "shortcuts" out of these results without checking.
        return dbus.UInt32(0), dbus.Dictionary(
            {"shortcuts": dbus.Array([], signature="(sa{sv})")}, signature="sv"
        )

    @dbus.service.method(SHORTCUTS, in_signature="ooa(sa{sv})sa{sv}", out_signature="ua{sv}")
    def BindShortcuts(self, handle, session_handle, shortcuts, parent_window, options):
        self._record(
            "BindShortcuts",
            handle=handle,
            session_handle=session_handle,
            shortcuts=shortcuts,
            parent_window=parent_window,
        )
        session = self.state.sessions.get(str(session_handle))
        if session is None or session["closed"]:
            return dbus.UInt32(2), dbus.Dictionary({}, signature="sv")
        session["bind_calls"] += 1
        session["parent_window"] = str(parent_window)
        if self.state.shortcuts_as != "plasma6.0":
            session["shortcuts"] = requested(shortcuts)
        return dbus.UInt32(0), dbus.Dictionary(
            {"shortcuts": shortcut_list(session["shortcuts"], self._described())}, signature="sv"
        )

    def _described(self):
        return self.state.shortcuts_as != "hyprland"

    @dbus.service.method(SHORTCUTS, in_signature="oo", out_signature="ua{sv}")
    def ListShortcuts(self, handle, session_handle):
        self._record("ListShortcuts", handle=handle, session_handle=session_handle)
        session = self.state.sessions.get(str(session_handle))
        if session is None or session["closed"]:
            return dbus.UInt32(2), dbus.Dictionary({}, signature="sv")
        return dbus.UInt32(0), dbus.Dictionary(
            {"shortcuts": shortcut_list(session["shortcuts"], self._described())}, signature="sv"
        )

    @dbus.service.signal(SHORTCUTS, signature="osta{sv}")
    def Activated(self, session_handle, shortcut_id, timestamp, options):
        pass

    @dbus.service.signal(SHORTCUTS, signature="osta{sv}")
    def Deactivated(self, session_handle, shortcut_id, timestamp, options):
        pass

    @dbus.service.signal(SHORTCUTS, signature="oa(sa{sv})")
    def ShortcutsChanged(self, session_handle, shortcuts):
        pass

    # --- Screenshot ---------------------------------------------------------------------
    @dbus.service.method(
        SCREENSHOT,
        in_signature="ossa{sv}",
        out_signature="ua{sv}",
        async_callbacks=("reply", "error"),
    )
    def Screenshot(self, handle, app_id, parent_window, options, reply, error):
        call = {
            "handle": plain(handle),
            "app_id": plain(app_id),
            "parent_window": plain(parent_window),
            "options": plain(options),
            "mode": self.state.mode,
        }
        self.state.calls["screenshot"].append(call)
        if self.state.mode == "never":
            self.state.pending[str(handle)] = reply
            return
        if self.state.mode == "refuse":
            reply(dbus.UInt32(self.state.mode_value), dbus.Dictionary({}, signature="sv"))
            return
        if self.state.mode == "delay":
            # Answered later unless the frontend closes the request first.
            self.state.pending[str(handle)] = reply

            def answer():
                if self.state.pending.pop(str(handle), None) is not None:
                    self._grim(call, reply)
                return False

            GLib.timeout_add_seconds(self.state.mode_value, answer)
            return
        self._grim(call, reply)

    def _grim(self, call, reply):
        self.state.shots += 1
        path = os.path.join(self.state.shot_dir, f"screenshot-{self.state.shots}.png")
        env = dict(os.environ)
        if "WAYLAND_DISPLAY" not in env and self.state.sway_env:
            # Started before sway was ready: its socket's name is in the file it wrote since.
            with open(self.state.sway_env, encoding="utf-8") as f:
                env["WAYLAND_DISPLAY"] = f.readline().strip()
        done = subprocess.run(
            ["grim", path], capture_output=True, text=True, check=False, env=env
        )
        if done.returncode != 0:
            call["grim_error"] = done.stderr
            reply(dbus.UInt32(2), dbus.Dictionary({}, signature="sv"))
            return
        call["uri"] = "file://" + path
        reply(dbus.UInt32(0), dbus.Dictionary({"uri": call["uri"]}, signature="sv"))

    @dbus.service.method(SCREENSHOT, in_signature="ossa{sv}", out_signature="ua{sv}")
    def PickColor(self, handle, app_id, parent_window, options):
        return dbus.UInt32(2), dbus.Dictionary({}, signature="sv")

    # --- properties ---------------------------------------------------------------------
    VERSIONS = {SHORTCUTS: 1, SCREENSHOT: 1}

    def _versions(self):
        if self.state.shortcuts_as == "hyprland":
            return {k: v for k, v in self.VERSIONS.items() if k != SHORTCUTS}
        return self.VERSIONS

    @dbus.service.method(PROPERTIES, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        if name == "version" and interface in self._versions():
            return dbus.UInt32(self._versions()[interface])
        raise dbus.DBusException(
            f"no property {interface}.{name}",
            name="org.freedesktop.DBus.Error.UnknownProperty",
        )

    @dbus.service.method(PROPERTIES, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        if interface in self._versions():
            return dbus.Dictionary(
                {"version": dbus.UInt32(self._versions()[interface])}, signature="sv"
            )
        return dbus.Dictionary({}, signature="sv")


class Requests(dbus.service.FallbackObject):
    """Request objects of every call: the frontend closes them when its client gives up."""

    def __init__(self, bus, state):
        super().__init__(bus, DESKTOP_PATH + "/request")
        self.state = state

    @dbus.service.method(REQUEST, in_signature="", out_signature="", path_keyword="path")
    def Close(self, path):
        self.state.closed_requests.append(str(path))
        reply = self.state.pending.pop(str(path), None)
        if reply is not None:
            reply(dbus.UInt32(2), dbus.Dictionary({}, signature="sv"))


class Sessions(dbus.service.FallbackObject):
    """Session objects: the frontend closes them when its client closes or leaves."""

    def __init__(self, bus, state):
        super().__init__(bus, DESKTOP_PATH + "/session")
        self.state = state

    @dbus.service.method(SESSION, in_signature="", out_signature="", path_keyword="path")
    def Close(self, path):
        session = self.state.sessions.get(str(path))
        if session is not None:
            session["closed"] = True


class Test(dbus.service.Object):
    def __init__(self, bus, state, desktop):
        super().__init__(bus, TEST_PATH)
        self.state = state
        self.desktop = desktop

    def _send(self, signal, shortcut_id):
        sessions = [
            s["session_handle"]
            for s in self.state.sessions.values()
            if not s["closed"] and any(b["id"] == shortcut_id for b in s["shortcuts"])
        ]
        if not sessions:
            raise NotBound(f"no open session has bound {shortcut_id!r}")
        stamp = dbus.UInt64(time.monotonic_ns() // 1_000_000)
        for handle in sessions:
            signal(
                dbus.ObjectPath(handle),
                shortcut_id,
                stamp,
                dbus.Dictionary({}, signature="sv"),
            )
        return dbus.Array([dbus.ObjectPath(h) for h in sessions], signature="o")

    @dbus.service.method(TEST, in_signature="s", out_signature="ao")
    def Activate(self, shortcut_id):
        return self._send(self.desktop.Activated, str(shortcut_id))

    @dbus.service.method(TEST, in_signature="s", out_signature="ao")
    def Deactivate(self, shortcut_id):
        return self._send(self.desktop.Deactivated, str(shortcut_id))

    @dbus.service.method(TEST, in_signature="sb", out_signature="ao")
    def Key(self, keysym, pressed):
        keysym = str(keysym)
        signal = self.desktop.Activated if pressed else self.desktop.Deactivated
        stamp = dbus.UInt64(time.monotonic_ns() // 1_000_000)
        reached = []
        for session in self.state.sessions.values():
            if session["closed"]:
                continue
            for shortcut in session["shortcuts"]:
                if shortcut["preferred_trigger"].lower() == keysym.lower():
                    signal(
                        dbus.ObjectPath(session["session_handle"]),
                        shortcut["id"],
                        stamp,
                        dbus.Dictionary({}, signature="sv"),
                    )
                    reached.append(session["session_handle"])
        self.state.keys.append({"keysym": keysym, "pressed": bool(pressed), "sessions": reached})
        return dbus.Array([dbus.ObjectPath(h) for h in reached], signature="o")

    @dbus.service.method(TEST, in_signature="s", out_signature="ao")
    def Withdraw(self, shortcut_id):
        def changed(handle, _shortcut_id, _stamp, _options):
            session = self.state.sessions[str(handle)]
            session["shortcuts"] = [
                dict(b, preferred_trigger="") if b["id"] == shortcut_id else b
                for b in session["shortcuts"]
            ]
            self.desktop.ShortcutsChanged(handle, shortcut_list(session["shortcuts"]))

        return self._send(changed, str(shortcut_id))

    @dbus.service.method(TEST, in_signature="ss", out_signature="ao")
    def Grant(self, shortcut_id, key):
        handles = []
        for session in self.state.sessions.values():
            if session["closed"]:
                continue
            kept = [b for b in session["shortcuts"] if b["id"] != shortcut_id]
            session["shortcuts"] = kept + [
                {"id": str(shortcut_id), "description": "", "preferred_trigger": str(key)}
            ]
            handle = dbus.ObjectPath(session["session_handle"])
            self.desktop.ShortcutsChanged(handle, shortcut_list(session["shortcuts"]))
            handles.append(handle)
        if not handles:
            raise NotBound("no open session")
        return dbus.Array(handles, signature="o")

    @dbus.service.method(TEST, in_signature="s", out_signature="")
    def SetScreenshotMode(self, mode):
        self.state.mode, self.state.mode_value = parse_mode(str(mode))

    @dbus.service.method(TEST, in_signature="", out_signature="s")
    def State(self):
        return self.state.as_json()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n", 1)[0])
    parser.add_argument("--bus-name", required=True)
    parser.add_argument("--screenshot", default="refuse:2", help="grim, never or refuse:CODE")
    parser.add_argument("--shot-dir", default=os.getcwd(), help="where grim's pictures go")
    parser.add_argument("--shortcuts-as", choices=("plasma6.0", "portal1.21", "hyprland"))
    parser.add_argument(
        "--sway-env",
        help="without WAYLAND_DISPLAY: a file whose first line names the Wayland socket",
    )
    args = parser.parse_args()

    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    try:
        state = State(args.screenshot, args.shot_dir, args.sway_env, args.shortcuts_as)
    except BadMode as e:
        sys.exit(str(e))
    desktop = Desktop(bus, state)
    keep = [desktop, Requests(bus, state), Sessions(bus, state), Test(bus, state, desktop)]

    loop = GLib.MainLoop()
    for signum in (2, 15):  # SIGINT, SIGTERM: end quietly, the test's cleanup sends them
        GLib.unix_signal_add(GLib.PRIORITY_HIGH, signum, loop.quit)
    # Owning the name last tells the test (and the frontend) that everything is in place.
    name = dbus.service.BusName(args.bus_name, bus, do_not_queue=True)
    keep.append(name)
    # Without a bus the backend has nothing to do: end with it.
    bus.call_on_disconnection(lambda _conn: loop.quit())
    loop.run()


if __name__ == "__main__":
    main()
