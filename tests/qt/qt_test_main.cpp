// Runs one suite of the window's tests: rules, form, program, status or locale.

#include "qt_support.h"

namespace melvorin::uitest {
std::unique_ptr<QObject> MakeRulesTests();
std::unique_ptr<QObject> MakeFormTests();
std::unique_ptr<QObject> MakeProgramTests();
std::unique_ptr<QObject> MakeStatusTests();
std::unique_ptr<QObject> MakeLocaleTests();
}  // namespace melvorin::uitest

int main(int argc, char* argv[]) {
    using namespace melvorin::uitest;
    return melvorin::testing::RunQtSuite(
        argc, argv, {{"rules", MakeRulesTests}, {"form", MakeFormTests}, {"program", MakeProgramTests},
                          {"status", MakeStatusTests}, {"locale", MakeLocaleTests}});
}
