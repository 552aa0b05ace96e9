// Calls handed to the main thread and the termination notice of worker threads.

#include "platform/Thread.h"

#include "common/TestUtil.h"

#include <gtest/gtest.h>
#include <stdexcept>
#include <unistd.h>

using testutil::DrainSynchronize;

namespace {

class TLambdaThread : public TThread {
public:
    explicit TLambdaThread(std::function<void(TLambdaThread&)> Body, std::atomic<bool>* Destroyed = nullptr)
        : FBody(std::move(Body)), FDestroyed(Destroyed) {}
    ~TLambdaThread() override {
        if (FDestroyed)
            *FDestroyed = true;
    }

protected:
    void Execute() override { FBody(*this); }

private:
    std::function<void(TLambdaThread&)> FBody;
    std::atomic<bool>* FDestroyed;
};

} // namespace

// The call runs on the main thread while the worker waits, and what it raises comes back to the worker; an
// installed runner takes the place of the queue; on the main thread the call runs at once.
TEST(Thread, SynchronizeRunsOnTheMainThreadWhileTheWorkerWaitsAndPassesExceptionsBack) {
    std::atomic<int> Step{0};
    bool RanOnMain = false;
    int StepSeenByMain = -1;
    std::string Caught;
    TLambdaThread T([&](TLambdaThread&) {
        Step = 1;
        TThread::Synchronize([&] {
            RanOnMain = IsMainThread();
            usleep(20000); // the worker must still be blocked inside Synchronize
            StepSeenByMain = Step;
        });
        try {
            TThread::Synchronize([] { throw std::runtime_error("from main"); });
        } catch (const std::runtime_error& E) {
            Caught = E.what();
        }
        Step = 2;
    });
    EXPECT_FALSE(CheckSynchronize());
    T.Start();
    ASSERT_TRUE(DrainSynchronize([&] { return Step == 2; }));
    T.WaitFor();
    EXPECT_TRUE(RanOnMain && StepSeenByMain == 1 && Caught == "from main");

    int Calls = 0;
    SetMainThreadRunner([&](const TThreadMethod& Method) { ++Calls, Method(); });
    TLambdaThread R([&](TLambdaThread&) { TThread::Synchronize([&] { Step = 3; }); });
    R.Start();
    R.WaitFor(); // nothing drained meanwhile
    SetMainThreadRunner(nullptr);
    EXPECT_TRUE(Step == 3 && Calls == 1 && !CheckSynchronize());
    TThread::Synchronize([&] { Step = 4; });
    EXPECT_EQ(Step, 4);
}

// The notice comes on the main thread, sees what the body raised, and the thread frees itself after it.
TEST(Thread, TerminationNoticeRunsOnTheMainThreadThenTheThreadFreesItself) {
    for (bool Fails : {false, true}) {
        std::atomic<bool> Destroyed{false};
        bool NoticeOnMain = false, DestroyedBeforeNotice = true, FailureSeen = false;
        auto* T = new TLambdaThread(
            [Fails](TLambdaThread& Self) {
                while (!Fails && !Self.Terminated())
                    usleep(1000);
                if (Fails)
                    throw std::runtime_error("body failed");
            },
            &Destroyed);
        T->OnTerminate = [&] {
            NoticeOnMain = IsMainThread();
            DestroyedBeforeNotice = Destroyed;
            FailureSeen = T->FatalException() != nullptr;
        };
        T->SetFreeOnTerminate(true);
        T->Start();
        if (!Fails)
            T->Terminate();
        ASSERT_TRUE(DrainSynchronize([&] { return Destroyed.load(); }));
        EXPECT_TRUE(NoticeOnMain && !DestroyedBeforeNotice);
        EXPECT_EQ(FailureSeen, Fails);
    }
}
