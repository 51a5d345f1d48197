#include "shell/WaitWithMessages.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <thread>

void WaitWithMessages(int ms)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) {
        // No event loop to serve: a plain sleep is all a wait can be.
        if (ms > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        return;
    }
    QDeadlineTimer deadline(ms > 0 ? ms : 0, Qt::PreciseTimer);
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (QCoreApplication::closingDown() || deadline.hasExpired())
        return;
    QEventLoop loop;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    // Quitting the application ends every running event loop, this one included.
    QObject::connect(app, &QCoreApplication::aboutToQuit, &loop, &QEventLoop::quit);
    timer.start(static_cast<int>(deadline.remainingTime()));
    loop.exec();
}
