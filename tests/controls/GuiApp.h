// A QApplication for the whole GUI test binary (offscreen platform, set by the test runner).
#pragma once

#include <QApplication>
#include <gtest/gtest.h>

#include <ostream>

class GuiAppEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "gui-test";
        static char* argv[] = {name, nullptr};
        if (QApplication::instance() == nullptr)
            app = new QApplication(argc, argv);
    }
    void TearDown() override {
        delete app;
        app = nullptr;
    }

private:
    QApplication* app = nullptr;
};

inline ::testing::Environment* const guiAppEnvironment =
    ::testing::AddGlobalTestEnvironment(new GuiAppEnvironment);

// Readable QString values in test failure messages.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
