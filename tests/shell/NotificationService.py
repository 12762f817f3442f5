#!/usr/bin/python3
"""A desktop notification service (org.freedesktop.Notifications) on the session bus it is
started on, reading markup in the body.

Prints "ready" once it owns its name, then one JSON line per notification it is given, with the
id it gave and the one the caller asked to replace.
"""
import json
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

NAME = "org.freedesktop.Notifications"


class Notifications(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, "/org/freedesktop/Notifications")
        self.last_id = 0

    @dbus.service.method(NAME, out_signature="as")
    def GetCapabilities(self):
        return ["body", "body-markup"]

    @dbus.service.method(NAME, in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app_name, replaces_id, app_icon, summary, body, actions, hints, timeout):
        self.last_id += 1
        print(json.dumps({"app": str(app_name), "icon": str(app_icon), "summary": str(summary),
                          "body": str(body), "entry": str(hints.get("desktop-entry", "")),
                          "replaces": int(replaces_id), "id": self.last_id}),
              flush=True)
        return self.last_id

    @dbus.service.method(NAME, out_signature="ssss")
    def GetServerInformation(self):
        return ("test", "quorvane-tests", "1", "1.2")


def main():
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    name = dbus.service.BusName(NAME, bus, do_not_queue=True)
    service = Notifications(bus)
    print("ready", flush=True)
    GLib.MainLoop().run()
    del name, service


if __name__ == "__main__":
    sys.exit(main())
