// The least a program built like this one takes: Qt's event loop (built with QV_FLOOR_WINDOW,
// also a main window with a table and a notification-area icon) and, when a URL is given, one
// HTTP POST through the program's own transfer client, which loads libcurl and the libraries
// behind it. bench/footprint.py measures it beside the program, as the floor under its figures;
// with --once it ends after the reply, and forwarding_bench times it beside `quorvane-cli send`.
//
//     footprint_floor [URL [--once]]
//     footprint_floor_window [URL]

#ifdef QV_FLOOR_WINDOW
#include <QApplication>
#include <QMainWindow>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTableView>
#else
#include <QCoreApplication>
#endif

#include <cstring>
#include <memory>

#include "platform/Transfer.h"

int main(int argc, char** argv) {
#ifdef QV_FLOOR_WINDOW
    QApplication app(argc, argv);
    QMainWindow frame;
    frame.setCentralWidget(new QTableView);
    frame.show();
    QSystemTrayIcon tray(frame.style()->standardIcon(QStyle::SP_ComputerIcon));
    tray.show();
#else
    QCoreApplication app(argc, argv);
#endif
    std::unique_ptr<qv::CurlTransfer> transfer;
    if (argc > 1) {
        const bool once = argc > 2 && std::strcmp(argv[2], "--once") == 0;
        transfer = std::make_unique<qv::CurlTransfer>("footprint_floor");
        transfer->Post({QByteArray(argv[1]), {}, {}, {}}, [once](const qv::HttpReply& reply) {
            if (once) {
                QCoreApplication::exit(reply.status.Ok() ? 0 : 1);
            }
        });
    }
    return app.exec();
}
