// A message queue per thread. Threads made by createThread have theirs from
// the moment they exist, so nothing posted to a new thread is lost; any other
// thread gets one at its first use of these calls.
#pragma once

#include <cstdint>
#include <memory>

namespace platform {

constexpr std::uint32_t kQuitMessage = 0x12; // asks the receiving thread to end

struct QueuedMessage {
    std::uint32_t message = 0;
    std::uintptr_t wParam = 0;
    std::intptr_t lParam = 0;
};

// This thread's identifier, the address that posts to it use.
std::uint32_t currentThreadId();

// Appends to the queue of the thread `threadId`; false (last error ESRCH)
// when no such thread lives. Never blocks.
bool postThreadMessage(std::uint32_t threadId, std::uint32_t message, std::uintptr_t wParam,
                       std::intptr_t lParam);
// Takes the oldest message of this thread's queue, if there is one.
bool peekMessage(QueuedMessage& out);
// Waits for the oldest message and takes it; false when it is kQuitMessage.
bool getMessage(QueuedMessage& out);
// As getMessage, but gives up after timeoutMs; true when a message was taken.
bool waitMessage(QueuedMessage& out, std::uint32_t timeoutMs);

namespace detail {
class MessageQueue;
// Used by the thread factory: a queue and identifier made before the thread
// runs, adopted by it at its start and withdrawn at its end.
struct ThreadQueueSlot {
    std::uint32_t id = 0;
    std::shared_ptr<MessageQueue> queue;
};
ThreadQueueSlot createThreadQueue();
void adoptThreadQueue(const ThreadQueueSlot& slot);
void withdrawThreadQueue();
// Unregisters a queue that no thread adopted.
void discardThreadQueue(const ThreadQueueSlot& slot);
} // namespace detail

} // namespace platform
