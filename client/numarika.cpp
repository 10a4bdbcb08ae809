// numarika: the command that users and the desktop's key bindings run. With only --scan and
// a copy already running in the session, it asks that copy to scan over the session bus and
// ends, having loaded nothing but libdbus: a key binding is answered in a few milliseconds,
// where loading Qt alone takes several times as long. Anything else (the program itself,
// --help, --version, a wrong argument, --scan with no copy running) is the program proper,
// which this process then becomes.
//
// The request is the one `numarika --scan` of the program proper sends (scan_service.h).

#include <dbus/dbus.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr char kBusName[] = "com.example.numarika";
constexpr char kBusPath[] = "/com/example/numarika";
// The running copy answers at once and scans afterwards; a copy that hangs is given this long.
constexpr int kReplyTimeoutMs = 5000;

// Whether the running copy took the request; false when none runs (or there is no bus).
bool askRunningCopyToScan() {
    DBusError error;
    dbus_error_init(&error);
    DBusConnection* bus = dbus_bus_get_private(DBUS_BUS_SESSION, &error);
    if (!bus) {
        dbus_error_free(&error);
        return false;
    }
    dbus_connection_set_exit_on_disconnect(bus, FALSE);
    bool delivered = false;
    if (DBusMessage* call = dbus_message_new_method_call(kBusName, kBusPath, kBusName, "Scan")) {
        // No copy running is the usual first press: the bus is not to start one (it could not),
        // the answer is at once that nobody has the name.
        dbus_message_set_auto_start(call, FALSE);
        DBusMessage* reply =
            dbus_connection_send_with_reply_and_block(bus, call, kReplyTimeoutMs, &error);
        delivered = reply != nullptr;
        if (reply) dbus_message_unref(reply);
        dbus_message_unref(call);
    }
    dbus_error_free(&error);
    dbus_connection_close(bus);
    dbus_connection_unref(bus);
    return delivered;
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
