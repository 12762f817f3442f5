#include "shell/AboutDialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "resources/Icons.h"
#include "resources/StringTable.h"

namespace qv {

QString AboutDialog::VersionText() {
    return QStringLiteral("Version %1").arg(QLatin1String(QV_VERSION));
}

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    const QString title = LoadString(Text::AppTitle);
    setWindowTitle(QStringLiteral("About %1").arg(title));

    auto* icon = new QLabel;
    icon->setPixmap(AppIcon().pixmap(64, 64));
    icon->setAlignment(Qt::AlignTop);

    auto* name = new QLabel(QStringLiteral("<b style=\"font-size:large\">%1</b>").arg(title));
    auto* version = new QLabel(VersionText());
    auto* what = new QLabel(
        QStringLiteral("Lists the IP addresses of this machine, watches the one you tick, and "
                       "forwards it to your web host by HTTP or FTP whenever it changes, so "
                       "that a server at home can be found through a fixed web page: a "
                       "do-it-yourself dynamic DNS. When it shuts down, it tells the host that "
                       "the machine is going off line."));
    what->setWordWrap(true);
    what->setMinimumWidth(320);
    auto* maker = new QLabel(QStringLiteral("Calvort"));

    auto* text = new QVBoxLayout;
    text->addWidget(name);
    text->addWidget(version);
    text->addSpacing(8);
    text->addWidget(what);
    text->addSpacing(8);
    text->addWidget(maker);

    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addSpacing(12);
    top->addLayout(text, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);
}

}  // namespace qv
