// Must not compile: the layout table has no member named "lvSsdi" (the test
// window.UnknownMemberDoesNotCompile sees the compiler refuse it).
#include "window/layout.h"

int main() { return melvorin::window::PlaceOf("lvSsdi").top; }
