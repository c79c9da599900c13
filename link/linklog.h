#pragma once

#include <QLoggingCategory>

// Diagnostics of the serial link and its commands. Enabled at every level by default, so the lines show as
// they always did; QT_LOGGING_RULES="iot.link.debug=false" quiets the debug ones.
Q_DECLARE_LOGGING_CATEGORY(lcLink)
