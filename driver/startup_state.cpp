#include "driver/startup_state.h"

StartupState g_startup;
