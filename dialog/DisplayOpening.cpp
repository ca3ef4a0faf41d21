#include "dialog/DisplayOpening.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace tamboro {

namespace {

constexpr const char* kDisplayVariables[] = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};

struct HeldMessage {
    QtMsgType type;
    QByteArray category;
    QString text;
};

// The handler's state: set while a DisplayOpening lives.
std::mutex s_mutex;
QtMessageHandler s_previous = nullptr;
std::vector<HeldMessage> s_held;

void HoldMessage(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    // Qt's last word when no platform plugin could be started is a fatal
    // message, after which it aborts.
    if (type == QtFatalMsg && text.contains(QStringLiteral("platform plugin"))) {
        std::fputs(NoDisplayMessage().c_str(), stderr);
        std::fflush(stderr);
        std::_Exit(1);
    }
    std::unique_lock lock(s_mutex);
    if (type == QtFatalMsg) {
        const QtMessageHandler previous = s_previous;
        lock.unlock();
        previous(type, context, text);
        return;
    }
    s_held.push_back({type, QByteArray(context.category != nullptr ? context.category : "default"), text});
}

}  // namespace

bool DisplayNamed()
{
    for (const char* name : kDisplayVariables) {
        const char* value = std::getenv(name);
        if (value != nullptr && value[0] != '\0')
            return true;
    }
    return false;
}

std::string NoDisplayMessage()
{
    std::string tried;
    for (const char* name : kDisplayVariables) {
        const char* value = std::getenv(name);
        if (value == nullptr || value[0] == '\0')
            continue;
        tried += tried.empty() ? "" : " ";
        tried += std::string(name) + "=" + value;
    }
    const std::string reason =
        tried.empty() ? "DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM are unset" : "none opens with " + tried;
    return "tamboro: no display to show the window on (" + reason + ")\n";
}

DisplayOpening::DisplayOpening()
{
    std::lock_guard lock(s_mutex);
    s_held.clear();
    s_previous = qInstallMessageHandler(HoldMessage);
}

DisplayOpening::~DisplayOpening()
{
    Done();
}

void DisplayOpening::Done()
{
    if (m_bDone)
        return;
    m_bDone = true;
    std::vector<HeldMessage> held;
    QtMessageHandler previous;
    {
        std::lock_guard lock(s_mutex);
        qInstallMessageHandler(s_previous);
        previous = s_previous;
        held.swap(s_held);
    }
    for (const HeldMessage& message : held) {
        const QMessageLogContext context(nullptr, 0, nullptr, message.category.constData());
        previous(message.type, context, message.text);
    }
}

}  // namespace tamboro
