// SPDX-License-Identifier: GPL-3.0-or-later
#include "LatencyVfs.h"

#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

namespace {
constexpr const char *kName = "velbor_latency";
std::atomic<int> g_delayUs{0};
std::atomic<long> g_reads{0}, g_writes{0}, g_syncs{0}, g_locks{0}, g_opens{0}, g_other{0};
sqlite3_vfs *g_base = nullptr;
sqlite3_vfs g_vfs;

void pay(std::atomic<long> &counter)
{
    ++counter;
    if (const int us = g_delayUs.load(); us > 0) {
        // A busy wait: sleeping would round up to the scheduler's tick.
        const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(us);
        while (std::chrono::steady_clock::now() < until)
            ;
    }
}

// The file handed out: our methods first, the real file after them.
struct File {
    sqlite3_file base;
    sqlite3_file *real;
};
sqlite3_file *real(sqlite3_file *f) { return reinterpret_cast<File *>(f)->real; }

int xClose(sqlite3_file *f)
{
    const int rc = real(f)->pMethods ? real(f)->pMethods->xClose(real(f)) : SQLITE_OK;
    sqlite3_free(real(f));
    return rc;
}
int xRead(sqlite3_file *f, void *buf, int n, sqlite3_int64 off) { pay(g_reads); return real(f)->pMethods->xRead(real(f), buf, n, off); }
int xWrite(sqlite3_file *f, const void *buf, int n, sqlite3_int64 off) { pay(g_writes); return real(f)->pMethods->xWrite(real(f), buf, n, off); }
int xTruncate(sqlite3_file *f, sqlite3_int64 size) { pay(g_other); return real(f)->pMethods->xTruncate(real(f), size); }
int xSync(sqlite3_file *f, int flags) { pay(g_syncs); return real(f)->pMethods->xSync(real(f), flags); }
int xFileSize(sqlite3_file *f, sqlite3_int64 *size) { pay(g_other); return real(f)->pMethods->xFileSize(real(f), size); }
int xLock(sqlite3_file *f, int level) { pay(g_locks); return real(f)->pMethods->xLock(real(f), level); }
int xUnlock(sqlite3_file *f, int level) { pay(g_locks); return real(f)->pMethods->xUnlock(real(f), level); }
int xCheckReservedLock(sqlite3_file *f, int *out) { pay(g_locks); return real(f)->pMethods->xCheckReservedLock(real(f), out); }
int xFileControl(sqlite3_file *f, int op, void *arg) { return real(f)->pMethods->xFileControl(real(f), op, arg); }
int xSectorSize(sqlite3_file *f) { return real(f)->pMethods->xSectorSize(real(f)); }
int xDeviceCharacteristics(sqlite3_file *f) { return real(f)->pMethods->xDeviceCharacteristics(real(f)); }

// Version 1 methods only: no shared memory (no write-ahead log) and no mapping.
const sqlite3_io_methods kMethods = {1, xClose, xRead, xWrite, xTruncate, xSync, xFileSize, xLock, xUnlock,
                                     xCheckReservedLock, xFileControl, xSectorSize, xDeviceCharacteristics,
                                     nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};

int xOpen(sqlite3_vfs *, sqlite3_filename name, sqlite3_file *out, int flags, int *outFlags)
{
    pay(g_opens);
    auto *file = reinterpret_cast<File *>(out);
    file->base.pMethods = nullptr;
    file->real = static_cast<sqlite3_file *>(sqlite3_malloc(g_base->szOsFile));
    if (!file->real)
        return SQLITE_NOMEM;
    std::memset(file->real, 0, size_t(g_base->szOsFile));
    const int rc = g_base->xOpen(g_base, name, file->real, flags, outFlags);
    if (rc != SQLITE_OK) {
        sqlite3_free(file->real);
        return rc;
    }
    file->base.pMethods = &kMethods;
    return SQLITE_OK;
}
int xDelete(sqlite3_vfs *, const char *name, int syncDir) { pay(g_other); return g_base->xDelete(g_base, name, syncDir); }
int xAccess(sqlite3_vfs *, const char *name, int flags, int *out) { pay(g_other); return g_base->xAccess(g_base, name, flags, out); }
int xFullPathname(sqlite3_vfs *, const char *name, int n, char *out) { return g_base->xFullPathname(g_base, name, n, out); }
void *xDlOpen(sqlite3_vfs *, const char *name) { return g_base->xDlOpen(g_base, name); }
void xDlError(sqlite3_vfs *, int n, char *msg) { g_base->xDlError(g_base, n, msg); }
void (*xDlSym(sqlite3_vfs *, void *h, const char *sym))(void) { return g_base->xDlSym(g_base, h, sym); }
void xDlClose(sqlite3_vfs *, void *h) { g_base->xDlClose(g_base, h); }
int xRandomness(sqlite3_vfs *, int n, char *out) { return g_base->xRandomness(g_base, n, out); }
int xSleep(sqlite3_vfs *, int us) { return g_base->xSleep(g_base, us); }
int xCurrentTime(sqlite3_vfs *, double *out) { return g_base->xCurrentTime(g_base, out); }
int xGetLastError(sqlite3_vfs *, int n, char *out) { return g_base->xGetLastError ? g_base->xGetLastError(g_base, n, out) : 0; }
int xCurrentTimeInt64(sqlite3_vfs *, sqlite3_int64 *out) { return g_base->xCurrentTimeInt64(g_base, out); }
} // namespace

namespace LatencyVfs {

const char *install()
{
    if (g_base)
        return kName;
    g_base = sqlite3_vfs_find(nullptr);
    g_vfs = sqlite3_vfs{};
    g_vfs.iVersion = 2;
    g_vfs.szOsFile = int(sizeof(File));
    g_vfs.mxPathname = g_base->mxPathname;
    g_vfs.zName = kName;
    g_vfs.xOpen = xOpen;
    g_vfs.xDelete = xDelete;
    g_vfs.xAccess = xAccess;
    g_vfs.xFullPathname = xFullPathname;
    g_vfs.xDlOpen = xDlOpen;
    g_vfs.xDlError = xDlError;
    g_vfs.xDlSym = xDlSym;
    g_vfs.xDlClose = xDlClose;
    g_vfs.xRandomness = xRandomness;
    g_vfs.xSleep = xSleep;
    g_vfs.xCurrentTime = xCurrentTime;
    g_vfs.xGetLastError = xGetLastError;
    g_vfs.xCurrentTimeInt64 = xCurrentTimeInt64;
    sqlite3_vfs_register(&g_vfs, 0);
    return kName;
}

void setDelayMicroseconds(int us)
{
    g_delayUs = us;
}

Counts counts()
{
    return {g_reads, g_writes, g_syncs, g_locks, g_opens, g_other};
}

void resetCounts()
{
    g_reads = g_writes = g_syncs = g_locks = g_opens = g_other = 0;
}

} // namespace LatencyVfs
