#!/usr/bin/python3
"""A client of the desktop portal for the Wayland end-to-end tests: does what an application
does through org.freedesktop.portal.Desktop on the session bus and prints each answer as one
JSON line, so that a shell test can check it with jq.

  portal_client.py screenshot [--interactive] [--timeout S]
      Screenshot("", {handle_token, interactive}); prints
      {"response": CODE, "results": {...}, "ms": MILLISECONDS} or {"timeout": true} when no
      Response came within S seconds (default 10; exit status 2).
  portal_client.py shortcuts [--bind ID[=DESCRIPTION[=TRIGGER]]]... [--activations N]
                             [--timeout S]
      CreateSession, BindShortcuts with the given shortcuts, ListShortcuts; prints the Response
      of each ({"step": "CreateSession"|..., "response": CODE, "results": {...}}), then one
      line per Activated/Deactivated signal ({"signal": NAME, "shortcut_id": ID,
      "timestamp": T, "received": UNIX_SECONDS}) until N activations came (default: until
      S seconds passed, default 60, or until SIGTERM).

Every Response is subscribed to on its predictable Request path before the call is made, as
the portal documentation asks, so that no answer can be missed.
"""

import argparse
import json
import signal
import sys
import time

import dbus
import dbus.mainloop.glib
from gi.repository import GLib

PORTAL = "org.freedesktop.portal.Desktop"
PATH = "/org/freedesktop/portal/desktop"
REQUEST = "org.freedesktop.portal.Request"


def plain(value):
    if isinstance(value, dbus.Boolean):
        return bool(value)
    if isinstance(value, dict):
        return {str(k): plain(v) for k, v in value.items()}
    if isinstance(value, (list, tuple)):
        return [plain(v) for v in value]
    if isinstance(value, int):
        return int(value)
    if isinstance(value, float):
        return float(value)
    return str(value)


def emit(obj):
    print(json.dumps(obj, ensure_ascii=False), flush=True)


class Client:
    def __init__(self):
        dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
        self.bus = dbus.SessionBus()
        self.portal = self.bus.get_object(PORTAL, PATH)
        self.sender = self.bus.get_unique_name()[1:].replace(".", "_")
        self.loop = GLib.MainLoop()
        self.counter = 0

    def token(self):
        self.counter += 1
        return f"numarika_test_{self.counter}"

    def request(self, call, options, timeout):
        """Calls call(options) with a fresh handle_token; returns (code, results) or None."""
        token = self.token()
        path = f"{PATH}/request/{self.sender}/{token}"
        answer = []

        def on_response(code, results):
            answer.append((int(code), plain(results)))
            self.loop.quit()

        match = self.bus.add_signal_receiver(
            on_response, "Response", REQUEST, PORTAL, path
        )
        options = dict(options)
        options["handle_token"] = token
        handle = call(dbus.Dictionary(options, signature="sv"))
        if str(handle) != path:
            sys.exit(f"the portal answered at {handle}, not at {path}")
        timer = GLib.timeout_add(int(timeout * 1000), self.loop.quit)
        self.loop.run()
        match.remove()
        if answer:
            GLib.source_remove(timer)
            return answer[0]
        return None

    def step(self, name, call, options, timeout=10):
        """request() with its answer emitted under `name`; exits with 2 when none comes."""
        answer = self.request(call, options, timeout)
        if answer is None:
            emit({"step": name, "timeout": True})
            sys.exit(2)
        emit({"step": name, "response": answer[0], "results": answer[1]})
        return answer


def screenshot(args):
    client = Client()
    iface = dbus.Interface(client.portal, "org.freedesktop.portal.Screenshot")
    start = time.monotonic()
    answer = client.request(
        lambda options: iface.Screenshot("", options),
        {"interactive": dbus.Boolean(args.interactive)},
        args.timeout,
    )
    if answer is None:
        emit({"timeout": True})
        return 2
    ms = round((time.monotonic() - start) * 1000, 1)
    emit({"response": answer[0], "results": answer[1], "ms": ms})
    return 0


def shortcuts(args):
    client = Client()
    iface = dbus.Interface(client.portal, "org.freedesktop.portal.GlobalShortcuts")
    answer = client.step(
        "CreateSession",
        lambda options: iface.CreateSession(options),
        {"session_handle_token": client.token()},
    )
    if answer[0] != 0:
        return 1
    session = dbus.ObjectPath(answer[1]["session_handle"])

    wanted = dbus.Array([], signature="(sa{sv})")
    for binding in args.bind:
        sid, _, rest = binding.partition("=")
        description, _, trigger = rest.partition("=")
        props = {"description": description or sid}
        if trigger:
            props["preferred_trigger"] = trigger
        wanted.append(dbus.Struct((sid, dbus.Dictionary(props, signature="sv"))))

    activations = []

    def on_signal(name):
        def handler(session_handle, shortcut_id, timestamp, options):
            if str(session_handle) != str(session):
                return
            emit(
                {
                    "signal": name,
                    "shortcut_id": str(shortcut_id),
                    "timestamp": int(timestamp),
                    "received": time.time(),
                }
            )
            if name == "Activated":
                activations.append(str(shortcut_id))
                if args.activations and len(activations) >= args.activations:
                    client.loop.quit()

        return handler

    for name in ("Activated", "Deactivated"):
        client.bus.add_signal_receiver(
            on_signal(name), name, "org.freedesktop.portal.GlobalShortcuts", PORTAL, PATH
        )

    answer = client.step(
        "BindShortcuts", lambda options: iface.BindShortcuts(session, wanted, "", options), {}
    )
    if answer[0] != 0:
        return 1
    client.step("ListShortcuts", lambda options: iface.ListShortcuts(session, options), {})

    GLib.timeout_add(int(args.timeout * 1000), client.loop.quit)
    GLib.unix_signal_add(GLib.PRIORITY_HIGH, signal.SIGTERM, client.loop.quit)
    client.loop.run()
    if args.activations and len(activations) < args.activations:
        return 2
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n", 1)[0])
    sub = parser.add_subparsers(dest="command", required=True)
    shot = sub.add_parser("screenshot")
    shot.add_argument("--interactive", action="store_true")
    shot.add_argument("--timeout", type=float, default=10)
    keys = sub.add_parser("shortcuts")
    keys.add_argument("--bind", action="append", default=[], metavar="ID[=DESC[=TRIGGER]]")
    keys.add_argument("--activations", type=int, default=0)
    keys.add_argument("--timeout", type=float, default=60)
    args = parser.parse_args()
    sys.exit(screenshot(args) if args.command == "screenshot" else shortcuts(args))


if __name__ == "__main__":
    main()
