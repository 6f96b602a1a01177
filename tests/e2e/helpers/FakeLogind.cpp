// The login manager's part of a desktop session, for xss-lock, which will not run without
// one: it asks the login manager for its session, tells it when the locker runs (the
// session's "locked hint") and when the screen is idle, and takes a lock that delays
// sleep. A test machine has no login manager, so this stands in for it on a bus of the
// test's own (given as the system bus to xss-lock). It owns org.freedesktop.login1, has
// one session, answers those calls and prints each one on a line of its own:
//   SetLockedHint true / SetLockedHint false / SetIdleHint true / ...
// The first line it prints is "ready", once the name is owned.
//   fake_logind BUS_ADDRESS
#include <gio/gio.h>
#include <gio/gunixfdlist.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kSessionPath = "/org/freedesktop/login1/session/e2e";

constexpr const char* kIntrospection = R"(<node>
  <interface name="org.freedesktop.login1.Manager">
    <method name="GetSession">
      <arg name="session_id" type="s" direction="in"/><arg name="object_path" type="o" direction="out"/>
    </method>
    <method name="GetSessionByPID">
      <arg name="pid" type="u" direction="in"/><arg name="object_path" type="o" direction="out"/>
    </method>
    <method name="Inhibit">
      <arg name="what" type="s" direction="in"/><arg name="who" type="s" direction="in"/>
      <arg name="why" type="s" direction="in"/><arg name="mode" type="s" direction="in"/>
      <arg name="fd" type="h" direction="out"/>
    </method>
    <signal name="PrepareForSleep"><arg name="start" type="b"/></signal>
  </interface>
  <interface name="org.freedesktop.login1.Session">
    <method name="SetLockedHint"><arg name="locked" type="b" direction="in"/></method>
    <method name="SetIdleHint"><arg name="idle" type="b" direction="in"/></method>
    <signal name="Lock"/>
    <signal name="Unlock"/>
  </interface>
</node>)";

void Say(const char* line) {
  std::printf("%s\n", line);
  std::fflush(stdout);
}

void OnCall(GDBusConnection*, const char*, const char*, const char*, const char* method, GVariant* parameters,
            GDBusMethodInvocation* invocation, gpointer) {
  if (std::strcmp(method, "GetSession") == 0 || std::strcmp(method, "GetSessionByPID") == 0) {
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(o)", kSessionPath));
  } else if (std::strcmp(method, "Inhibit") == 0) {
    // The lock is held for as long as the other end of this pipe stays open.
    int ends[2];
    if (pipe(ends) != 0) {
      g_dbus_method_invocation_return_dbus_error(invocation, "org.freedesktop.DBus.Error.Failed", "no pipe");
      return;
    }
    GUnixFDList* fds = g_unix_fd_list_new_from_array(&ends[0], 1);
    g_dbus_method_invocation_return_value_with_unix_fd_list(invocation, g_variant_new("(h)", 0), fds);
    g_object_unref(fds);
  } else {
    gboolean on = FALSE;
    g_variant_get(parameters, "(b)", &on);
    char line[64];
    std::snprintf(line, sizeof line, "%s %s", method, on ? "true" : "false");
    Say(line);
    g_dbus_method_invocation_return_value(invocation, nullptr);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s BUS_ADDRESS\n", argv[0]);
    return 2;
  }
  GError* error = nullptr;
  GDBusConnection* bus = g_dbus_connection_new_for_address_sync(
      argv[1], static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                                 G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, nullptr, &error);
  if (!bus) {
    std::fprintf(stderr, "fake_logind: cannot connect to %s: %s\n", argv[1], error->message);
    return 1;
  }
  // Gone with the bus, like every other part of the test's session.
  g_dbus_connection_set_exit_on_close(bus, TRUE);
  GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(kIntrospection, &error);
  if (!node) {
    std::fprintf(stderr, "fake_logind: %s\n", error->message);
    return 1;
  }
  const GDBusInterfaceVTable vtable{OnCall, nullptr, nullptr, {}};
  g_dbus_connection_register_object(bus, "/org/freedesktop/login1", node->interfaces[0], &vtable, nullptr, nullptr,
                                    nullptr);
  g_dbus_connection_register_object(bus, kSessionPath, node->interfaces[1], &vtable, nullptr, nullptr, nullptr);
  GVariant* owned = g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                "org.freedesktop.DBus", "RequestName",
                                                g_variant_new("(su)", "org.freedesktop.login1", 4u /* do not queue */),
                                                G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, -1, nullptr, &error);
  guint32 reply = 0;
  if (owned) g_variant_get(owned, "(u)", &reply);
  if (reply != 1 /* primary owner */) {
    std::fprintf(stderr, "fake_logind: cannot own org.freedesktop.login1\n");
    return 1;
  }
  g_variant_unref(owned);
  Say("ready");
  GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
  g_main_loop_run(loop);
  return 0;
}
