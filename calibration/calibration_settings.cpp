#include "calibration/calibration_settings.h"

std::atomic<bool> optimizationStopped{false};
