#include "platform/RowSplit.h"

#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

namespace {

// Below this many pixels a stage costs about a millisecond or less on one
// core, which the 10 ms tick has room for, while the two wake-ups of a
// hand-off (tens of microseconds of the machine's time on a virtual machine)
// are paid on every frame: a 1920 lens works in one piece, a 3840 one splits.
constexpr std::size_t kSplitPixels = std::size_t(1) << 19;

std::atomic<RowSplitMode> splitMode{RowSplitMode::Auto};

// The one helper thread: waits for a part, runs it, says so.
class Helper {
public:
    ~Helper() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_one();
        if (m_thread.joinable())
            m_thread.join();
    }

    // Runs `function(work, 0, begin, end)` on the helper; false when the
    // helper could not be started.
    bool post(row_split_detail::PartFunction function, void* work, int begin, int end) {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_thread.joinable()) {
            try {
                m_thread = std::thread([this] { loop(); });
            } catch (...) {
                return false;
            }
        }
        m_function = function;
        m_work = work;
        m_begin = begin;
        m_end = end;
        ++m_posted;
        m_wake.notify_one();
        return true;
    }

    // What the helper's part threw, if anything.
    std::exception_ptr waitDone() {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_done.wait(lock, [this] { return m_finished == m_posted; });
        std::exception_ptr error;
        std::swap(error, m_error);
        return error;
    }

    // One split at a time: a second caller meanwhile, or a split inside a
    // part, works alone. True when this caller has the helper.
    bool claim() { return !m_busy.exchange(true, std::memory_order_acquire); }
    void release() { m_busy.store(false, std::memory_order_release); }

private:
    void loop() {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return m_stop || m_finished != m_posted; });
            if (m_stop)
                return;
            const auto function = m_function;
            void* const work = m_work;
            const int begin = m_begin, end = m_end;
            lock.unlock();
            std::exception_ptr error;
            try {
                function(work, 0, begin, end);
            } catch (...) {
                error = std::current_exception();
            }
            lock.lock();
            m_error = error;
            m_finished = m_posted;
            m_done.notify_one();
        }
    }

    std::atomic<bool> m_busy{false};
    std::mutex m_mutex;
    std::condition_variable m_wake, m_done;
    row_split_detail::PartFunction m_function = nullptr;
    void* m_work = nullptr;
    int m_begin = 0, m_end = 0;
    unsigned long m_posted = 0, m_finished = 0;
    std::exception_ptr m_error;
    bool m_stop = false;
    std::thread m_thread;
};

Helper& helper() {
    static Helper instance;
    return instance;
}

bool worthSplitting(int rows, std::size_t pixels) {
    if (rows < 2)
        return false;
    switch (splitMode.load(std::memory_order_relaxed)) {
    case RowSplitMode::Never:
        return false;
    case RowSplitMode::Always:
        return true;
    case RowSplitMode::Auto:
        break;
    }
    static const bool twoCores = std::thread::hardware_concurrency() >= 2;
    return twoCores && pixels >= kSplitPixels;
}

} // namespace

void SetRowSplitMode(RowSplitMode mode) {
    splitMode.store(mode, std::memory_order_relaxed);
}

RowSplitMode CurrentRowSplitMode() {
    return splitMode.load(std::memory_order_relaxed);
}

namespace row_split_detail {

void run(int rows, std::size_t pixels, PartFunction function, void* work) {
    if (!worthSplitting(rows, pixels)) {
        if (rows > 0)
            function(work, 0, 0, rows);
        return;
    }
    Helper& h = helper();
    if (!h.claim()) {
        function(work, 0, 0, rows);
        return;
    }
    struct Release {
        Helper& h;
        ~Release() { h.release(); }
    } release{h};
    const int mid = rows / 2;
    if (!h.post(function, work, 0, mid)) {
        function(work, 0, 0, rows);
        return;
    }
    // The helper's part uses the caller's frame: whatever this part throws
    // waits for it to end.
    std::exception_ptr mine;
    try {
        function(work, 1, mid, rows);
    } catch (...) {
        mine = std::current_exception();
    }
    const std::exception_ptr theirs = h.waitDone();
    if (mine)
        std::rethrow_exception(mine);
    if (theirs)
        std::rethrow_exception(theirs);
}

} // namespace row_split_detail
