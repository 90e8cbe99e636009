#include "platform/ThreadQueue.h"

#include "platform/SystemError.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <unordered_map>

namespace platform {
namespace detail {

class MessageQueue {
public:
    void push(const QueuedMessage& m) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_messages.push_back(m);
        m_cond.notify_one();
    }
    bool tryPop(QueuedMessage& out) {
        std::lock_guard<std::mutex> lock(m_mutex);
        return popLocked(out);
    }
    void pop(QueuedMessage& out) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_cond.wait(lock, [this] { return !m_messages.empty(); });
        popLocked(out);
    }
    bool popWithin(QueuedMessage& out, std::uint32_t timeoutMs) {
        std::unique_lock<std::mutex> lock(m_mutex);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        if (!m_cond.wait_until(lock, deadline, [this] { return !m_messages.empty(); }))
            return false;
        return popLocked(out);
    }

private:
    bool popLocked(QueuedMessage& out) {
        if (m_messages.empty())
            return false;
        out = m_messages.front();
        m_messages.pop_front();
        return true;
    }

    std::mutex m_mutex;
    std::condition_variable m_cond;
    std::deque<QueuedMessage> m_messages;
};

namespace {
struct Registry {
    std::mutex mutex;
    std::unordered_map<std::uint32_t, std::shared_ptr<MessageQueue>> queues;
    std::uint32_t nextId = 1;
};

Registry& registry() {
    static Registry* r = new Registry; // outlives every thread that may still post
    return *r;
}

// This thread's queue; withdrawn from the registry when the thread ends.
struct CurrentQueue {
    ThreadQueueSlot slot;
    ~CurrentQueue() { withdrawThreadQueue(); }
};
thread_local CurrentQueue t_current;

MessageQueue& ownQueue() {
    if (!t_current.slot.queue)
        adoptThreadQueue(createThreadQueue());
    return *t_current.slot.queue;
}
} // namespace

ThreadQueueSlot createThreadQueue() {
    Registry& r = registry();
    ThreadQueueSlot slot;
    slot.queue = std::make_shared<MessageQueue>();
    std::lock_guard<std::mutex> lock(r.mutex);
    do
        slot.id = r.nextId++;
    while (slot.id == 0 || r.queues.count(slot.id) != 0);
    r.queues.emplace(slot.id, slot.queue);
    return slot;
}

void adoptThreadQueue(const ThreadQueueSlot& slot) {
    t_current.slot = slot;
}

void withdrawThreadQueue() {
    if (!t_current.slot.queue)
        return;
    Registry& r = registry();
    {
        std::lock_guard<std::mutex> lock(r.mutex);
        r.queues.erase(t_current.slot.id);
    }
    t_current.slot = ThreadQueueSlot{};
}

void discardThreadQueue(const ThreadQueueSlot& slot) {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.queues.erase(slot.id);
}

} // namespace detail

std::uint32_t currentThreadId() {
    detail::ownQueue();
    return detail::t_current.slot.id;
}

bool postThreadMessage(std::uint32_t threadId, std::uint32_t message, std::uintptr_t wParam,
                       std::intptr_t lParam) {
    std::shared_ptr<detail::MessageQueue> queue;
    {
        detail::Registry& r = detail::registry();
        std::lock_guard<std::mutex> lock(r.mutex);
        auto it = r.queues.find(threadId);
        if (it != r.queues.end())
            queue = it->second;
    }
    if (!queue) {
        setLastError(ESRCH);
        return false;
    }
    queue->push(QueuedMessage{message, wParam, lParam});
    return true;
}

bool peekMessage(QueuedMessage& out) {
    return detail::ownQueue().tryPop(out);
}

bool getMessage(QueuedMessage& out) {
    detail::ownQueue().pop(out);
    return out.message != kQuitMessage;
}

bool waitMessage(QueuedMessage& out, std::uint32_t timeoutMs) {
    return detail::ownQueue().popWithin(out, timeoutMs);
}

} // namespace platform
