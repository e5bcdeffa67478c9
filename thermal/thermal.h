#pragma once

// The thermal model: device temperatures from powers, the DC settle test, the transient
// restart time and the end of the next transient window.
#include "thermal/dc_temperatures.h"
#include "thermal/restart_time.h"
#include "thermal/transient_temperatures.h"
#include "thermal/window_end.h"
