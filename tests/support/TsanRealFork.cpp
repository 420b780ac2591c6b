// Linked into every test of the ThreadSanitizer build only.
//
// QProcess starts its child with clone(CLONE_VM | CLONE_VFORK): until it calls exec, the child
// runs in the parent's memory, on the parent's thread state. The sanitizer does not know about
// that clone, so the child's calls through its hooks (close, dup2, signal masks) rewrite the
// parent's record of which thread saw what, and later accesses are reported as races that never
// happened (with clang's runtime the child stops on an internal check instead). This clone gives
// the child a copy of the memory, as fork() does; QProcess reports a failed exec through a pipe,
// so it does not depend on sharing the memory.
#include <dlfcn.h>
#include <sched.h>

#include <cstdarg>

extern "C" int clone(int (*function)(void *), void *stack, int flags, void *argument, ...) {
    va_list rest;
    va_start(rest, argument);
    pid_t *parentTid = va_arg(rest, pid_t *);
    void *tls = va_arg(rest, void *);
    pid_t *childTid = va_arg(rest, pid_t *);
    va_end(rest);
    using TClone = int (*)(int (*)(void *), void *, int, void *, ...);
    static const auto next = reinterpret_cast<TClone>(dlsym(RTLD_NEXT, "clone"));
    if ((flags & CLONE_VFORK) != 0) {
        flags &= ~(CLONE_VM | CLONE_VFORK);
    }
    return next(function, stack, flags, argument, parentTid, tls, childTid);
}
