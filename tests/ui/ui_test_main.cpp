// Runs one suite of the window's tests: rules, form or program. Refuses to
// run outside a private network namespace: the window broadcasts.

#include <QApplication>
#include <QTest>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "netns_guard.h"
#include "ui/app_title.h"
#include "ui/handover_pump.h"

namespace melvorin::uitest {
std::unique_ptr<QObject> MakeRulesTests();
std::unique_ptr<QObject> MakeFormTests();
std::unique_ptr<QObject> MakeProgramTests();
}  // namespace melvorin::uitest

int main(int argc, char* argv[]) {
    const std::string problem = melvorin::testing::PrivateNetnsProblem();
    if (!problem.empty()) {
        std::fprintf(stderr, "melvorin_ui_tests: refusing to run outside a private network namespace: %s\n",
                     problem.c_str());
        return 2;
    }
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s rules|form|program [QtTest options]\n", argv[0]);
        return 2;
    }
    QApplication app(argc, argv);
    melvorin::ui::SetApplicationTitle(QStringLiteral("Melvorin"));
    melvorin::ui::THandOverPump pump;

    std::unique_ptr<QObject> suite;
    if (std::strcmp(argv[1], "rules") == 0) {
        suite = melvorin::uitest::MakeRulesTests();
    } else if (std::strcmp(argv[1], "form") == 0) {
        suite = melvorin::uitest::MakeFormTests();
    } else if (std::strcmp(argv[1], "program") == 0) {
        suite = melvorin::uitest::MakeProgramTests();
    } else {
        std::fprintf(stderr, "unknown suite %s\n", argv[1]);
        return 2;
    }
    std::vector<char*> args{argv[0]};
    for (int i = 2; i < argc; ++i) {
        args.push_back(argv[i]);
    }
    return QTest::qExec(suite.get(), static_cast<int>(args.size()), args.data());
}
