// TBackgroundJob: one piece of long work (learning, rendering, recording) on a thread of its own,
// so the window stays responsive. The work is handed a progress callback (0 .. 1) and a cancel
// query; they are all it shares with the window's thread while it runs. When it returns, or
// throws, the outcome goes to `finished` on the thread that made the job, through that thread's
// event loop, provided the job and `receiver` still exist then. Destroying the job cancels the
// work and waits for its thread. Every member is for the thread that made the job.
#pragma once

#include <QMetaObject>
#include <QObject>

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>

template <class R> struct TJobOutcome {
    std::optional<R> result; // what the work returned; empty when it threw
    std::string error;       // what it threw, when it did
};

template <class R> class TBackgroundJob {
public:
    using TProgress = std::function<void(double fraction)>;
    using TCancel = std::function<bool()>;
    using TWork = std::function<R(const TProgress& progress, const TCancel& cancel)>;
    // May destroy the job.
    using TFinished = std::function<void(TJobOutcome<R> outcome)>;

    // Starts `work` at once. receiver: an object of the calling thread that outlives the job
    // (its owner); should it go first, `finished` is not called.
    TBackgroundJob(TWork work, QObject* receiver, TFinished finished)
        : shared(std::make_shared<TShared>()), onFinished(std::move(finished)) {
        shared->job = this;
        thread = std::thread([s = shared, work = std::move(work), receiver] {
            TJobOutcome<R> outcome;
            try {
                outcome.result.emplace(work([&s](double fraction) { s->progress = fraction; },
                                            [&s] { return s->cancelled.load(); }));
            } catch (const std::exception& e) {
                outcome.error = e.what();
            } catch (...) {
                outcome.error = "an unknown error";
            }
            s->outcome = std::move(outcome);
            s->over = true;
            QMetaObject::invokeMethod(
                receiver,
                [weak = std::weak_ptr<TShared>(s)] {
                    if (const auto alive = weak.lock())
                        alive->job->deliver();
                },
                Qt::QueuedConnection);
        });
    }
    ~TBackgroundJob() {
        cancel();
        if (thread.joinable())
            thread.join();
    }
    TBackgroundJob(const TBackgroundJob&) = delete;
    TBackgroundJob& operator=(const TBackgroundJob&) = delete;

    // Asks the work to stop; it ends when it next asks.
    void cancel() { shared->cancelled = true; }
    // The fraction done that the work last reported, 0 .. 1.
    double progress() const { return shared->progress; }
    // The work has returned or thrown (`finished` may still be on its way).
    bool over() const { return shared->over; }

private:
    struct TShared {
        TBackgroundJob* job = nullptr;
        std::atomic<double> progress{0};
        std::atomic<bool> cancelled{false};
        std::atomic<bool> over{false};
        TJobOutcome<R> outcome; // written by the work's thread before `over`, read after the join
    };

    void deliver() {
        thread.join();
        // Taken out first: the call may destroy the job.
        const TFinished finished = std::move(onFinished);
        TJobOutcome<R> outcome = std::move(shared->outcome);
        if (finished)
            finished(std::move(outcome));
    }

    std::shared_ptr<TShared> shared;
    TFinished onFinished;
    std::thread thread;
};
