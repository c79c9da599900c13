#include "serverlog.h"

Q_LOGGING_CATEGORY(lcServer, "iot.server")
