#include "DemoCards.h"

#include "CardRenderer.h"
#include "db/Connection.h"
#include "platform/Variants.h"

#include <QDir>
#include <QFileInfo>
#include <QImageWriter>
#include <algorithm>
#include <cmath>
#include <random>
#include <set>

namespace kartovo {

namespace {

struct DemoCard {
    const char* file;
    int id;
    double noise;
    double blur;
    const char* paper;
    int jpegQuality; // 0: lossless format of the file name
};

// The card of parameter 4 is an alternative parameter: the program refuses it.
const DemoCard kCards[] = {
    {"01-srednica-czopa.png", 1, 0.0, 0.0, "#ffffff", 0},
    {"02-dlugosc-calkowita-szum.jpg", 2, 14.0, 0.0, "#ffffff", 85},
    {"03-srednica-otworu-papier.jpg", 5, 6.0, 0.0, "#f1ead6", 80},
    {"04-twardosc-rozmyta.jpg", 6, 8.0, 0.7, "#fbf8f0", 70},
    {"05-bicie-promieniowe.tif", 3, 3.0, 0.0, "#ffffff", 0},
    {"06-rozstaw-otworow.jpg", 9, 4.0, 0.3, "#f7f7f2", 90},
    {"07-wady-powloki-odrzucona.jpg", 4, 4.0, 0.0, "#ffffff", 85},
};

// Marks an operator would make: in each filled column as many values as the
// sample holds (one on individual-value cards), around the middle of the grid.
std::vector<CellMark> OperatorMarks(const Record& p, int columns, int rows, quint32 seed) {
    std::mt19937 rng(seed);
    const int typ = static_cast<int>(ToNumber(p.value(QStringLiteral("TypKarty"))));
    int perColumn = typ == 1 ? 1 : std::max(1, static_cast<int>(ToNumber(p.value(QStringLiteral("Probka")))));
    perColumn = std::min(perColumn, std::max(1, rows / 3));
    std::normal_distribution<double> value(rows / 2.0 - 0.5, std::max(1.0, rows / 6.0));
    const int filled = std::max(1, columns * 2 / 3);
    std::vector<CellMark> marks;
    for (int c = 1; c <= filled; ++c) {
        std::set<int> used;
        while (static_cast<int>(used.size()) < perColumn) {
            const int r = std::clamp(static_cast<int>(std::lround(value(rng))), 0, rows - 1);
            used.insert(r);
        }
        for (int r : used) marks.push_back({c, r});
    }
    return marks;
}

} // namespace

QStringList WriteDemoCards(DbConnection& conn, const QString& folder, QString* error) {
    auto fail = [&](const QString& text) {
        if (error) *error = text;
        return QStringList();
    };
    QDir dir(folder);
    if (!dir.mkpath(QStringLiteral("."))) return fail(QStringLiteral("Nie można utworzyć folderu %1.").arg(folder));
    QStringList written;
    quint32 seed = 11;
    for (const DemoCard& c : kCards) {
        ++seed;
        const QString path = dir.filePath(QString::fromLatin1(c.file));
        if (QFileInfo::exists(path)) continue;
        bool ok = false;
        const Recordset rows =
            conn.query(QStringLiteral("Select * from [SPC_Setap] Where ID=") + QString::number(c.id), &ok);
        if (!ok || rows.isEmpty()) return fail(QStringLiteral("Brak parametru %1 w bazie demonstracyjnej.").arg(c.id));
        CardSpec cardSpec;
        cardSpec.id = c.id;
        cardSpec.parameter = rows.rows().first();
        cardSpec.name = cardSpec.parameter.value(QStringLiteral("Nazwa")).toString();
        const Recordset program = conn.query(QStringLiteral("Select * from [SPC_Programy] Where ID=") +
                                             cardSpec.parameter.value(QStringLiteral("IDP")).toString());
        if (!program.isEmpty()) cardSpec.program = program.rows().first().value(QStringLiteral("ID1")).toString();

        CardStyle style;
        style.paper = QColor(QString::fromLatin1(c.paper));
        const int columns = static_cast<int>(ToNumber(cardSpec.parameter.value(QStringLiteral("Gestosc")))) + 1;
        const int gridRows = static_cast<int>(ToNumber(cardSpec.parameter.value(QStringLiteral("SkalaSiatki"))));
        QString why;
        QImage card = RenderCard(cardSpec, style, 150.0, OperatorMarks(cardSpec.parameter, columns, gridRows, seed), seed, &why);
        if (card.isNull()) return fail(QStringLiteral("Karty %1 nie można narysować: %2").arg(c.id).arg(why));
        if (c.noise > 0 || c.blur > 0) {
            ScanDefects d;
            d.noise = c.noise;
            d.blur = c.blur;
            d.seed = seed;
            card = ApplyScanDefects(card, d);
        }
        QImageWriter writer(path);
        if (c.jpegQuality > 0) writer.setQuality(c.jpegQuality);
        if (!writer.write(card)) return fail(QStringLiteral("Nie można zapisać %1: %2").arg(path, writer.errorString()));
        written << QString::fromLatin1(c.file);
    }
    return written;
}

} // namespace kartovo
