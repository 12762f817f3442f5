#include "platform/Clock.h"

namespace qv {

IClock& DefaultClock() {
    static SystemClock clock;
    return clock;
}

QString FormatTimeStamp(const QDateTime& when) {
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const QDate d = when.date();
    const QTime t = when.time();
    int hour12 = t.hour() % 12;
    if (hour12 == 0) {
        hour12 = 12;
    }
    return QString::asprintf("  %s %02d, %04d,  %02d:%02d:%02d %s", kMonths[(d.month() + 11) % 12],
                             d.day(), d.year(), hour12, t.minute(), t.second(),
                             t.hour() < 12 ? "AM" : "PM");
}

}  // namespace qv
