#include "platform/Thread.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <exception>
#include <mutex>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// Static initialisation runs on the thread that starts the program.
const std::thread::id GMainThread = std::this_thread::get_id();

struct TQueuedCall {
    const TThreadMethod* Method;
    std::atomic<bool> Done{false};
};

// Never destroyed: a worker that frees itself may still be leaving Synchronize while the program ends.
struct TSyncState {
    std::mutex RunnerLock;
    TMainThreadRunner Runner;
    std::mutex QueueLock;
    std::condition_variable CallQueued;
    std::condition_variable CallDone;
    std::deque<TQueuedCall*> Queue;
    std::atomic<size_t> Queued{0}; // Queue.size(), readable without the lock
};

TSyncState& Sync() {
    static TSyncState* State = new TSyncState;
    return *State;
}

// A walk hands over an event every few microseconds; sleeping and waking for each costs far more than
// the event. Both sides therefore watch for the other a little while before they sleep.
const auto SpinTime = std::chrono::microseconds(50);

template <typename TCondition> bool SpinUntil(TCondition Condition, std::chrono::microseconds Limit) {
    auto End = std::chrono::steady_clock::now() + Limit;
    while (!Condition()) {
        if (std::chrono::steady_clock::now() >= End)
            return false;
        // Yielding, not just pausing: on a busy machine the other side may be waiting for this core.
        std::this_thread::yield();
    }
    return true;
}

void QueueAndWait(const TThreadMethod& Method) {
    TSyncState& S = Sync();
    TQueuedCall Call{&Method};
    {
        std::lock_guard Lock(S.QueueLock);
        S.Queue.push_back(&Call);
        ++S.Queued;
    }
    S.CallQueued.notify_one();
    if (SpinUntil([&] { return Call.Done.load(); }, SpinTime))
        return;
    std::unique_lock Lock(S.QueueLock);
    S.CallDone.wait(Lock, [&] { return Call.Done.load(); });
}

// The last resort for a failure nobody on the main thread can see.
void ReportLostFailure(const std::exception_ptr& Failure) {
    try {
        std::rethrow_exception(Failure);
    } catch (const std::exception& E) {
        std::fprintf(stderr, "A worker thread ended with an error: %s\n", E.what());
    } catch (...) {
        std::fputs("A worker thread ended with an unknown error\n", stderr);
    }
}

int NiceValue(TThreadPriority Priority) {
    static const int Nice[] = {19, 10, 5, 0, -5, -10, -20};
    return Nice[Priority];
}

} // namespace

void SetMainThreadRunner(TMainThreadRunner Runner) {
    TSyncState& S = Sync();
    std::lock_guard Lock(S.RunnerLock);
    S.Runner = std::move(Runner);
}

bool CheckSynchronize(std::chrono::milliseconds Timeout) {
    TSyncState& S = Sync();
    if (Timeout.count() > 0)
        SpinUntil([&] { return S.Queued > 0; }, std::min<std::chrono::microseconds>(Timeout, SpinTime));
    std::unique_lock Lock(S.QueueLock);
    if (!S.CallQueued.wait_for(Lock, Timeout, [&] { return !S.Queue.empty(); }))
        return false;
    while (!S.Queue.empty()) {
        TQueuedCall* Call = S.Queue.front();
        S.Queue.pop_front();
        --S.Queued;
        Lock.unlock();
        (*Call->Method)();
        Lock.lock();
        // The worker may return as soon as it sees Done: Call is not touched afterwards.
        Call->Done = true;
        S.CallDone.notify_all();
        if (S.Queue.empty()) {
            Lock.unlock();
            SpinUntil([&] { return S.Queued > 0; }, SpinTime);
            Lock.lock();
        }
    }
    return true;
}

bool IsMainThread() {
    return std::this_thread::get_id() == GMainThread;
}

void RunOnMainThread(const TThreadMethod& Method) {
    if (IsMainThread()) {
        Method();
        return;
    }
    std::exception_ptr Error;
    TThreadMethod Guarded = [&] {
        try {
            Method();
        } catch (...) {
            Error = std::current_exception();
        }
    };
    TMainThreadRunner Runner;
    {
        TSyncState& S = Sync();
        std::lock_guard Lock(S.RunnerLock);
        Runner = S.Runner;
    }
    if (Runner)
        Runner(Guarded);
    else
        QueueAndWait(Guarded);
    if (Error)
        std::rethrow_exception(Error);
}

TThread::~TThread() {
    WaitFor();
}

void TThread::WaitFor() {
    if (FThread.joinable())
        FThread.join();
}

void TThread::Start() {
    if (FStarted)
        return;
    FStarted = true;
    // A thread that frees itself may be gone as soon as it runs: decide before it starts.
    bool Free = FFreeOnTerminate;
    std::thread Worker(&TThread::Run, this);
    if (Free)
        Worker.detach();
    else
        FThread = std::move(Worker);
}

void TThread::SetPriority(TThreadPriority Value) {
    FPriority = Value;
    if (FTid != 0)
        ApplyPriority();
}

void TThread::ApplyPriority() {
    // Raising priority needs privilege; without it the thread keeps what it has.
    (void)::setpriority(PRIO_PROCESS, id_t(FTid.load()), NiceValue(FPriority));
}

void TThread::Run() {
    FTid = int(::gettid());
    ApplyPriority();
    // A failure escaping the body ends the thread like a return and is handed to the notice.
    try {
        Execute();
    } catch (...) {
        FFatalException = std::current_exception();
    }
    if (OnTerminate) {
        try {
            Synchronize(OnTerminate);
        } catch (...) {
            ReportLostFailure(std::current_exception());
        }
    } else if (FFatalException) {
        ReportLostFailure(FFatalException);
    }
    if (FFreeOnTerminate)
        delete this;
}
