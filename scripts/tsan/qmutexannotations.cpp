// Tells ThreadSanitizer about QMutex. Qt's mutex waits on a futex inside libQt5Core, which ThreadSanitizer
// neither instruments nor intercepts, so without this every pair of accesses guarded by a QMutex looks like a
// race. The TSan test lane preloads this library (LD_PRELOAD): it takes over QMutex::lock, tryLock and unlock
// for every caller outside Qt, runs Qt's own implementation, and reports the lock as an acquire and the unlock
// as a release of the mutex's address. Nothing is suppressed: a race on data that no mutex guards is still
// reported. Qt's calls to its own mutexes bind inside libQt5Core and are not seen, as before.
//
// Built by scripts/test-lanes with the version script next to it, so that the symbols carry Qt's version.

#include <QMutex>

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

// Present in a ThreadSanitizer process; weak so that uninstrumented programs (ctest itself) can load this too.
extern "C" void __tsan_acquire(void *addr) __attribute__((weak));
extern "C" void __tsan_release(void *addr) __attribute__((weak));

namespace {

template <typename Function>
Function qtOwn(const char *symbol)
{
    void *address = dlvsym(RTLD_NEXT, symbol, "Qt_5");
    if (!address) {
        std::fprintf(stderr, "qmutexannotations: %s not found in Qt\n", symbol);
        std::abort();
    }
    return reinterpret_cast<Function>(address);
}

using LockFunction = void (*)(QMutex *);
using TryLockFunction = bool (*)(QMutex *, int);
using UnlockFunction = void (*)(QMutex *);

void acquired(QMutex *mutex)
{
    if (__tsan_acquire)
        __tsan_acquire(mutex);
}

void releasing(QMutex *mutex)
{
    if (__tsan_release)
        __tsan_release(mutex);
}

} // namespace

void QMutex::lock() QT_MUTEX_LOCK_NOEXCEPT
{
    static const LockFunction qtLock = qtOwn<LockFunction>("_ZN6QMutex4lockEv");
    qtLock(this);
    acquired(this);
}

bool QMutex::tryLock(int timeout) QT_MUTEX_LOCK_NOEXCEPT
{
    static const TryLockFunction qtTryLock = qtOwn<TryLockFunction>("_ZN6QMutex7tryLockEi");
    const bool locked = qtTryLock(this, timeout);
    if (locked)
        acquired(this);
    return locked;
}

void QMutex::unlock() noexcept
{
    static const UnlockFunction qtUnlock = qtOwn<UnlockFunction>("_ZN6QMutex6unlockEv");
    releasing(this);
    qtUnlock(this);
}
