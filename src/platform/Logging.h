#pragma once

#include <QLoggingCategory>

// One category per subsystem; enable with QT_LOGGING_RULES="kartovo.db.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcApp)
Q_DECLARE_LOGGING_CATEGORY(lcDb)
Q_DECLARE_LOGGING_CATEGORY(lcAcquisition)
Q_DECLARE_LOGGING_CATEGORY(lcImaging)
Q_DECLARE_LOGGING_CATEGORY(lcRecognition)
Q_DECLARE_LOGGING_CATEGORY(lcReading)
Q_DECLARE_LOGGING_CATEGORY(lcEvaluation)
Q_DECLARE_LOGGING_CATEGORY(lcDialogs)
Q_DECLARE_LOGGING_CATEGORY(lcPlatform)
