#include "enginelog.h"

Q_LOGGING_CATEGORY(lcEngine, "iot.engine")
