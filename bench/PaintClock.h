// The benches' clock of a widget's repaints: installed as an event filter, it
// records every paint and keeps the longest gap between two of them.
#pragma once

#include <QElapsedTimer>
#include <QEvent>
#include <QObject>

#include <functional>

class PaintClock : public QObject {
public:
    QElapsedTimer clock; // started by the bench when its measure begins
    qint64 last = -1;
    qint64 longestGap = 0;
    qint64 gapEnd = 0; // when the longest gap ended, from the start
    int paints = 0;
    // Told every gap, for a bench that splits them by what was under way.
    std::function<void(qint64 gap)> eachGap;

    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            const qint64 t = clock.elapsed();
            if (last >= 0) {
                if (t - last > longestGap) {
                    longestGap = t - last;
                    gapEnd = t;
                }
                if (eachGap)
                    eachGap(t - last);
            }
            last = t;
            ++paints;
        }
        return false;
    }
};
