#pragma once

#include <QDateTime>
#include <QString>

namespace qv {

// Source of the local time; tests replace it to get fixed time stamps.
class IClock {
  public:
    virtual ~IClock() = default;
    virtual QDateTime Now() const = 0;
};

class SystemClock : public IClock {
  public:
    QDateTime Now() const override { return QDateTime::currentDateTime(); }
};

// The clock every component uses unless it is handed another one.
IClock& DefaultClock();

// "  Mar 05, 2026,  07:04:09 PM": two leading blanks, English month whatever the locale.
QString FormatTimeStamp(const QDateTime& when);
inline QString TimeStamp(const IClock& clock = DefaultClock()) {
    return FormatTimeStamp(clock.Now());
}

// Line break of the program's multi-line boxes.
inline constexpr const char* kBreak = "\r\r\n";

}  // namespace qv
