#include "platform/Threads.h"

#include "platform/Sync.h"
#include "platform/SystemError.h"
#include "platform/ThreadQueue.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <unordered_map>

#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

namespace platform {
namespace {

// Linux nice levels run from -20 (most urgent) to 19; a priority is the
// negated nice level, so that "one step below" is one nice level more.
constexpr int kLowestPriority = -19;

struct ThreadRecord {
    std::mutex mutex;
    std::condition_variable cond;
    bool resumed = false;
    bool finished = false;
    pid_t tid = 0;    // known once the thread has begun to run
    int priority = 0; // the priority it has or will be given at resume
    bool priorityChanged = false;
    ThreadEntry entry = nullptr;
    void* argument = nullptr;
    detail::ThreadQueueSlot queue;
    pthread_t thread{};
};

struct Registry {
    std::mutex mutex;
    std::unordered_map<ThreadHandle, std::shared_ptr<ThreadRecord>> threads;
    ThreadHandle nextHandle = 1;
};

Registry& registry() {
    static Registry* r = new Registry; // threads may outlive static destruction
    return *r;
}

std::atomic<std::uint32_t> g_failNextCreation{0};

pid_t ownTid() {
    return static_cast<pid_t>(syscall(SYS_gettid));
}

int priorityOf(pid_t tid) {
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
    return errno == 0 ? -nice : 0;
}

bool applyPriority(pid_t tid, int priority) {
    return setpriority(PRIO_PROCESS, static_cast<id_t>(tid), -std::max(priority, kLowestPriority)) == 0;
}

std::shared_ptr<ThreadRecord> find(ThreadHandle handle) {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto it = r.threads.find(handle);
    return it == r.threads.end() ? nullptr : it->second;
}

void* threadMain(void* raw) {
    std::unique_ptr<std::shared_ptr<ThreadRecord>> owned(static_cast<std::shared_ptr<ThreadRecord>*>(raw));
    ThreadRecord& rec = **owned;
    detail::adoptThreadQueue(rec.queue);
    bool changePriority = false;
    int priority = 0;
    {
        std::unique_lock<std::mutex> lock(rec.mutex);
        rec.tid = ownTid();
        rec.cond.wait(lock, [&] { return rec.resumed; });
        changePriority = rec.priorityChanged;
        priority = rec.priority;
    }
    if (changePriority)
        applyPriority(ownTid(), priority);
    rec.entry(rec.argument);
    detail::withdrawThreadQueue();
    {
        std::lock_guard<std::mutex> lock(rec.mutex);
        rec.finished = true;
        rec.cond.notify_all();
    }
    return nullptr;
}

} // namespace

void failNextThreadCreationForTesting(std::uint32_t errorCode) {
    g_failNextCreation = errorCode;
}

ThreadHandle createThread(ThreadEntry entry, void* argument, std::size_t stackSize, bool suspended,
                          std::uint32_t* threadId) {
    if (const std::uint32_t injected = g_failNextCreation.exchange(0)) {
        setLastError(injected);
        return 0;
    }
    auto rec = std::make_shared<ThreadRecord>();
    rec->entry = entry;
    rec->argument = argument;
    rec->resumed = !suspended;
    rec->priority = currentThreadPriority();
    rec->queue = detail::createThreadQueue();

    pthread_attr_t attr;
    pthread_attr_init(&attr);
    int error = stackSize != 0 ? pthread_attr_setstacksize(&attr, stackSize) : 0;
    auto* handOver = new std::shared_ptr<ThreadRecord>(rec);
    if (error == 0)
        error = pthread_create(&rec->thread, &attr, threadMain, handOver);
    pthread_attr_destroy(&attr);
    if (error != 0) {
        delete handOver;
        // The queue was registered for a thread that never came to be.
        detail::discardThreadQueue(rec->queue);
        setLastError(static_cast<std::uint32_t>(error));
        return 0;
    }
    if (threadId)
        *threadId = rec->queue.id;
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    const ThreadHandle handle = r.nextHandle++;
    r.threads.emplace(handle, std::move(rec));
    return handle;
}

bool resumeThread(ThreadHandle thread) {
    auto rec = find(thread);
    if (!rec) {
        setLastError(EBADF);
        return false;
    }
    std::lock_guard<std::mutex> lock(rec->mutex);
    rec->resumed = true;
    rec->cond.notify_all();
    return true;
}

int currentThreadPriority() {
    return priorityOf(ownTid());
}

bool setThreadPriority(ThreadHandle thread, int priority) {
    auto rec = find(thread);
    if (!rec) {
        setLastError(EBADF);
        return false;
    }
    std::lock_guard<std::mutex> lock(rec->mutex);
    if (rec->finished)
        return true;
    if (rec->resumed && rec->tid != 0) {
        if (!applyPriority(rec->tid, priority)) {
            setLastError(static_cast<std::uint32_t>(errno));
            return false;
        }
    } else {
        // Applied by the thread itself as it leaves its suspended start.
        rec->priorityChanged = true;
    }
    rec->priority = std::max(priority, kLowestPriority);
    return true;
}

int threadPriority(ThreadHandle thread) {
    auto rec = find(thread);
    if (!rec)
        return 0;
    std::lock_guard<std::mutex> lock(rec->mutex);
    if (rec->resumed && rec->tid != 0 && !rec->finished)
        return priorityOf(rec->tid);
    return rec->priority;
}

void yieldThread() {
    // A sleep of zero is a scheduling point: whatever the kernel owes the
    // processor to now runs, and this thread keeps its place otherwise.
    timespec none{0, 0};
    nanosleep(&none, nullptr);
}

std::uint32_t waitForThread(ThreadHandle thread, std::uint32_t timeoutMs) {
    auto rec = find(thread);
    if (!rec) {
        setLastError(EBADF);
        return kWaitFailed;
    }
    std::unique_lock<std::mutex> lock(rec->mutex);
    if (timeoutMs == kInfinite) {
        rec->cond.wait(lock, [&] { return rec->finished; });
        return kWaitSignalled;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    return rec->cond.wait_until(lock, deadline, [&] { return rec->finished; }) ? kWaitSignalled
                                                                               : kWaitTimeout;
}

bool closeThreadHandle(ThreadHandle thread) {
    std::shared_ptr<ThreadRecord> rec;
    {
        Registry& r = registry();
        std::lock_guard<std::mutex> lock(r.mutex);
        auto it = r.threads.find(thread);
        if (it == r.threads.end()) {
            setLastError(EBADF);
            return false;
        }
        rec = std::move(it->second);
        r.threads.erase(it);
    }
    bool finished;
    {
        std::lock_guard<std::mutex> lock(rec->mutex);
        finished = rec->finished;
    }
    // A finished thread is joined (it is past its last step); one still
    // running is let go and cleans up after itself.
    if (finished)
        pthread_join(rec->thread, nullptr);
    else
        pthread_detach(rec->thread);
    return true;
}

} // namespace platform
