// Reports the moment a window's first frame has been painted and handed to
// the window system, with the process's peak memory then, and ends the
// process at once.
#pragma once

#include "BenchSupport.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>
#include <QObject>

#include <cstdio>
#include <cstdlib>

class FirstFrame : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !seen_) {
            seen_ = true;
            // The paint runs now and the frame is flushed when this event is
            // done; a queued call runs after both.
            QMetaObject::invokeMethod(
                this, [] { Report(); }, Qt::QueuedConnection);
        }
        return QObject::eventFilter(watched, event);
    }

    static void Mark(const char* key) {
        std::printf("%s=%lld\n", key, static_cast<long long>(bench::NowNs()));
    }

private:
    static void Report() {
        Mark("t_paint");
        std::printf("hwm_kb=%ld\n", bench::StatusKb("VmHWM"));
        std::fflush(stdout);
        std::_Exit(0);
    }
    bool seen_ = false;
};
