#include "app/HeadlessRead.h"

#include "reading/Measurements.h"

#include "app/CardPictures.h"
#include "app/CardPipeline.h"
#include "app/Startup.h"
#include "db/DatabaseStartup.h"
#include "db/DbSession.h"
#include "imaging/ImageFile.h"
#include "platform/Logging.h"
#include "platform/Messages.h"
#include "platform/SettingsStore.h"
#include "platform/WorkingFolder.h"
#include "reading/Measurements.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <cstdio>

namespace kartovo {

namespace {

QJsonValue IdOf(const Recordset& rows) {
    if (rows.eof() || rows.bof()) return QJsonValue::Null;
    const QVariant id = rows.value(QStringLiteral("ID"));
    if (id.isNull()) return QJsonValue::Null;
    bool ok = false;
    const qlonglong n = id.toLongLong(&ok);
    return ok ? QJsonValue(n) : QJsonValue(id.toString());
}

} // namespace

QJsonObject CardReport(const QString& file, const CardState& card) {
    QJsonObject o;
    o.insert(QStringLiteral("file"), file);
    o.insert(QStringLiteral("recognised"), card.DialogAccepted);
    QString message = card.Fault.isEmpty() ? card.Refusal : card.Fault;
    if (card.DialogAccepted) message.clear();
    o.insert(QStringLiteral("message"), JoinLines(message));
    o.insert(QStringLiteral("parameter"), IdOf(card.CardParameter));
    o.insert(QStringLiteral("program"), IdOf(card.ControlProgram));
    o.insert(QStringLiteral("code"), card.CodeBits);
    if (card.MarkersFound) {
        const QRect& g = card.GridRect;
        o.insert(QStringLiteral("grid"), QJsonArray{g.left(), g.top(), g.width(), g.height()});
    } else {
        o.insert(QStringLiteral("grid"), QJsonValue::Null);
    }
    if (card.DialogAccepted && !card.CardParameter.eof())
        o.insert(QStringLiteral("name"), card.CardParameter.value(QStringLiteral("Nazwa")).toString());
    return o;
}

int ReadCards(const QStringList& files, const StationOptions& options, DbConnection& conn,
              const BaseSettings& base, const std::function<void(const QJsonObject&)>& report) {
    CardState card;
    CardPictures pictures;
    CardPipeline pipeline(card, pictures, conn, base);
    pipeline.setOptions(options);
    pipeline.setAutoMode(false);
    int status = kReadOk;
    for (const QString& file : files) {
        card.resetCard();
        if (!QFileInfo(file).isFile()) {
            card.Refusal = QStringLiteral("Nie znaleziono pliku %1.").arg(file);
            report(CardReport(file, card));
            status = std::max(status, int(kReadMissingFile));
            continue;
        }
        // The pipeline overwrites its image with bitmaps: it works on a copy.
        QImage picture;
        QString why;
        if (!LoadPicture(file, picture, &why)) {
            card.Refusal = CardPipeline::UnreadableImageText(why);
            report(CardReport(file, card));
            continue;
        }
        card.ImagePath = WorkingFile(QStringLiteral("temp.bmp"));
        if (!SavePictureBitmap(picture, card.ImagePath, &why)) {
            card.Fault = why;
            report(CardReport(file, card));
            return kReadSetupFault;
        }
        pipeline.ZaladujPlikGraf(false);
        qCInfo(lcApp).noquote() << file << (card.DialogAccepted ? "recognised" : "refused");
        QJsonObject o = CardReport(file, card);
        if (card.DialogAccepted) {
            // As automatic mode reads it: the clean grid (P2), every cell, sorted, values.
            QJsonArray measurements;
            QString refusal;
            if (!ReadMeasurementsJson(pictures.image(Picture::P2), card.CardParameter.current(), card.Grid,
                                      ThresholdFraction(options.thresholdCaption), measurements, &refusal))
                o.insert(QStringLiteral("message"), JoinLines(refusal));
            o.insert(QStringLiteral("measurements"), measurements);
        }
        report(o);
        if (!card.Fault.isEmpty()) return kReadSetupFault;
    }
    return status;
}

int RunReadCommand(const QStringList& files) {
    SettingsStore store;
    const StationOptions options = ReadStationOptions(store);
    RunState run;
    if (!CheckDatabaseConfiguration(store, run, {})) return kReadSetupFault;
    if (!StartDatabase(run.database)) return kReadSetupFault;
    return ReadCards(files, options, Conn(), Base(), [](const QJsonObject& o) {
        const QByteArray line = QJsonDocument(o).toJson(QJsonDocument::Compact);
        std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    });
}

} // namespace kartovo
