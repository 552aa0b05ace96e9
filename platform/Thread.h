#pragma once
// Worker threads: created suspended, a cooperative terminate request, priorities, Synchronize (run a
// function on the main thread and wait for it) and a termination notice that runs on the main thread.
//
// The main thread's side of Synchronize is pluggable. By default the calls queue up and the main thread
// runs them from CheckSynchronize (the console front end and the tests drain it); a window installs a
// runner that makes a blocking call into its own event loop.

#include <atomic>
#include <chrono>
#include <exception>
#include <functional>
#include <thread>

using TThreadMethod = std::function<void()>;

// Runs Method on the main thread and returns once it has run. Method never raises: RunOnMainThread
// catches what the called function raises and raises it again in its caller.
using TMainThreadRunner = std::function<void(const TThreadMethod& Method)>;

// Installs the main thread's side of Synchronize; an empty runner restores the queue.
void SetMainThreadRunner(TMainThreadRunner Runner);

// Runs the calls that workers have queued for the main thread, waiting up to Timeout for the first one,
// and goes on while more follow at once. True when at least one ran. Call it on the main thread only.
bool CheckSynchronize(std::chrono::milliseconds Timeout = std::chrono::milliseconds(0));

// The thread that ran the program's start-up.
bool IsMainThread();

// Runs Method on the main thread and waits for it; an exception it raises is raised again in the caller.
// Called on the main thread, Method simply runs.
void RunOnMainThread(const TThreadMethod& Method);

enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

class TThread {
public:
    // Always created suspended: Start runs Execute on a new thread.
    TThread() = default;
    // A thread that does not free itself must have ended (WaitFor) before its object goes.
    virtual ~TThread();
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    void Start();
    // Waits until a thread that does not free itself has ended. Meanwhile its Synchronize calls need a
    // main-thread side that does not wait for the caller (an installed runner, not the queue).
    void WaitFor();
    void Terminate() { FTerminated = true; }
    bool Terminated() const { return FTerminated; }

    // Set before Start: the object deletes itself after the termination notice has run.
    void SetFreeOnTerminate(bool Value) { FFreeOnTerminate = Value; }
    // Mapped to a nice value; refused changes (raising priority without privilege) are ignored.
    void SetPriority(TThreadPriority Value);
    TThreadPriority Priority() const { return FPriority; }

    // Runs on the main thread once Execute has returned (or raised).
    TThreadMethod OnTerminate;
    // What Execute raised, for the termination notice; null when it returned. A failure that no notice
    // can see (there is none, or the notice itself raised) is written to standard error.
    std::exception_ptr FatalException() const { return FFatalException; }

    // RunOnMainThread, for the thread's body.
    static void Synchronize(const TThreadMethod& Method) { RunOnMainThread(Method); }

protected:
    virtual void Execute() = 0;

private:
    void Run();
    void ApplyPriority();

    std::thread FThread;
    std::exception_ptr FFatalException;
    std::atomic<bool> FTerminated{false};
    std::atomic<int> FTid{0};
    std::atomic<TThreadPriority> FPriority{tpNormal};
    bool FFreeOnTerminate = false;
    bool FStarted = false;
};
