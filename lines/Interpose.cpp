// libvaskorlink-lines.so: loaded into a serial program with LD_PRELOAD
// (vaskorlink-run), it answers the modem-control and serial-information
// requests on the bridge's virtual ports, which a pseudo-terminal refuses.
// Every other descriptor and request goes to the real ioctl untouched, with
// errno as the caller left it.
//
// No allocation and no shared mutable state after the real ioctl has been
// found: serial programs call ioctl from several threads at once (a reader,
// a writer, one waiting for line changes).
#include <dlfcn.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <cstdarg>

#include "lines/ModemRequests.h"
#include "lines/PortRecord.h"

namespace {

using IoctlFunction = int (*)(int, unsigned long, ...);

std::atomic<IoctlFunction> realIoctl{nullptr};

int SystemCallIoctl(int fd, unsigned long request, ...) {
    va_list args;
    va_start(args, request);
    void *arg = va_arg(args, void *);
    va_end(args);
    return static_cast<int>(syscall(SYS_ioctl, fd, request, arg));
}

// Looked up at load time; the lazy path serves another library's
// constructor that calls ioctl before ours has run.
IoctlFunction RealIoctl() {
    IoctlFunction function = realIoctl.load(std::memory_order_acquire);
    if (function != nullptr) return function;
    const int saved = errno;
    function = reinterpret_cast<IoctlFunction>(dlsym(RTLD_NEXT, "ioctl"));
    if (function == nullptr) function = SystemCallIoctl;
    errno = saved;
    realIoctl.store(function, std::memory_order_release);
    return function;
}

__attribute__((constructor)) void FindRealIoctl() {
    RealIoctl();
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int ioctl(int fd, unsigned long request,
                                                            ...) __THROW {
    va_list args;
    va_start(args, request);
    // Every ioctl argument is passed in a pointer-sized slot.
    void *arg = va_arg(args, void *);
    va_end(args);
    if (IsModemRequest(request)) {
        const int saved = errno;
        PortRecord port;
        if (port.OpenFor(fd)) {
            const int result = AnswerModemRequest(port, request, arg);
            if (result == 0) errno = saved;
            return result;
        }
        errno = saved;
    }
    return RealIoctl()(fd, request, arg);
}
