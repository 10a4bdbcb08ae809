// numarika: the command that users and the desktop's key bindings run. With only --scan and
// a copy already running in the session, it asks that copy to scan over the session bus and
// ends, having loaded nothing but libdbus: a key binding is answered in a few milliseconds,
// where loading Qt alone takes several times as long. Anything else (the program itself,
// --help, --version, a wrong argument, --scan with no copy running) is the program proper,
// which this process then becomes.
//
// The request is the one `numarika --scan` of the program proper sends (scan_service.h), with
// the desktop's activation token.

#include <dbus/dbus.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

namespace {

constexpr char kBusName[] = "com.example.numarika";
constexpr char kBusPath[] = "/com/example/numarika";
// The bus answers at once; a bus that hangs is given this long.
constexpr int kReplyTimeoutMs = 5000;

// The unique name of the copy running in this session; empty when none runs (or no bus).
std::string runningCopy(DBusConnection* bus) {
    std::string owner;
    DBusMessage* ask = dbus_message_new_method_call("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                    "org.freedesktop.DBus", "GetNameOwner");
    if (!ask) return owner;
    const char* name = kBusName;
    dbus_message_append_args(ask, DBUS_TYPE_STRING, &name, DBUS_TYPE_INVALID);
    DBusError error;
    dbus_error_init(&error);
    if (DBusMessage* reply =
            dbus_connection_send_with_reply_and_block(bus, ask, kReplyTimeoutMs, &error)) {
        const char* unique = nullptr;
        if (dbus_message_get_args(reply, &error, DBUS_TYPE_STRING, &unique, DBUS_TYPE_INVALID))
            owner = unique;
        dbus_message_unref(reply);
    }
    dbus_error_free(&error);
    dbus_message_unref(ask);
    return owner;
}

// The token the desktop started this command with for bringing a window forward (the running
// copy's window is the one to use it), as the a{sv} the program's ScanWithPlatformData takes.
bool appendPlatformData(DBusMessage* call) {
    DBusMessageIter args, dict;
    dbus_message_iter_init_append(call, &args);
    if (!dbus_message_iter_open_container(&args, DBUS_TYPE_ARRAY, "{sv}", &dict)) return false;
    bool ok = true;
    for (const auto& [key, variable] : {std::pair{"activation-token", "XDG_ACTIVATION_TOKEN"},
                                        std::pair{"desktop-startup-id", "DESKTOP_STARTUP_ID"}}) {
        const char* value = std::getenv(variable);
        if (!value || !*value) continue;
        DBusMessageIter entry, variant;
        ok = ok && dbus_message_iter_open_container(&dict, DBUS_TYPE_DICT_ENTRY, nullptr, &entry) &&
             dbus_message_iter_append_basic(&entry, DBUS_TYPE_STRING, &key) &&
             dbus_message_iter_open_container(&entry, DBUS_TYPE_VARIANT, "s", &variant) &&
             dbus_message_iter_append_basic(&variant, DBUS_TYPE_STRING, &value) &&
             dbus_message_iter_close_container(&entry, &variant) &&
             dbus_message_iter_close_container(&dict, &entry);
    }
    return dbus_message_iter_close_container(&args, &dict) && ok;
}

// Whether a running copy was asked to scan; false when none runs (or there is no bus). The
// bus itself says who holds the name; the copy is not waited for, it answers nothing the
// asking could act on, and it may be in the middle of a scan.
bool askRunningCopyToScan() {
    DBusError error;
    dbus_error_init(&error);
    DBusConnection* bus = dbus_bus_get_private(DBUS_BUS_SESSION, &error);
    dbus_error_free(&error);
    if (!bus) return false;
    dbus_connection_set_exit_on_disconnect(bus, FALSE);
    bool sent = false;
    const std::string copy = runningCopy(bus);
    // To that very copy: should it end meanwhile, the request goes nowhere rather than to
    // a copy that starts later.
    if (!copy.empty()) {
        if (DBusMessage* call = dbus_message_new_method_call(copy.c_str(), kBusPath, kBusName,
                                                             "ScanWithPlatformData")) {
            dbus_message_set_no_reply(call, TRUE);
            dbus_message_set_auto_start(call, FALSE);
            if (appendPlatformData(call)) sent = dbus_connection_send(bus, call, nullptr);
            dbus_connection_flush(bus);
            dbus_message_unref(call);
        }
    }
    dbus_connection_close(bus);
    dbus_connection_unref(bus);
    return sent;
}

// The program proper: beside this command in the build tree, under libexec when installed.
std::string programPath() {
    char self[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return {};
    self[n] = '\0';
    std::string dir(self);
    dir.erase(dir.rfind('/') + 1);
    for (const char* relative : {NUMARIKA_PROGRAM_FROM_BINDIR, "libexec/numarika/numarika"}) {
        std::string candidate = dir + relative;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc == 2 && std::strcmp(argv[1], "--scan") == 0 && askRunningCopyToScan()) return 0;
    const std::string program = programPath();
    if (program.empty()) {
        std::fprintf(stderr, "numarika: the program itself (%s) is missing\n",
                     NUMARIKA_PROGRAM_FROM_BINDIR);
        return 127;
    }
    // The same arguments and name: to the desktop and to the program it is one process.
    ::execv(program.c_str(), argv);
    std::fprintf(stderr, "numarika: cannot start %s: %s\n", program.c_str(), std::strerror(errno));
    return 127;
}
