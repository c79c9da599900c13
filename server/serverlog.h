#pragma once

#include <QLoggingCategory>

// Everything the registration-server client logs: requests, answers, refusals and transport failures.
Q_DECLARE_LOGGING_CATEGORY(lcServer)
