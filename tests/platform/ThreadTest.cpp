#include "platform/Thread.h"

#include "common/TestUtil.h"

#include <gtest/gtest.h>
#include <stdexcept>
#include <sys/resource.h>
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

// A call handed to the main thread runs there while the worker waits, and what it raises comes back to the
// worker; an installed runner takes the place of the queue.
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
    EXPECT_FALSE(CheckSynchronize()) << "nothing is queued before the thread starts";
    T.Start();
    ASSERT_TRUE(DrainSynchronize([&] { return Step == 2; }));
    T.WaitFor();
    EXPECT_TRUE(RanOnMain);
    EXPECT_EQ(StepSeenByMain, 1);
    EXPECT_EQ(Caught, "from main");

    int Calls = 0;
    SetMainThreadRunner([&](const TThreadMethod& Method) {
        ++Calls;
        Method();
    });
    TLambdaThread R([&](TLambdaThread&) { TThread::Synchronize([&] { Step = 3; }); });
    R.Start();
    R.WaitFor(); // nothing drained meanwhile
    SetMainThreadRunner(nullptr);
    EXPECT_EQ(Step, 3);
    EXPECT_EQ(Calls, 1);
    EXPECT_FALSE(CheckSynchronize());
    TThread::Synchronize([&] { Step = 4; });
    EXPECT_EQ(Step, 4) << "on the main thread it runs at once";
}

TEST(Thread, TerminationNoticeRunsOnTheMainThreadThenTheThreadFreesItself) {
    // The second body fails: the notice must come all the same.
    const std::function<void(TLambdaThread&)> Bodies[] = {
        [](TLambdaThread& Self) {
            while (!Self.Terminated())
                usleep(1000);
        },
        [](TLambdaThread&) { throw std::runtime_error("body failed"); }};
    for (bool Fails : {false, true}) {
        std::atomic<bool> Destroyed{false};
        bool NoticeOnMain = false, DestroyedBeforeNotice = true, FailureSeen = false;
        auto* T = new TLambdaThread(Bodies[Fails], &Destroyed);
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
        EXPECT_TRUE(NoticeOnMain);
        EXPECT_FALSE(DestroyedBeforeNotice);
        EXPECT_EQ(FailureSeen, Fails) << "the notice sees what the body raised";
    }
}

TEST(Thread, PriorityBecomesTheThreadsNiceValue) {
    int Before = 0, Nice = 0;
    {
        TLambdaThread T([&](TLambdaThread&) {
            errno = 0;
            Nice = getpriority(PRIO_PROCESS, id_t(gettid()));
        });
        T.SetPriority(tpLower);
        T.Start();
        T.WaitFor();
    }
    errno = 0;
    Before = getpriority(PRIO_PROCESS, id_t(gettid()));
    // Lowering priority is always permitted; raising it back only with privilege.
    EXPECT_EQ(Nice, geteuid() == 0 ? 5 : std::max(Before, 5));
    EXPECT_EQ(getpriority(PRIO_PROCESS, id_t(gettid())), Before) << "the main thread is untouched";
}
