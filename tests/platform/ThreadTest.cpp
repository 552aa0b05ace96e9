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

TEST(Thread, SynchronizeRunsOnTheMainThreadWhileTheWorkerWaits) {
    std::atomic<int> Step{0};
    bool RanOnMain = false;
    int StepSeenByMain = -1;
    TLambdaThread T([&](TLambdaThread&) {
        Step = 1;
        TThread::Synchronize([&] {
            RanOnMain = IsMainThread();
            // The worker must still be blocked inside Synchronize.
            usleep(20000);
            StepSeenByMain = Step;
        });
        Step = 2;
    });
    EXPECT_FALSE(CheckSynchronize()) << "nothing is queued before the thread starts";
    T.Start();
    ASSERT_TRUE(DrainSynchronize([&] { return Step == 2; }));
    T.WaitFor();
    EXPECT_TRUE(RanOnMain);
    EXPECT_EQ(StepSeenByMain, 1);
}

TEST(Thread, AnExceptionOfTheSynchronizedFunctionReachesTheWorker) {
    std::string Caught;
    std::atomic<bool> Done{false};
    TLambdaThread T([&](TLambdaThread&) {
        try {
            TThread::Synchronize([] { throw std::runtime_error("from main"); });
        } catch (const std::runtime_error& E) {
            Caught = E.what();
        }
        Done = true;
    });
    T.Start();
    ASSERT_TRUE(DrainSynchronize([&] { return Done.load(); }));
    T.WaitFor();
    EXPECT_EQ(Caught, "from main");
}

TEST(Thread, SynchronizeOnTheMainThreadRunsAtOnce) {
    bool Ran = false;
    TThread::Synchronize([&] { Ran = true; });
    EXPECT_TRUE(Ran);
}

TEST(Thread, TerminationNoticeRunsOnTheMainThreadThenTheThreadFreesItself) {
    std::atomic<bool> Destroyed{false};
    bool NoticeOnMain = false, DestroyedBeforeNotice = true;
    auto* T = new TLambdaThread(
        [](TLambdaThread& Self) {
            while (!Self.Terminated())
                usleep(1000);
        },
        &Destroyed);
    T->OnTerminate = [&] {
        NoticeOnMain = IsMainThread();
        DestroyedBeforeNotice = Destroyed;
    };
    T->SetFreeOnTerminate(true);
    T->Start();
    T->Terminate();
    ASSERT_TRUE(DrainSynchronize([&] { return Destroyed.load(); }));
    EXPECT_TRUE(NoticeOnMain);
    EXPECT_FALSE(DestroyedBeforeNotice);
}

TEST(Thread, AnExceptionEscapingTheBodyStillGivesTheNotice) {
    std::atomic<bool> Destroyed{false};
    bool Noticed = false;
    auto* T = new TLambdaThread([](TLambdaThread&) { throw std::runtime_error("body failed"); }, &Destroyed);
    T->OnTerminate = [&] { Noticed = true; };
    T->SetFreeOnTerminate(true);
    T->Start();
    ASSERT_TRUE(DrainSynchronize([&] { return Destroyed.load(); }));
    EXPECT_TRUE(Noticed);
}

TEST(Thread, AnInstalledRunnerReplacesTheQueue) {
    int Calls = 0;
    SetMainThreadRunner([&](const TThreadMethod& Method) {
        ++Calls;
        Method();
    });
    bool Ran = false;
    {
        TLambdaThread T([&](TLambdaThread&) { TThread::Synchronize([&] { Ran = true; }); });
        T.Start();
        T.WaitFor(); // nothing drained meanwhile
    }
    SetMainThreadRunner(nullptr);
    EXPECT_TRUE(Ran);
    EXPECT_EQ(Calls, 1);
    EXPECT_FALSE(CheckSynchronize());
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
