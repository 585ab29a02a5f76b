// One application for every window test; GoogleTest's own main runs the cases. Like the program's
// own, the application reports an error thrown from an event handler instead of ending; the tests
// read what it caught.
#include <gtest/gtest.h>

#include <QApplication>
#include <exception>

#include "terminal/dialogs/tests/DialogTestSupport.h"

namespace {

class ReportingApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& error) {
            RaisedErrors().emplace_back(error.what());
        }
        return false;
    }
};

class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "talvane_dialogs_test";
        static char* argv[] = {name, nullptr};
        app_ = new ReportingApplication(argc, argv);
    }
    void TearDown() override {
        delete app_;
        app_ = nullptr;
    }

private:
    QApplication* app_ = nullptr;
};

[[maybe_unused]] auto* const environment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace

std::vector<std::string>& RaisedErrors() {
    static std::vector<std::string> errors;
    return errors;
}
