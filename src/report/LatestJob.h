#pragma once

#include <QFutureWatcher>
#include <QObject>
#include <QtConcurrent/QtConcurrentRun>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

#include "report/BackgroundPool.h"

// A count over the scan documents, run off the interface thread, of which
// only the latest asked for matters: one runs at a time, a request made
// meanwhile waits for it and replaces any other waiting, and the result of
// a run that a newer request overtook is dropped. A run can see that it was
// overtaken (Stale) and end early.
template <class Result>
class TLatestJob {
 public:
  // Tells a run whether a newer request has come.
  class Stale {
   public:
    Stale(std::shared_ptr<const std::atomic<unsigned>> latest, unsigned mine)
        : latest_(std::move(latest)), mine_(mine) {}
    bool operator()() const { return latest_->load(std::memory_order_relaxed) != mine_; }

   private:
    std::shared_ptr<const std::atomic<unsigned>> latest_;
    unsigned mine_;
  };
  // Runs on a pool thread: it may use only what it holds (documents by
  // shared_ptr), never the widgets.
  using Work = std::function<Result(const Stale& stale)>;

  // `apply` gets each result that is still the latest, on `context`'s thread.
  TLatestJob(QObject* context, std::function<void(Result)> apply)
      : context_(context), apply_(std::move(apply)) {}

  void Start(Work work) {
    pending_ = std::move(work);
    latest_->fetch_add(1, std::memory_order_relaxed);
    if (!running_) Run();
  }
  // Drops what runs or waits: no result comes until the next Start.
  void Cancel() {
    pending_.reset();
    latest_->fetch_add(1, std::memory_order_relaxed);
  }
  // A run is under way.
  bool Busy() const { return running_; }

 private:
  void Run() {
    running_ = true;
    const Stale stale(latest_, latest_->load(std::memory_order_relaxed));
    Work work = std::move(*pending_);
    pending_.reset();
    auto* watcher = new QFutureWatcher<Result>(context_);
    QObject::connect(watcher, &QFutureWatcherBase::finished, context_, [this, watcher, stale] {
      watcher->deleteLater();
      running_ = false;
      if (pending_) {
        Run();
      } else if (!stale()) {
        apply_(watcher->result());
      }
    });
    watcher->setFuture(QtConcurrent::run(&BackgroundPool(),
                                         [work = std::move(work), stale] { return work(stale); }));
  }

  QObject* context_;
  std::function<void(Result)> apply_;
  std::shared_ptr<std::atomic<unsigned>> latest_ = std::make_shared<std::atomic<unsigned>>(0);
  std::optional<Work> pending_;
  bool running_ = false;
};
