#include "app/HeadlessRead.h"

#include "app/CardPictures.h"
#include "app/CardPipeline.h"
#include "app/Startup.h"
#include "app/StartupDatabase.h"
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
#include <future>
#include <iterator>

namespace kartovo {

namespace {

QJsonValue IdOf(const QVariant& id) {
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
    o.insert(QStringLiteral("parameter"), IdOf(card.CardParameter.ID));
    o.insert(QStringLiteral("program"), IdOf(card.ControlProgram.eof() ? QVariant() : card.ControlProgram.value(QStringLiteral("ID"))));
    o.insert(QStringLiteral("code"), card.CodeBits);
    if (card.MarkersFound) {
        const QRect& g = card.GridRect;
        o.insert(QStringLiteral("grid"), QJsonArray{g.left(), g.top(), g.width(), g.height()});
    } else {
        o.insert(QStringLiteral("grid"), QJsonValue::Null);
    }
    if (card.DialogAccepted && card.CardParameter.ID.isValid()) o.insert(QStringLiteral("name"), card.CardParameter.Nazwa);
    return o;
}

namespace {

// A file of the batch, decoded (or refused) off the card road.
struct Decoded {
    bool isFile = false;
    bool ok = false;
    QImage picture;
    QString why;
};

Decoded DecodeFile(const QString& file) {
    Decoded d;
    d.isFile = QFileInfo(file).isFile();
    if (d.isFile) d.ok = LoadPicture(file, d.picture, &d.why);
    return d;
}

} // namespace

int ReadCards(const QStringList& files, const StationOptions& options, DbConnection& conn,
              const BaseSettings& base, const std::function<void(const QJsonObject&)>& report) {
    CardState card;
    CardPictures pictures;
    CardPipeline pipeline(card, pictures, conn, base);
    pipeline.setOptions(options);
    pipeline.setAutoMode(false);
    int status = kReadOk;
    // The next file is decoded on the second core while this card goes its
    // road: one card in flight and one being decoded, never more.
    std::future<Decoded> next;
    if (!files.isEmpty()) next = std::async(std::launch::async, DecodeFile, files.first());
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        const QString& file = *it;
        Decoded decoded = next.get();
        if (const auto following = std::next(it); following != files.cend())
            next = std::async(std::launch::async, DecodeFile, *following);
        card.resetCard();
        if (!decoded.isFile) {
            card.Refusal = QStringLiteral("Nie znaleziono pliku %1.").arg(file);
            report(CardReport(file, card));
            status = std::max(status, int(kReadMissingFile));
            continue;
        }
        if (!decoded.ok) {
            card.Refusal = CardPipeline::unreadableImageText(decoded.why);
            report(CardReport(file, card));
            continue;
        }
        // The file itself is only read: the card goes on decoded and its
        // working copy is written in the working folder.
        card.ImagePath = WorkingFile(QStringLiteral("temp.bmp"));
        pipeline.ZaladujPlikGraf(false, std::move(decoded.picture));
        qCInfo(lcApp).noquote() << file << (card.DialogAccepted ? "recognised" : "refused");
        QJsonObject o = CardReport(file, card);
        if (card.DialogAccepted) {
            // As automatic mode reads it: the clean grid (P2), every cell, sorted, values.
            const auto read = ReadMeasurements(pictures.image(Picture::P2), card.CardParameter, card.Grid,
                                               ThresholdFraction(options.thresholdCaption));
            if (!read) o.insert(QStringLiteral("message"), JoinLines(read.error()));
            o.insert(QStringLiteral("measurements"), read ? MeasurementsJson(*read) : QJsonArray());
        }
        report(o);
        if (!card.Fault.isEmpty()) {
            if (next.valid()) next.wait();
            return kReadSetupFault;
        }
    }
    return status;
}

int RunReadCommand(const QStringList& files) {
    SettingsStore store;
    const StationOptions options = ReadStationOptions(store);
    RunState run;
    if (const Result<void> checked = CheckDatabaseConfiguration(store, run, {}); !checked) {
        ShowStartupRefusal(checked.refusal(), store);
        return kReadSetupFault;
    }
    if (!RunDatabaseStartup(run.database)) return kReadSetupFault;
    return ReadCards(files, options, Conn(), Base(), [](const QJsonObject& o) {
        const QByteArray line = QJsonDocument(o).toJson(QJsonDocument::Compact);
        std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    });
}

} // namespace kartovo
