// The change notification a bound control sends to its window: a synchronous custom event whose
// type is the message number (1124 in this program, a valid user event number) and which carries
// two parameters, a notification code and a second value (0 for every binding here).
#pragma once

#include <QEvent>

#include <cstdint>

class QObject;

class TNotifyEvent : public QEvent {
public:
    TNotifyEvent(std::uint32_t msg, std::uint32_t wParam, std::int32_t lParam)
        : QEvent(QEvent::Type(msg)), wParam(wParam), lParam(lParam) {}

    const std::uint32_t wParam; // first parameter: the notification code
    const std::int32_t lParam;  // second parameter
};

// Message number of the change notification in this program: first user message 1024, plus 100.
constexpr std::uint32_t paramChangedMessage = 1124;

// Delivers the notification to `wnd` and returns after it was handled. Does nothing for a null `wnd`.
void sendNotify(QObject* wnd, std::uint32_t msg, std::uint32_t wParam, std::int32_t lParam);

// The part of a bound control that sends its change notification: receiver and contents.
class TNotifySender {
public:
    // Receiver and contents of the change notification; a null window sends nothing.
    void setNotifyParent(QObject* wnd, std::uint32_t msg, std::uint32_t wParam, long lParam);
    // Sends the notification synchronously: returns after the window has handled it.
    void notifyParent();

    QObject* notifyWnd = nullptr;
    std::uint32_t notifyMsg = 0;
    std::uint32_t notifyWParam = 0;
    std::int32_t notifyLParam = 0;
};
