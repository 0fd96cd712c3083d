#include "controls/NotifyEvent.h"

#include <QCoreApplication>

void TNotifySender::setNotifyParent(QObject* wnd, std::uint32_t msg, std::uint32_t wParam, long lParam) {
    notifyWnd = wnd;
    notifyMsg = msg;
    notifyWParam = wParam;
    notifyLParam = static_cast<std::int32_t>(lParam);
}

void TNotifySender::notifyParent() {
    sendNotify(notifyWnd, notifyMsg, notifyWParam, notifyLParam);
}

void sendNotify(QObject* wnd, std::uint32_t msg, std::uint32_t wParam, std::int32_t lParam) {
    if (wnd == nullptr)
        return;
    TNotifyEvent event(msg, wParam, lParam);
    QCoreApplication::sendEvent(wnd, &event);
}
