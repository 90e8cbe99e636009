// Threads with a stack size of their own, a suspended start, a priority and a
// bounded wait. A handle names a thread until it is closed; handles are never
// reused within a process.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

using ThreadHandle = std::uintptr_t; // 0: none
using ThreadEntry = std::uint32_t (*)(void* argument);

// Starts `entry(argument)` on a new thread with a message queue of its own
// (see ThreadQueue.h). A suspended thread runs nothing until resumeThread.
// Returns 0 and sets the last error when the thread cannot be made.
ThreadHandle createThread(ThreadEntry entry, void* argument, std::size_t stackSize, bool suspended,
                          std::uint32_t* threadId);
bool resumeThread(ThreadHandle thread);

// Priorities grow with urgency; one step is the smallest change the system
// offers (a nice level on Linux). A thread starts at its creator's priority.
int currentThreadPriority();
// Lowering is always allowed; raising above the process's limit fails.
bool setThreadPriority(ThreadHandle thread, int priority);
// The priority the thread runs at (or will run at, once resumed).
int threadPriority(ThreadHandle thread);

// A yield that keeps the caller's turn: what the scheduler owes the processor
// to runs first, otherwise the caller goes on at once. Linux's sched_yield
// queues the caller behind every ready task of the machine for a whole slice,
// so a tick due at once came milliseconds late whenever anything else was busy.
void yieldThread();

// kWaitSignalled once the thread has ended, kWaitTimeout, or kWaitFailed for
// an unknown handle.
std::uint32_t waitForThread(ThreadHandle thread, std::uint32_t timeoutMs);
// Forgets the handle; a thread still running goes on to its end unwatched.
bool closeThreadHandle(ThreadHandle thread);

// Makes the next createThread fail with `errorCode` (0 switches it off).
void failNextThreadCreationForTesting(std::uint32_t errorCode);

} // namespace platform
