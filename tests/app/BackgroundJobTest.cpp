#include "app/BackgroundJob.h"
#include "controls/GuiApp.h"

#include <QTest>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <optional>
#include <stdexcept>
#include <thread>

namespace {

using TJob = TBackgroundJob<int>;

// The outcome arrives on this thread: the work's value, or what it threw.
TEST(BackgroundJob, FinishedCarriesTheResultOrTheErrorToTheMakersThread) {
    for (const bool throws : {false, true}) {
        QObject receiver;
        std::optional<TJobOutcome<int>> got;
        std::thread::id deliveredOn;
        std::unique_ptr<TJob> job;
        job = std::make_unique<TJob>(
            [throws](const TJob::TProgress& progress, const TJob::TCancel&) {
                progress(0.5);
                return throws ? throw std::runtime_error("disk on fire") : 42;
            },
            &receiver,
            [&](TJobOutcome<int> outcome) {
                deliveredOn = std::this_thread::get_id();
                got = std::move(outcome);
                job.reset(); // the handler may end the job
            });
        ASSERT_TRUE(QTest::qWaitFor([&] { return got.has_value(); }, 10000));
        EXPECT_EQ(deliveredOn, std::this_thread::get_id());
        EXPECT_EQ(got->result.has_value(), !throws);
        EXPECT_EQ(got->error, throws ? "disk on fire" : "");
        EXPECT_FALSE(job);
    }
}

// Destroying a running job stops the work, waits for it, and delivers nothing afterwards.
TEST(BackgroundJob, DestroyingCancelsWaitsAndDeliversNothing) {
    QObject receiver;
    bool delivered = false;
    std::atomic<bool> started{false};
    auto job = std::make_unique<TJob>(
        [&started](const TJob::TProgress&, const TJob::TCancel& cancel) {
            started = true;
            while (!cancel())
                std::this_thread::yield();
            return 1;
        },
        &receiver, [&](TJobOutcome<int>) { delivered = true; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return started.load(); }, 10000));
    job.reset();
    QTest::qWait(50);
    EXPECT_FALSE(delivered);
}

} // namespace
