#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/program_paths.h"
#include "platform/sqlite_settings_backend.h"
#include "settings/settings_store.h"
#include "support/temp_home.h"

namespace sonaro::test {

// A fresh temporary home with the settings database where the program keeps it and a store over
// it: what a test of code that reads or writes settings starts from.
struct SettingsHome {
    TempHome home;
    ProgramPaths paths = ProgramPaths::FromEnvironment();
    SqliteSettingsBackend backend{paths.userRegistry, paths.machineRegistry};
    SettingsStore settings{backend};

    const std::string& path() const { return home.path(); }
};

// SettingsHome as a GoogleTest fixture.
class SettingsTest : public testing::Test {
  protected:
    SettingsHome m_home;
    const std::string& m_dir = m_home.path();
    SettingsStore& m_settings = m_home.settings;
};

}  // namespace sonaro::test
