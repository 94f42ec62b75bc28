// Runs the window test classes: all of them, or one with --suite NAME. The offscreen
// platform is used unless another one is asked for.
#include <cstring>
#include <vector>

#include <QApplication>
#include <QtTest>

#include "gui_support.h"

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    const char* only = nullptr;
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--suite") == 0 && i + 1 < argc)
            only = argv[++i];
        else
            args.push_back(argv[i]);
    }
    int qtArgc = static_cast<int>(args.size());
    QApplication app(qtArgc, args.data());
    QApplication::setApplicationDisplayName(QString::fromLatin1(qf::kAppTitle));
    int failures = 0, ran = 0;
    for (const auto& suite : qf::test::guiSuites()) {
        if (only && std::strcmp(only, suite.name) != 0) continue;
        auto object = suite.make();
        failures += QTest::qExec(object.get(), qtArgc, args.data());
        ++ran;
    }
    if (ran == 0) {
        qWarning("no test suite named %s", only ? only : "(any)");
        return 1;
    }
    return failures == 0 ? 0 : 1;
}
