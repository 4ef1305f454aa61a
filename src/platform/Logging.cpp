#include "platform/Logging.h"

Q_LOGGING_CATEGORY(lcApp, "kartovo.app", QtInfoMsg)
Q_LOGGING_CATEGORY(lcDb, "kartovo.db", QtInfoMsg)
Q_LOGGING_CATEGORY(lcAcquisition, "kartovo.acquisition", QtInfoMsg)
Q_LOGGING_CATEGORY(lcImaging, "kartovo.imaging", QtInfoMsg)
Q_LOGGING_CATEGORY(lcRecognition, "kartovo.recognition", QtInfoMsg)
Q_LOGGING_CATEGORY(lcReading, "kartovo.reading", QtInfoMsg)
Q_LOGGING_CATEGORY(lcEvaluation, "kartovo.evaluation", QtInfoMsg)
Q_LOGGING_CATEGORY(lcDialogs, "kartovo.dialogs", QtInfoMsg)
Q_LOGGING_CATEGORY(lcPlatform, "kartovo.platform", QtInfoMsg)
