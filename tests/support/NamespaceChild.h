#pragma once

// A test that runs itself again inside private network namespaces, where it may build links and
// run servers of its own. Needs only QtCore and GoogleTest.
#include <gtest/gtest.h>

#include <unistd.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <cstdlib>
#include <string>

namespace qv::test {

inline const char* const kChildVariable = "QV_NETNS_CHILD";

inline bool Sh(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

// In the parent: runs the current test again in a child inside private namespaces and reports
// its outcome; *inside stays false. In the child: *inside is true and the test goes on.
inline void RunInPrivateNamespaces(bool* inside) {
    *inside = std::getenv(kChildVariable) != nullptr;
    if (*inside) {
        return;
    }
    if (QProcess::execute("ip", {"-V"}) != 0) {
        GTEST_SKIP() << "iproute2 ('ip') is not installed";
    }
    QStringList unshare;
    for (const QStringList& args :
         {QStringList{"-m", "-n", "-u"}, QStringList{"-r", "-m", "-n", "-u"}}) {
        if (QProcess::execute("unshare", args + QStringList{"true"}) == 0) {
            unshare = args;
            break;
        }
    }
    if (unshare.isEmpty()) {
        GTEST_SKIP() << "private namespaces are not allowed here (unshare -m -n -u failed)";
    }
    char self[4096] = {};
    ASSERT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();

    QProcess child;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert(kChildVariable, "1");
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start("unshare",
                unshare + QStringList{self, QStringLiteral("--gtest_filter=%1.%2")
                                                .arg(test->test_suite_name(), test->name())});
    ASSERT_TRUE(child.waitForFinished(120000));
    const QByteArray out = child.readAll();
    if (out.contains("[  SKIPPED ]")) {
        GTEST_SKIP() << "skipped inside the namespace:\n" << out.toStdString();
    }
    EXPECT_EQ(child.exitCode(), 0) << out.toStdString();
    EXPECT_TRUE(out.contains("[  PASSED  ] 1 test")) << out.toStdString();
}

}  // namespace qv::test
