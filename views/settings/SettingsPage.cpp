#include "views/settings/SettingsPage.h"

#include <QHelpEvent>

#include "resources/StringTable.h"

namespace qv {

SettingsPage::SettingsPage(IPaneLink& link, Commands commands, QWidget* parent)
    : QWidget(parent), m_link(link), m_commands(commands) {}

void SettingsPage::InitPage() {
    Post(m_commands.fill);
}

void SettingsPage::OnSetActive() {
    Post(m_commands.help);
}

void SettingsPage::PostTake() {
    if (!IsFilling()) {
        Post(m_commands.take);
    }
}

void SettingsPage::RegisterControl(QWidget* control, int id) {
    control->setObjectName(QStringLiteral("ctl%1").arg(id));
    control->setProperty(kControlIdProperty, id);
    control->installEventFilter(this);
}

bool SettingsPage::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* control = qobject_cast<QWidget*>(watched);
        const QVariant id = watched->property(kControlIdProperty);
        if (control && id.isValid()) {
            m_link.RequestControlTip(control, id.toInt(),
                                     static_cast<QHelpEvent*>(event)->globalPos());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

int SettingsPage::PageMargin() const {
    return qMax(4, fontMetrics().height() / 2);
}

QString MessageCaption() {
    return LoadString(Text::AppTitle);
}

}  // namespace qv
