#include "shell/DisplayLoss.h"

#include <QGuiApplication>
#include <QThread>

#include <xcb/xcb.h>

namespace qv {
namespace {

QtMessageHandler g_previous = nullptr;
std::function<void()>* g_onLost = nullptr;

void OnMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (g_previous) {
        g_previous(type, context, text);
    }
    // Qt reports the broken connection on the main thread and ends the process right after.
    if (g_onLost && *g_onLost && QThread::currentThread() == qApp->thread() &&
        DisplayLoss::ConnectionBroken()) {
        const std::function<void()> onLost = std::move(*g_onLost);
        *g_onLost = nullptr;
        onLost();
    }
}

}  // namespace

DisplayLoss::DisplayLoss(std::function<void()> onLost) {
    if (g_onLost) {
        qWarning("Quorvane: the display connection is already being watched");
        return;
    }
    g_onLost = new std::function<void()>(std::move(onLost));
    g_previous = qInstallMessageHandler(OnMessage);
    m_installed = true;
}

DisplayLoss::~DisplayLoss() {
    if (!m_installed) {
        return;
    }
    qInstallMessageHandler(g_previous);
    g_previous = nullptr;
    delete g_onLost;
    g_onLost = nullptr;
}

bool DisplayLoss::ConnectionBroken() {
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    auto* x11 = app ? app->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 && x11->connection() && xcb_connection_has_error(x11->connection()) != 0;
}

}  // namespace qv
