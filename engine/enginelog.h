#pragma once

#include <QLoggingCategory>

// "iot.engine": the commissioning workflow's decisions (QT_LOGGING_RULES="iot.engine.debug=true").
Q_DECLARE_LOGGING_CATEGORY(lcEngine)
