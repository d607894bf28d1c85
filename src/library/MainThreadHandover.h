#pragma once
// A way for worker threads to hand results to one object on the main thread that may be
// destroyed meanwhile. A worker calls post() with a function; it runs later on the main thread,
// in posting order, unless the receiver is gone by then (then it is dropped). The receiver calls
// detach() in its destructor; post() returns false from then on, which also tells the worker to
// stop early.
#include <QMetaObject>
#include <QObject>

#include <functional>
#include <memory>
#include <mutex>

namespace qv::library {

class MainThreadHandover {
public:
    static std::shared_ptr<MainThreadHandover> create(QObject* receiver) {
        return std::shared_ptr<MainThreadHandover>(new MainThreadHandover(receiver));
    }

    bool post(std::function<void()> work) {
        std::lock_guard lock(mutex_);
        if (!receiver_) {
            ++refused_;
            return false;
        }
        // Queued events of one sender thread to one receiver keep their order; a receiver
        // destroyed before they run takes its pending events with it.
        QMetaObject::invokeMethod(receiver_, std::move(work), Qt::QueuedConnection);
        ++handed_;
        return true;
    }

    bool alive() {
        std::lock_guard lock(mutex_);
        return receiver_ != nullptr;
    }

    void detach() {
        std::lock_guard lock(mutex_);
        receiver_ = nullptr;
    }

    // How many posts came after detach() and were refused.
    int refused() {
        std::lock_guard lock(mutex_);
        return refused_;
    }

    // How many posts were taken before detach().
    int handed() {
        std::lock_guard lock(mutex_);
        return handed_;
    }

private:
    explicit MainThreadHandover(QObject* receiver) : receiver_(receiver) {}
    std::mutex mutex_;
    QObject* receiver_;
    int refused_ = 0;
    int handed_ = 0;
};

}  // namespace qv::library
