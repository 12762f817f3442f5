#include "resources/Icons.h"

#include <QString>

// Registers the compiled-in images (the resource file of a static library has to be pulled in
// by name).
static void RegisterIcons() {
    static const bool done = [] {
        Q_INIT_RESOURCE(icons);
        return true;
    }();
    (void)done;
}

namespace qv {
namespace {

QIcon FromSizes(const char* stem, std::initializer_list<int> sizes) {
    RegisterIcons();
    QIcon icon;
    for (int size : sizes) {
        icon.addFile(
            QStringLiteral(":/icons/icons/png/%1-%2.png").arg(QLatin1String(stem)).arg(size),
            QSize(size, size));
    }
    return icon;
}

}  // namespace

QIcon AppIcon() {
    return FromSizes("quorvane", {16, 22, 24, 32, 48, 64, 128, 256});
}

QIcon TrayIconImage() {
    return FromSizes("quorvane-tray", {16, 22, 24, 32, 48});
}

}  // namespace qv
