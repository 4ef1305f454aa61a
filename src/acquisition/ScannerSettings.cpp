#include "acquisition/ScannerSettings.h"

#include "platform/Logging.h"
#include "platform/SettingsStore.h"

namespace kartovo {

ScanSettings ScanSettingsFromStore(const SettingsStore& store) {
    ScanSettings settings;
    settings.device = store.read(kScannerSection, kScannerKey).trimmed();
    const int resolution = store.integer(kScannerSection, kResolutionKey);
    settings.resolution = resolution > 0 ? resolution : kDefaultResolution;
    settings.mode = QStringLiteral("Color");
    return settings;
}

void RememberScanner(SettingsStore& store, const QString& deviceName) {
    store.write(kScannerSection, kScannerKey, deviceName);
    if (!store.sync()) qCWarning(lcAcquisition) << "The chosen scanner could not be stored";
    qCInfo(lcAcquisition) << "Scanner chosen:" << deviceName;
}

} // namespace kartovo
