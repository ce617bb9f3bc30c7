"""Desktop services for the tests on a private session bus, in Python with Gio.

  desktop_doubles.py portal <file>   a desktop portal that offers only GlobalShortcuts: answers
                                     CreateSession and BindShortcuts the way the portal does (a
                                     request object whose Response signal carries the results),
                                     writes each bound set to <file> as JSON, and emits Activated
                                     when a test calls its extra method Activate(shortcut id)
  desktop_doubles.py watcher <file>  a StatusNotifierWatcher with a host, as a desktop's panel
                                     runs it: writes each registered item's bus name and object
                                     path to <file> as JSON
"""

import json
import sys

from gi.repository import Gio, GLib

PORTAL_PATH = "/org/freedesktop/portal/desktop"
PORTAL_XML = """
<node>
  <interface name="org.freedesktop.portal.GlobalShortcuts">
    <method name="CreateSession">
      <arg type="a{sv}" name="options" direction="in"/>
      <arg type="o" name="handle" direction="out"/>
    </method>
    <method name="BindShortcuts">
      <arg type="o" name="session_handle" direction="in"/>
      <arg type="a(sa{sv})" name="shortcuts" direction="in"/>
      <arg type="s" name="parent_window" direction="in"/>
      <arg type="a{sv}" name="options" direction="in"/>
      <arg type="o" name="request_handle" direction="out"/>
    </method>
    <signal name="Activated">
      <arg type="o" name="session_handle"/>
      <arg type="s" name="shortcut_id"/>
      <arg type="t" name="timestamp"/>
      <arg type="a{sv}" name="options"/>
    </signal>
    <property name="version" type="u" access="read"/>
  </interface>
  <interface name="org.sonaro.test.PortalDouble">
    <method name="Activate">
      <arg type="s" name="shortcut_id" direction="in"/>
    </method>
  </interface>
</node>
"""

WATCHER_PATH = "/StatusNotifierWatcher"
WATCHER_XML = """
<node>
  <interface name="org.kde.StatusNotifierWatcher">
    <method name="RegisterStatusNotifierItem">
      <arg type="s" name="service" direction="in"/>
    </method>
    <method name="RegisterStatusNotifierHost">
      <arg type="s" name="service" direction="in"/>
    </method>
    <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
    <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
    <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
    <property name="ProtocolVersion" type="i" access="read"/>
  </interface>
</node>
"""


def escaped(sender):
    return sender[1:].replace(".", "_")


class Portal:
    name = "org.freedesktop.portal.Desktop"
    path = PORTAL_PATH
    xml = PORTAL_XML

    def __init__(self, out_file):
        self.out_file = out_file
        self.sessions = []

    @staticmethod
    def answer(connection, sender, invocation, options, results):
        """Replies with the request object, then sends its Response, as the portal does."""
        request = "%s/request/%s/%s" % (PORTAL_PATH, escaped(sender), options["handle_token"])
        invocation.return_value(GLib.Variant("(o)", (request,)))
        connection.emit_signal(sender, request, "org.freedesktop.portal.Request", "Response",
                               GLib.Variant("(ua{sv})", (0, results)))

    def on_call(self, connection, sender, path, interface, method, params, invocation):
        if method == "CreateSession":
            options = params.unpack()[0]
            session = "%s/session/%s/%s" % (PORTAL_PATH, escaped(sender),
                                            options["session_handle_token"])
            self.sessions.append((sender, session))
            self.answer(connection, sender, invocation, options,
                        {"session_handle": GLib.Variant("s", session)})
        elif method == "BindShortcuts":
            session, shortcuts, _, options = params.unpack()
            with open(self.out_file, "w") as out:
                json.dump({"session": session, "shortcuts": shortcuts}, out)
            self.answer(connection, sender, invocation, options, {})
        elif method == "Activate":
            for owner, session in self.sessions:
                connection.emit_signal(
                    owner, PORTAL_PATH, "org.freedesktop.portal.GlobalShortcuts", "Activated",
                    GLib.Variant("(osta{sv})", (session, params.unpack()[0], 0, {})))
            invocation.return_value(None)

    def on_get(self, connection, sender, path, interface, name):
        return GLib.Variant("u", 1)


class Watcher:
    name = "org.kde.StatusNotifierWatcher"
    path = WATCHER_PATH
    xml = WATCHER_XML

    def __init__(self, out_file):
        self.out_file = out_file
        self.items = []

    def on_call(self, connection, sender, path, interface, method, params, invocation):
        if method == "RegisterStatusNotifierItem":
            service = params.unpack()[0]
            # An item names its bus name or its object path (then the sender is the bus name).
            item = [sender, service] if service.startswith("/") else [service,
                                                                      "/StatusNotifierItem"]
            self.items.append(item)
            with open(self.out_file, "w") as out:
                json.dump(self.items, out)
            connection.emit_signal(None, WATCHER_PATH, "org.kde.StatusNotifierWatcher",
                                   "StatusNotifierItemRegistered",
                                   GLib.Variant("(s)", (service,)))
        invocation.return_value(None)

    def on_get(self, connection, sender, path, interface, name):
        if name == "RegisteredStatusNotifierItems":
            return GLib.Variant("as", [bus + path for bus, path in self.items])
        if name == "IsStatusNotifierHostRegistered":
            return GLib.Variant("b", True)
        return GLib.Variant("i", 0)


def main():
    service = {"portal": Portal, "watcher": Watcher}[sys.argv[1]](sys.argv[2])
    connection = Gio.bus_get_sync(Gio.BusType.SESSION, None)
    for interface in Gio.DBusNodeInfo.new_for_xml(service.xml).interfaces:
        connection.register_object(service.path, interface, service.on_call, service.on_get,
                                   None)
    loop = GLib.MainLoop()
    Gio.bus_own_name_on_connection(connection, service.name, Gio.BusNameOwnerFlags.NONE, None,
                                   lambda *args: loop.quit())
    loop.run()


if __name__ == "__main__":
    main()
