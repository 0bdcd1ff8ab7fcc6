#pragma once

#include <QObject>
#include <functional>

#include "job/worker.h"

// Posts a worker's calls into a window's event queue: they run on the window's thread, in
// order, and are dropped when the window is gone.
class WindowPoster : public zok::WorkPoster {
public:
    explicit WindowPoster(QObject& receiver) : m_receiver(receiver) {}
    void PostToWindow(std::function<void()> call) override {
        QMetaObject::invokeMethod(&m_receiver, std::move(call), Qt::QueuedConnection);
    }

private:
    QObject& m_receiver;
};
