// One application for every test of the main window, with the program's top-level error handling.
#include <gtest/gtest.h>

#include "terminal/ErrorReporting.h"

namespace {

class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "talvane_main_test";
        static char* argv[] = {name, nullptr};
        app_ = new talvane::TalvaneApplication(argc, argv);
    }
    void TearDown() override {
        delete app_;
        app_ = nullptr;
    }

private:
    talvane::TalvaneApplication* app_ = nullptr;
};

[[maybe_unused]] auto* const environment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace
