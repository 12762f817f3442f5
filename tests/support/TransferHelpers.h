#pragma once

#include <QByteArray>
#include <QList>

namespace qv::test {

// The running transfer helpers whose environment holds `entry` ("NAME=value"): the helpers of one
// test's programs, when the test gave them a variable of their own.
QList<int> TransferHelpersWith(const QByteArray& entry);

}  // namespace qv::test
