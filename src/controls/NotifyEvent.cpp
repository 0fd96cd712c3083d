#include "controls/NotifyEvent.h"

#include <QCoreApplication>

void sendNotify(QObject* wnd, std::uint32_t msg, std::uint32_t wParam, std::int32_t lParam) {
    if (wnd == nullptr)
        return;
    TNotifyEvent event(msg, wParam, lParam);
    QCoreApplication::sendEvent(wnd, &event);
}
