// Preloaded into sway only, by tests/e2e/wayland_lib.sh. The test machines run everything as
// root, and sway 1.7 refuses to start when it could get root back after dropping it: it calls
// setuid(0) and quits if that works. Failing every change of user or group with EPERM lets it
// run. The library takes itself out of LD_PRELOAD at once so that what sway starts (Xwayland
// and its xkbcomp, swaybg, our exec lines) runs unmodified: xkbcomp fails under it and takes
// Xwayland down with it.
#include <sys/types.h>

#include <cerrno>
#include <cstdlib>

namespace {

int refuse() {
    errno = EPERM;
    return -1;
}

__attribute__((constructor)) void leave_children_alone() { unsetenv("LD_PRELOAD"); }

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int setuid(uid_t) { return refuse(); }
__attribute__((visibility("default"))) int setgid(gid_t) { return refuse(); }
__attribute__((visibility("default"))) int seteuid(uid_t) { return refuse(); }
__attribute__((visibility("default"))) int setegid(gid_t) { return refuse(); }
__attribute__((visibility("default"))) int setreuid(uid_t, uid_t) { return refuse(); }
__attribute__((visibility("default"))) int setregid(gid_t, gid_t) { return refuse(); }
__attribute__((visibility("default"))) int setresuid(uid_t, uid_t, uid_t) { return refuse(); }
__attribute__((visibility("default"))) int setresgid(gid_t, gid_t, gid_t) { return refuse(); }
}
