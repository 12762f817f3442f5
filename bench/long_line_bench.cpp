// Times how long a host reply without line breaks takes to appear in the Output Data window, and
// a line of the same length in the control pane's output box, for 64 KiB, 256 KiB and 1 MiB (the
// reply cap). Each size is shown next to a reply of the same size in 80-character lines, measured
// in the same run; the ratio says what the missing line breaks cost.
//
// Build and run (not part of ctest):
//     cmake --build build --target long_line_bench
//     QT_QPA_PLATFORM=offscreen build/tests/views/long_line_bench [KiB...]

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QSettings>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "views/ControlPane.h"
#include "views/OutputDataDialog.h"

namespace {

// No blank either: nothing where a line could be broken at a word.
QString OneLine(qsizetype size) {
    QString text(size, QLatin1Char('x'));
    for (qsizetype i = 0; i < size; i += 7) {
        text[i] = QLatin1Char('0' + i % 10);
    }
    return text;
}

QString ShortLines(qsizetype size) {
    QString text = OneLine(size);
    for (qsizetype i = 79; i < text.size(); i += 80) {
        text[i] = QLatin1Char('\n');
    }
    return text;
}

// Milliseconds from asking for the window until it has been shown and painted once.
double TimeDialog(const QString& text, QSettings* settings) {
    QElapsedTimer timer;
    timer.start();
    qv::OutputDataDialog dialog(nullptr, QStringLiteral("bench"), settings);
    dialog.m_outputText = text;
    QTimer::singleShot(0, &dialog, [&dialog] {
        dialog.repaint();
        dialog.reject();
    });
    dialog.exec();
    return timer.nsecsElapsed() / 1e6;
}

double TimePane(const QString& text) {
    qv::ControlPane pane;
    pane.resize(800, 400);
    pane.show();
    QElapsedTimer timer;
    timer.start();
    pane.ShowOutput(QStringLiteral("Host reply:"), false, false);
    pane.ShowOutput(text, true, false);
    QCoreApplication::processEvents();
    return timer.nsecsElapsed() / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QSettings settings(QStringLiteral("/dev/null"), QSettings::IniFormat);
    std::printf("%-9s %14s %14s %8s %14s %14s %8s\n", "size", "dialog 1 line", "dialog lines",
                "ratio", "pane 1 line", "pane lines", "ratio");
    std::vector<qsizetype> sizes = {qsizetype(64) << 10, qsizetype(256) << 10, qsizetype(1) << 20};
    if (argc > 1) {
        sizes.clear();
        for (int i = 1; i < argc; ++i) {
            sizes.push_back(qsizetype(std::atoll(argv[i])) << 10);
        }
    }
    for (const qsizetype size : sizes) {
        const double dialogLong = TimeDialog(OneLine(size), &settings);
        const double dialogShort = TimeDialog(ShortLines(size), &settings);
        const double paneLong = TimePane(OneLine(size));
        const double paneShort = TimePane(ShortLines(size));
        std::printf("%6lld KiB %11.1f ms %11.1f ms %8.2f %11.1f ms %11.1f ms %8.2f\n",
                    static_cast<long long>(size >> 10), dialogLong, dialogShort,
                    dialogLong / dialogShort, paneLong, paneShort, paneLong / paneShort);
    }
    return 0;
}
