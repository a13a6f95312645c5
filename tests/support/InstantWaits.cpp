// Linked into every test program: the splash screen's hold passes in virtual time, so that no
// test waits the seconds the program waits. A test that looks at the hold installs a delay of
// its own over this one.
#include "platform/Delay.h"

namespace {

platform::InstantDelay g_instantWaits;

} // namespace
