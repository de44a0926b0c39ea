// Preloaded into the tests of the tsan preset. QProcess starts a program with
// clone(CLONE_VM | CLONE_VFORK); GCC 12's ThreadSanitizer wraps every clone as a fork, and its
// child-side bookkeeping, run in the memory the child shares with its parent, leaves the
// starting thread unwatched from then on: no race of that thread would be reported. Such a
// clone goes straight to the C library here (the child only calls exec); any other goes on
// to ThreadSanitizer.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <sched.h>
#include <stdarg.h>
#include <stddef.h>
#include <sys/types.h>

typedef int (*CloneFunction)(int (*)(void*), void*, int, void*, ...);

int clone(int (*fn)(void*), void* stack, int flags, void* arg, ...) {
    // The optional arguments, passed on as they came (the flags say which are read).
    va_list more;
    va_start(more, arg);
    pid_t* parentTid = va_arg(more, pid_t*);
    void* tls = va_arg(more, void*);
    pid_t* childTid = va_arg(more, pid_t*);
    va_end(more);
    static CloneFunction libc;
    static CloneFunction next;
    if (libc == NULL) {
        void* handle = dlopen("libc.so.6", RTLD_LAZY | RTLD_NOLOAD);
        libc = handle != NULL ? (CloneFunction)dlsym(handle, "clone") : NULL;
        next = (CloneFunction)dlsym(RTLD_NEXT, "clone");
    }
    const int vfork = CLONE_VM | CLONE_VFORK;
    const CloneFunction call = (flags & vfork) == vfork && libc != NULL ? libc : next;
    return call(fn, stack, flags, arg, parentTid, tls, childTid);
}
