// The one start-up state of the process (see startup_state.h).
#include "base/startup_state.h"

StartupState g_startup;
