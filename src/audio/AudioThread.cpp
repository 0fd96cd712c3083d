#include "audio/AudioThread.h"

#include <QObject>
#include <QThread>

QObject* startAudioThread(QThread& thread, const QString& name) {
    auto* context = new QObject;
    context->moveToThread(&thread);
    QObject::connect(&thread, &QThread::finished, context, &QObject::deleteLater);
    thread.setObjectName(name);
    thread.start(QThread::TimeCriticalPriority);
    return context;
}

void stopAudioThread(QThread& thread) {
    thread.quit();
    thread.wait();
}
