#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTemporaryDir>

#include <cstdlib>
#include <memory>

namespace qv {
namespace {

// The watcher needs no widgets: its tests run under a QCoreApplication, with the configuration
// and data folders in a temporary folder so that no test touches the user's files.
class CoreEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        m_home = std::make_unique<QTemporaryDir>();
        setenv("XDG_CONFIG_HOME", qPrintable(m_home->path() + "/config"), 1);
        setenv("XDG_DATA_HOME", qPrintable(m_home->path() + "/data"), 1);
        static int argc = 1;
        static char name[] = "watch_tests";
        static char* argv[] = {name, nullptr};
        m_app = std::make_unique<QCoreApplication>(argc, argv);
    }
    void TearDown() override {
        m_app.reset();
        m_home.reset();
    }

  private:
    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<QCoreApplication> m_app;
};

::testing::Environment* const g_core = ::testing::AddGlobalTestEnvironment(new CoreEnvironment);

}  // namespace
}  // namespace qv
