#include "ViewsTestSupport.h"

#include <QFile>

#include <cstdlib>

#include "settings/SettingsRecord.h"

namespace qv::test {
namespace {

QTemporaryDir* g_home = nullptr;

// One QApplication for the program, with its configuration and data folders in a temporary
// folder so that no test touches the user's files.
class QtEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        g_home = new QTemporaryDir;
        setenv("XDG_CONFIG_HOME", qPrintable(g_home->path() + "/config"), 1);
        setenv("XDG_DATA_HOME", qPrintable(g_home->path() + "/data"), 1);
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static int argc = 1;
        static char name[] = "views_tests";
        static char* argv[] = {name, nullptr};
        m_app = new QApplication(argc, argv);
    }
    void TearDown() override {
        delete m_app;
        delete g_home;
    }

  private:
    QApplication* m_app = nullptr;
};

const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace

QString TestHome() {
    return g_home->path();
}

void RemoveSettingsFile() {
    QFile::remove(SettingsFilePath());
}

}  // namespace qv::test
