#include "AppTestSupport.h"
#include "db/DbTestSupport.h"

#include "app/AutoMode.h"
#include "db/StoredCards.h"
#include "imaging/ImageFile.h"
#include "reading/GridGeometry.h"
#include "recognition/CardIdentification.h"
#include "recognition/Markers.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <array>
#include <csignal>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>

namespace kartovo::test {
namespace {

// A good card identified, its grid cut out, cleaned and drawn; the cleaning steps in their order.
TEST_F(PipelineTest, RecognisedCardIsCleanedDrawnAndReadyToRead) {
    const CardState card = run(render(cardSpec(1)), true);
    EXPECT_TRUE(m_messages.empty());
    EXPECT_EQ(std::tuple(card.DialogAccepted, card.CardParameter.ID.toInt(),
                         card.ControlProgram.value(QStringLiteral("ID")).toInt(), card.CodeBits),
              std::tuple(true, 1, 1, QStringLiteral("1")));
    EXPECT_EQ(std::pair(card.Grid.RangeBottom, card.Grid.RangeTop), std::pair(19.90f, 20.10f));
    EXPECT_EQ(m_view.statuses.mid(m_view.statuses.size() - 2),
              (QStringList{QStringLiteral("Konwertuję obraz na B&W"), QStringLiteral("Gotowy do czytania")})) << "only the chosen steps";
    EXPECT_EQ(std::tuple(m_view.readButtons, m_view.busyDepth, m_view.maxProgress), std::tuple(1, 0, 100));
    EXPECT_EQ(std::tuple(m_view.statusShown, m_view.progressUnderHiddenStatus, m_view.progressUnderHiddenBar, m_view.progressShown),
              std::tuple(true, 0, 0, false));

    // P1: the cleaned cut-out with the grid drawn over it; the working file: the cut-out alone, in black and white.
    const QImage& p1 = m_pictures.image(Picture::P1);
    EXPECT_EQ(p1.size(), card.GridRect.size() + QSize(1, 1));
    EXPECT_EQ(std::pair(p1.pixel(0, p1.height() / 2), card.Grid.GridRight), std::pair(kGridLineColour, p1.width() - 1));
    EXPECT_NEAR(card.Grid.ColumnWidth, (p1.width() - 1) / 25.0, 1e-3);
    QImageReader reader(card.ImagePath);
    EXPECT_EQ(reader.format(), QByteArray("bmp"));
    const QImage saved = reader.read();
    EXPECT_EQ(saved.size(), p1.size());
    for (int x = 0; x < saved.width(); x += 7) {
        const int grey = qGray(saved.pixel(x, saved.height() / 3));
        EXPECT_TRUE(grey == 0 || grey == 255) << "not black and white at x " << x;
    }

    // Red kept up to 255 leaves nothing as ink: every later step sees white.
    m_options = {.convertToBW = true, .removeNoise = true, .colourFilter = true, .filterRed = 255};
    ASSERT_TRUE(run(render(cardSpec(1)), false).DialogAccepted);
    const QStringList order{QStringLiteral("Konwertuję obraz na B&W"), QStringLiteral("Filtruję kolory"),
                            QStringLiteral("Usuwam z obrazu szum"), QStringLiteral("Gotowy do czytania")};
    EXPECT_EQ(m_view.statuses.mid(m_view.statuses.size() - 4), order);
    m_options = {.removeNoise = true, .filterSensitivity = 3}; // no block is light enough: all ink
    const CardState noise = run(render(cardSpec(1)), false);
    EXPECT_TRUE(noise.DialogAccepted && QImage(noise.ImagePath).pixel(1, 1) == qRgb(0, 0, 0) && // only its own step
                m_view.statuses.mid(m_view.statuses.size() - 3) == QStringList({QString(), order[2], order[3]}));
    m_view.failAt = order[2]; // memory running out as the grid is cleaned faults the card: its grid is gone
    const CardState starved = run(render(cardSpec(1)), false);
    EXPECT_EQ(std::pair(starved.DialogAccepted, starved.Fault), std::pair(false, QStringLiteral("Błąd przy przetwarzaniu obrazu: std::bad_alloc")));
    m_view.failAt.clear();
    for (const int at : {-1, 0, 20, 60, 99}) { // cancelled before it begins (nothing searched), at its first progress or later: never accepted
        m_cancel = at < 0, m_view.maxProgress = -1, m_view.onProgress = [&](int p) { m_cancel = m_cancel || (at >= 0 && p >= at); };
        QFile::remove(WorkingFile(QStringLiteral("Markery.bmp"))); // nor traced when cancelled before the searches end
        EXPECT_FALSE(run(render(cardSpec(1)), false).DialogAccepted || (at <= 0 && QFile::exists(WorkingFile(QStringLiteral("Markery.bmp")))) || (at < 0 && m_view.maxProgress >= 0)) << at;
    }
}

struct RefusalCase {
    const char* name;
    int id;
    int layoutId;
    QString text;
    enum Picture { Card, WithoutCodeBars, Blank } picture = Card;
};

class RefusalTest : public PipelineTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(RefusalTest, RefusedWithItsTextAndTheManualChoiceOnlyWhenShowingMessages) {
    const RefusalCase& r = GetParam();
    const CardSpec drawn = cardSpec(r.id, r.layoutId);
    QImage img = r.picture == RefusalCase::Blank ? testing::Filled(900, 1200) : render(drawn);
    if (r.picture == RefusalCase::WithoutCodeBars) { // the code field reads no bit
        QPainter p(&img);
        const double k = 150.0 / 25.4;
        for (const QRectF& bar : LayoutCard(drawn, CardStyle()).bars)
            p.fillRect(QRectF(bar.x() * k - 2, bar.y() * k - 2, bar.width() * k + 4, bar.height() * k + 4), Qt::white);
    }
    const bool blank = r.picture == RefusalCase::Blank;

    m_view.codeFieldShown = true; // the card before's
    const CardState shown = run(img, true);
    EXPECT_EQ(std::pair(shown.DialogAccepted, shown.Refusal), std::pair(false, r.text));
    EXPECT_EQ(std::pair(m_view.codeFieldShown, messages()), std::pair(!blank, QStringList{r.text}));
    // Without markers there is no grid to assign by hand: no question.
    EXPECT_EQ(questions(), blank ? QStringList() : QStringList{CardPipeline::manualChoiceQuestion()});
    EXPECT_EQ(std::pair(shown.MarkersFound, shown.CodeBits.isEmpty()), std::pair(!blank, r.picture != RefusalCase::Card));
    // An unrecognised card's working file is the picture as loaded.
    if (blank) {
        EXPECT_EQ(QImage(shown.ImagePath).size(), img.size());
    }
    // The trace file shows exactly the examined pixels; the card on screen also the code field's outline.
    QImage trace, plain = img.convertToFormat(QImage::Format_RGB32), painted = img.convertToFormat(QImage::Format_ARGB32); // painted in its own format
    ASSERT_TRUE(LoadPicture(WorkingFile(QStringLiteral("Markery.bmp")), trace));
    PaintSearchTrace(painted, FindMarkers(painted));
    EXPECT_TRUE(painted.format() == QImage::Format_ARGB32 && trace == painted.convertToFormat(QImage::Format_RGB32) &&
                trace != plain) << "traced";
    const QImage onScreen = m_pictures.image(Picture::P2).convertToFormat(QImage::Format_RGB32);
    QRect outline;
    for (int y = 0; y < onScreen.height(); ++y)
        for (int x = 0; x < onScreen.width(); ++x)
            if ((onScreen.pixel(x, y) & 0xffffffu) == 0x0000ffu) outline |= QRect(x, y, 1, 1);
    EXPECT_EQ(outline.isEmpty(), blank);
    // Around the code field cut out: left of the grid, up to its right edge.
    if (!blank) {
        const QRect above(0, 0, trace.width(), outline.top()); // the top markers' search, traced on screen too
        EXPECT_TRUE(outline.left() < shown.GridRect.left() && onScreen.copy(above) == trace.copy(above) &&
                    plain.copy(above) != trace.copy(above));
        EXPECT_TRUE(outline.right() == shown.GridRect.x() + shown.GridRect.width() && outline.size() == m_pictures.image(Picture::P4).size());
    }
    EXPECT_EQ(std::pair(m_view.choices, m_view.readButtons), std::pair(0, 0)); // the question was answered NIE
    EXPECT_EQ(m_view.statuses.last(), QStringLiteral("Karta odrzucona: ") + JoinLines(r.text));

    m_messages.clear();
    const CardState silent = run(img, false);
    EXPECT_EQ(std::tuple(silent.DialogAccepted, silent.Refusal, m_messages.empty()), std::tuple(false, r.text, true));
}

QString Text(IdentificationRefusal kind) { return IdentificationRefusalText(kind); }
using enum IdentificationRefusal;
QString NoRangeText() {
    GridGeometry grid;
    return UstawZakresyP(ParameterRow{}, grid).error();
}

INSTANTIATE_TEST_SUITE_P(
    Lookup, RefusalTest,
    ::testing::Values(RefusalCase{"NoParameter", 12, 1, Text(NoParameter)},
                      RefusalCase{"Alternative", 4, 4, Text(Alternative)},
                      RefusalCase{"NoGridScale", 7, 1, Text(NoGridScale)},
                      RefusalCase{"NoProgram", 20, 1, Text(NoProgram)},
                      RefusalCase{"NoProgramId", 22, 1, Text(NoProgram)},
                      RefusalCase{"FractionalProgramId", 23, 1, Text(NoProgram)},
                      RefusalCase{"NoRange", 21, 1, NoRangeText()},
                      RefusalCase{"UnreadableCode", 5, 5, Text(UnreadableCode), RefusalCase::WithoutCodeBars},
                      RefusalCase{"NoMarkers", 1, 1, MissingMarkersText(MarkerResult{}), RefusalCase::Blank}),
    [](const ::testing::TestParamInfo<RefusalCase>& info) { return std::string(info.param.name); });

// Read at once when so set (uncleaned here); a lookup the database fails is the card's fault, in its words.
TEST_F(PipelineTest, ReadAtOnceWhenAskedAndALookupTheDatabaseFailsFaultsTheCard) {
    m_options = {.processAutomatically = true}; // not cleaned: the grid shown as cut out
    int reads = 0, saves = 0;
    m_read = [&] { ++reads; };
    const QImage img = render(cardSpec(2, 2));
    EXPECT_TRUE(run(img, true).DialogAccepted && reads == 1 && m_view.listsRun == 1) << "read, then listed";
    EXPECT_EQ(m_pictures.image(Picture::P2).size(), m_pictures.image(Picture::P1).size());
    m_auto = true, m_save = [&] { ++saves; }; // unattended: read and saved at once, a refused card neither
    run(img, false), run(render(cardSpec(12)), false);
    EXPECT_EQ(std::pair(reads, saves), std::pair(2, 1));
    m_auto = false;
    ASSERT_TRUE(m_conn.execute(QStringLiteral("ALTER TABLE SPC_Setap RENAME TO Setap_")));
    const CardState card = run(img, true);
    EXPECT_EQ(std::pair(card.DialogAccepted, reads), std::pair(false, 2));
    EXPECT_TRUE(card.Fault.startsWith(DatabaseErrorMessage({}).left(20)) && card.Fault.contains(QStringLiteral("spc_setap"), Qt::CaseInsensitive))
        << card.Fault.toStdString();
    EXPECT_TRUE(questions().isEmpty() && messages().isEmpty());
    EXPECT_NE(m_pictures.image(Picture::P2).convertToFormat(QImage::Format_RGB32), img.convertToFormat(QImage::Format_RGB32))
        << "the card shows where it was searched";
}

// Confirmation only when asked and showing messages; a card chosen by hand is the chosen parameter.
TEST_F(PipelineTest, ConfirmationAndTheManualChoiceDecideTheCard) {
    m_options.askConfirmation = true;
    const QImage img = render(cardSpec(2, 2));
    m_view.confirmAnswer = false;
    EXPECT_EQ((std::tuple{run(img, true).DialogAccepted, questions(), messages().isEmpty()}),
              std::tuple(false, QStringList{CardPipeline::manualChoiceQuestion()}, true));
    m_view.confirmAnswer = true;
    EXPECT_TRUE(run(img, true).DialogAccepted);
    m_view.confirmAnswer = false;
    EXPECT_EQ((std::pair{run(img, false).DialogAccepted, m_view.confirmations}), std::pair(true, 2));

    m_answer = true; // TAK to the question
    m_view.chooseAnswer = true;
    m_view.chosenProgram = 2;
    m_view.chosenParameter = 5;
    const CardState card = run(render(cardSpec(12)), true);
    EXPECT_EQ(std::tuple(m_view.choices, card.DialogAccepted, card.ChosenByHand, card.CardParameter.ID.toInt(),
                         card.ControlProgram.value(QStringLiteral("ID")).toInt()), std::tuple(1, true, true, 5, 2));
    EXPECT_FLOAT_EQ(card.Grid.RangeTop, 8.04f); // extended range of parameter 5
    EXPECT_EQ(m_pictures.image(Picture::P1).pixel(0, 5), kGridLineColour);
    m_view.chooseAnswer = false; // a cancelled choice leaves the card refused
    EXPECT_FALSE(run(render(cardSpec(12)), true).DialogAccepted);
    m_view.chooseAnswer = true, m_view.chosenProgram = 999; // a program that is not there
    EXPECT_EQ(run(render(cardSpec(12)), true).Refusal, IdentificationRefusalText(IdentificationRefusal::NoProgram));
    m_view.chosenProgram = -1; // a choice that fails faults the card
    EXPECT_EQ(run(render(cardSpec(12)), true).Fault, QStringLiteral("Błąd przy przetwarzaniu obrazu: brak listy"));
    // A grid that cannot be drawn refuses the card, asked about where the road ends.
    CardState failed;
    CardPipeline pipeline(failed, m_pictures, m_conn, m_base);
    pipeline.setView(&m_view);
    pipeline.begin(true), m_pictures.setImage(Picture::P2, testing::Filled(9, 9)), pipeline.StartPix(), pipeline.conclude(); // no grid picture
    EXPECT_EQ(std::tuple(questions().last(), failed.DialogAccepted, failed.Refusal, m_pictures.image(Picture::P2).isNull()),
              std::tuple(CardPipeline::startPixErrorText(), false, CardPipeline::startPixErrorText(), true)); // nothing of it shown
}

TEST_F(PipelineTest, RotatedScansReadBackThroughTheRotationSetting) {
    const QImage upright = render(cardSpec(9, 9));
    const auto turned = [&](int degrees) {
        ScanDefects d;
        d.rotation = degrees;
        return ApplyScanDefects(upright, d);
    };
    m_options.convertToBW = false; // the working file is then the grid cut out of the turned card
    for (const auto& [turn, setting] : {std::pair{0, 0}, std::pair{90, 2}, std::pair{-90, 1}}) {
        m_options.rotation = setting;
        const CardState card = run(turned(turn), false);
        const QStringList& said = m_view.statuses; // the turn's status emptied before recognition
        EXPECT_TRUE(card.DialogAccepted && said.contains(QStringLiteral("Obracam obraz")) == (setting != 0) && said.value(said.lastIndexOf(QStringLiteral("Obracam obraz")) + 1).isEmpty()) << turn;
        EXPECT_EQ(std::pair(card.CardParameter.ID.toInt(), QImage(card.ImagePath).size()), std::pair(9, card.GridRect.size() + QSize(1, 1)));
    }
    // Turned the wrong way back, the card is upside down and not recognised.
    m_options.rotation = 1;
    const CardState wrong = run(turned(90), false);
    EXPECT_FALSE(wrong.DialogAccepted || !m_pictures.image(Picture::P1).isNull() || QImage(wrong.ImagePath).size() != upright.size())
        << "no grid of a card not recognised; its working file is the scan as turned";
    // A picture the rotation cannot take is the card's fault; the road ends all the same.
    const CardState faulted = run(upright.convertToFormat(QImage::Format_Mono), true);
    EXPECT_TRUE(!faulted.DialogAccepted && faulted.Fault.startsWith(QStringLiteral("Błąd przy przetwarzaniu obrazu: ")) &&
                faulted.Fault.endsWith(QStringLiteral("Invalid number of bits per pixel: 1"))) << faulted.Fault.toStdString();
    EXPECT_TRUE(m_view.busyDepth == 0 && m_view.readButtons == 0 && messages().isEmpty());
}

QByteArray Sha(const QByteArray& bytes) { return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex(); }

// Row value of a mark: the middle of the row's band between OD and OG.
double Expected(double od, double og, int rows, int row) { return od + (og - od) / rows * (row + 0.5); }

class AutoModeTest : public PipelineTest {
protected:
    void SetUp() override {
        PipelineTest::SetUp();
        m_processor = std::make_unique<AutoCardProcessor>(m_conn, m_base, m_pictures);
        m_processor->setOptions(m_options);
        m_processor->setView(&m_view); // records any question, which automatic mode must never ask
        m_mode = makeMode([this](QImage picture) { return m_processor->process(std::move(picture)); });
        m_last = LastId(m_conn);
    }
    std::unique_ptr<AutoMode> makeMode(AutoMode::Processor processor) {
        auto mode = std::make_unique<AutoMode>(std::move(processor));
        mode->setFolder(m_folder); // typed without the separator
        mode->setLog([this](const QString& line) { m_log << line; });
        mode->setDatabase(&m_conn);
        return mode;
    }
    QByteArray png(const QImage& card) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        card.save(&buffer, "PNG");
        return bytes;
    }
    QString path(const QString& name) const { return m_folder + u'/' + name; }
    // Rows stored since the test began, of one parameter or all.
    QList<Record> rows(int parameter = 0) {
        return m_conn.query(QStringLiteral("Select * from [SPC_Baza] Where ID>%1%2 Order by ID")
                                .arg(m_last)
                                .arg(parameter ? QStringLiteral(" and IDPK=%1").arg(parameter) : QString())).rows();
    }
    // The record of stored cards: "hash file name".
    QSet<QString> record() {
        QSet<QString> r;
        const Recordset rows = m_conn.query(QStringLiteral("Select * from [%1]").arg(kStoredCardsTable));
        for (const Record& row : rows.rows())
            r << row.value(QStringLiteral("Hash")).toString() + u' ' + row.value(QStringLiteral("Plik")).toString();
        return r;
    }
    static QString Entry(const QByteArray& content, const char* name) { return Sha(content) + u' ' + QLatin1String(name); }
    // stored, refused, waiting, skipped, deleted
    static std::array<int, 5> Counts(const AutoMode::Summary& s) {
        return {s.stored, s.refused, s.waiting, s.skipped, s.deleted};
    }
    int logged(const QString& text) const { return int(m_log.filter(text).size()); }
    QStringList entries() const { return QDir(m_folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot); }

    // Parameter 1 takes samples of 5: 11 marks make two. Parameter 2 takes individual values.
    const std::vector<CellMark> m_sample = Marks(11, [](int s) { return s * 3 % 20; });
    const std::vector<CellMark> m_individual{{1, 2}, {2, 11}, {3, 19}};
    QByteArray sampleCard() { return png(render(cardSpec(1), 150.0, m_sample)); }
    QByteArray individualCard(const std::vector<CellMark>& marks) { return png(render(cardSpec(2, 2), 150.0, marks)); }

    std::unique_ptr<AutoCardProcessor> m_processor;
    std::unique_ptr<AutoMode> m_mode;
    QStringList m_log;
    int m_last = 0;
};

// Looked at again, after a restart and with deletion on: each card stored once, the refused kept.
TEST_F(AutoModeTest, LooksStoreEachCardOnceAndKeepWhatIsRefused) {
    std::vector<CellMark> scribbled = Marks(10, [](int) { return 5; });
    for (int row = 0; row < 14; ++row) scribbled.push_back({3, row});
    const QByteArray cut = individualCard({{1, 5}, {2, 6}, {3, 7}});
    const QHash<QString, QByteArray> files{
        {QStringLiteral("karta1.png"), sampleCard()},
        {QStringLiteral("karta2.png"), individualCard(m_individual)},
        {QStringLiteral("alt"), png(render(cardSpec(4, 4)))},                  // an alternative parameter, a name of three
        {QStringLiteral("bazgroly.png"), png(render(cardSpec(1), 150.0, scribbled))}, // marks nobody makes
        {QStringLiteral("urwany.png"), cut.left(cut.size() * 2 / 3)},                  // a writer that stopped
        {QStringLiteral("notatka.txt"), "to nie jest obraz karty\n"},
        {QStringLiteral("ab"), sampleCard()}}; // two characters: not a card
    for (auto it = files.cbegin(); it != files.cend(); ++it) WriteFile(path(it.key()), it.value());
    const QList<Record> history = m_conn.query(QStringLiteral("Select * from [SPC_Baza] Where IDPK=2 Order by ID")).rows();
    ASSERT_FALSE(history.isEmpty());
    double previous = history.last().value(QStringLiteral("W1")).toDouble();

    EXPECT_EQ(Counts(m_mode->tick()), (std::array{2, 4, 0, 0, 0})) << m_log.join(u'\n').toStdString();
    EXPECT_TRUE(m_messages.empty() && questions().isEmpty()) << "no window in automatic mode";
    const QList<Record> sample = rows(1);
    ASSERT_EQ(sample.size(), 2);
    for (int r = 0; r < 2; ++r) {
        double sum = 0;
        for (int i = 0; i < 5; ++i) {
            const double w = sample[r].value(QStringLiteral("W%1").arg(i + 1)).toDouble();
            EXPECT_NEAR(w, Expected(19.90, 20.10, 20, m_sample[size_t(r * 5 + i)].row), 0.0051) << r << " W" << i + 1;
            sum += w;
        }
        EXPECT_TRUE(sample[r].value(QStringLiteral("Lp")).toInt() == 5 && sample[r].value(QStringLiteral("ID1")).toString() == "-");
        EXPECT_NEAR(sample[r].value(QStringLiteral("Srednia")).toDouble(), sum / 5, 1e-4); // a single-precision column
    }
    EXPECT_EQ(sample[0].value(QStringLiteral("Data")).toString(), QDate::currentDate().toString(Qt::ISODate));
    const QList<Record> individual = rows(2);
    ASSERT_EQ(individual.size(), 3);
    for (int r = 0; r < 3; ++r) {
        const double w = individual[r].value(QStringLiteral("W1")).toDouble();
        EXPECT_NEAR(w, Expected(119.0, 121.0, 20, m_individual[size_t(r)].row), 0.051);
        EXPECT_EQ(individual[r].value(QStringLiteral("Lp")).toInt(), 1);
        // The moving range of two starts from the value stored before.
        EXPECT_NEAR(individual[r].value(QStringLiteral("Srednia")).toDouble(), (w + previous) / 2, 1e-4);
        previous = w;
    }
    EXPECT_EQ(rows().size(), 5) << "nothing else was stored";
    EXPECT_EQ(record(), (QSet{Entry(files[QStringLiteral("karta1.png")], "karta1.png"),
                              Entry(files[QStringLiteral("karta2.png")], "karta2.png")}));
    // The working copy is the last card's cleaned grid, as the road left it.
    QImage copy;
    EXPECT_TRUE(LoadPicture(WorkingFile(QStringLiteral("temp.bmp")), copy) && copy == m_pictures.image(Picture::P2));

    // The next look: stored cards are known, refused ones tried again and not logged again.
    EXPECT_EQ(Counts(m_mode->tick()), (std::array{0, 4, 0, 2, 0}));
    EXPECT_EQ(std::pair(logged(QStringLiteral("alt: ")), logged(QStringLiteral("urwany.png: odrzucony (niekompletny"))), std::pair(1, 1));
    // After a restart the record in the database still knows them.
    m_mode = makeMode([this](QImage picture) { return m_processor->process(std::move(picture)); });
    EXPECT_EQ((std::pair{Counts(m_mode->tick()), int(rows().size())}), std::pair(std::array{0, 4, 0, 2, 0}, 5));
    EXPECT_EQ(entries().size(), files.size()) << "no claim folder is left behind";
    for (auto it = files.cbegin(); it != files.cend(); ++it)
        EXPECT_EQ(ReadFile(path(it.key())), it.value()) << it.key().toStdString() << " changed or gone";

    // A refused card taken away and brought back is news again.
    WriteFile(path(QStringLiteral("urwany.png")), cut.left(cut.size() / 2)); // so is one changed in place
    ASSERT_TRUE(QFile::remove(path(QStringLiteral("alt"))) && m_mode->tick().refused == 3);
    WriteFile(path(QStringLiteral("alt")), files[QStringLiteral("alt")]), WriteFile(path(QStringLiteral("urwany.png")), files[QStringLiteral("urwany.png")]);
    // Deletion on: only the stored cards go, also the same scan sent again.
    m_mode->setDeleteStored(true);
    EXPECT_EQ(Counts(m_mode->tick()), (std::array{0, 4, 0, 2, 2}));
    WriteFile(path(QStringLiteral("znowu.png")), files[QStringLiteral("karta1.png")]);
    EXPECT_EQ(Counts(m_mode->tick()), (std::array{0, 4, 0, 1, 1}));
    EXPECT_EQ(std::tuple(rows().size(), record().size(), logged(QStringLiteral("alt: ")), logged(QStringLiteral("urwany.png: odrzucony"))),
              std::tuple(5, 2, 3, 4)); // once a start, and again for each new content
    QStringList kept = files.keys();
    for (const char* gone : {"karta1.png", "karta2.png"}) kept.removeOne(QLatin1String(gone));
    kept.sort();
    EXPECT_EQ(entries(), kept);
    for (const QString& name : kept) EXPECT_EQ(ReadFile(path(name)), files[name]) << name.toStdString();
}

// Taken once unchanged for exactly AutoZwloka seconds; a time ahead counts from the first look at it.
TEST_F(AutoModeTest, SettleTimeCountsToTheSecond) {
    set(QStringLiteral("Start"), QStringLiteral("AutoZwloka"), QStringLiteral("7"));
    m_mode->setSettleMs(ReadStationOptions(SettingsStore()).settleSeconds * 1000);
    const QDateTime t0(QDate(2026, 1, 5), QTime(8, 0), Qt::UTC);
    QDateTime now = t0;
    m_mode->setClock([&] { return now; });
    const QByteArray growing = individualCard({{1, 5}, {2, 6}, {3, 7}});
    WriteFile(path(QStringLiteral("gotowy.png")), sampleCard(), t0.addSecs(-7));
    WriteFile(path(QStringLiteral("mlody.png")), individualCard(m_individual), t0.addSecs(-6));
    WriteFile(path(QStringLiteral("rosnacy.png")), growing.left(growing.size() / 2), t0.addSecs(3600));

    EXPECT_EQ(Counts(m_mode->tick()), (std::array{1, 0, 2, 0, 0})) << "a file being written is not even read";
    EXPECT_EQ(std::tuple(rows(1).size(), rows(2).size()), std::tuple(2, 0));
    now = t0.addSecs(1);
    EXPECT_EQ((std::pair{Counts(m_mode->tick()), int(rows(2).size())}), std::pair(std::array{1, 0, 1, 1, 0}, 3));

    // Grown meanwhile: counted afresh from the look that sees it whole.
    WriteFile(path(QStringLiteral("rosnacy.png")), growing, t0.addSecs(3600));
    for (int second : {2, 8}) {
        now = t0.addSecs(second);
        EXPECT_EQ(Counts(m_mode->tick()), (std::array{0, 0, 1, 2, 0})) << "at " << second << " s";
    }
    now = t0.addSecs(9);
    EXPECT_EQ(m_mode->tick().stored, 1) << m_log.join(u'\n').toStdString();
    EXPECT_EQ(std::tuple(rows(2).size(), ReadFile(path(QStringLiteral("rosnacy.png"))) == growing, record().size()), std::tuple(6, true, 3));
}

// A row refused mid-card: nothing of it stays, nor its record; stored once the database takes it.
// A card of the station's earlier journal goes into the record and is not stored again.
TEST_F(AutoModeTest, CardRefusedByTheDatabaseStaysForTheNextLook) {
    const QByteArray card = sampleCard(), journaled = individualCard(m_individual);
    WriteFile(WorkingFile(AutoMode::journalName()), Sha(journaled) + "\t2024-01-02T03:04:05.000000000000Z\tstara.png\n");
    WriteFile(path(QStringLiteral("karta1.png")), card);
    WriteFile(path(QStringLiteral("karta2.png")), journaled);
    WriteFile(WorkingFile(QStringLiteral("AutoZapisane-wczytane.txt")), "\n"); // left by an earlier import
    const int before = int(m_conn.query(QStringLiteral("Select * from [SPC_Baza] Where IDPK=1")).recordCount());
    ASSERT_TRUE(m_conn.execute(QStringLiteral("CREATE TRIGGER refuse_second BEFORE INSERT ON SPC_Baza "
                                              "WHEN (SELECT count(*) FROM SPC_Baza WHERE IDPK = 1) >= %1 "
                                              "BEGIN SELECT RAISE(ABORT, 'drugi wiersz odrzucony'); END")
                                   .arg(before + 1)));
    EXPECT_EQ((std::pair{Counts(m_mode->tick()), logged(QStringLiteral("drugi wiersz odrzucony"))}), std::pair(std::array{0, 1, 0, 1, 0}, 1)) << m_log.join(u'\n').toStdString();
    EXPECT_TRUE(rows().isEmpty() && record() == QSet{Entry(journaled, "stara.png")});
    EXPECT_TRUE(!QFile::exists(WorkingFile(AutoMode::journalName())) && // its time kept, to the column's 32 characters
                m_conn.query(QStringLiteral("Select * from [%1] Where Czas='2024-01-02T03:04:05.000000000000'").arg(kStoredCardsTable)).recordCount() == 1);
    EXPECT_EQ(ReadFile(path(QStringLiteral("karta1.png"))), card);

    ASSERT_TRUE(m_conn.execute(QStringLiteral("DROP TRIGGER refuse_second")));
    EXPECT_EQ((std::tuple{m_mode->tick().stored, m_mode->tick().stored, int(rows().size())}), std::tuple(1, 0, 2));
    EXPECT_EQ(record(), (QSet{Entry(card, "karta1.png"), Entry(journaled, "stara.png")}));
}

// No record table (a view holds its name): the journal file stands in; a card it cannot take is not stored.
TEST_F(AutoModeTest, WithoutARecordTableEachCardIsJournaledOrNotStored) {
    ASSERT_TRUE(m_conn.execute(QStringLiteral("DROP TABLE IF EXISTS %1").arg(kStoredCardsTable)));
    ASSERT_TRUE(m_conn.execute(QStringLiteral("CREATE VIEW %1 AS SELECT 1 AS X").arg(kStoredCardsTable)));
    const QString journal = WorkingFile(AutoMode::journalName());
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/full"), journal)); // fails every write
    WriteFile(path(QStringLiteral("karta1.png")), sampleCard());
    EXPECT_EQ((std::pair{Counts(m_mode->tick()), rows().isEmpty()}), std::pair(std::array{0, 1, 0, 0, 0}, true));
    EXPECT_EQ(logged(QStringLiteral("karta1.png: odrzucony: Nie można zapisać dziennika")), 1) << m_log.join(u'\n').toStdString();
    ASSERT_TRUE(QFile::remove(journal));
    WriteFile(path(QStringLiteral("karta2.png")), individualCard(m_individual));
    WriteFile(path(QStringLiteral("kopia1.png")), sampleCard());
    WriteFile(path(QStringLiteral("krotka.png")), png(render(cardSpec(1), 150.0, Marks(3, [](int s) { return s; }))));
    EXPECT_EQ(Counts(m_mode->tick()), (std::array{2, 1, 0, 1, 0}));
    const QByteArray lines = ReadFile(journal);
    EXPECT_TRUE(lines.startsWith(' ') && lines.count("\n ") == 1 && lines.count('\n') == 2) << "two confirmed, krotka's (no full sample) withdrawn";
    EXPECT_EQ(logged(QStringLiteral("UWAGA: baza danych nie pozwala")), 1) << "the warning once, not every look";
    // After a restart the journal knows karta1; a card stored without its line completed is said.
    for (const char* name : {"karta2.png", "kopia1.png", "krotka.png"}) QFile::remove(path(QLatin1String(name)));
    m_mode = makeMode([](QImage) { return AutoCardResult{.stored = true}; });
    WriteFile(path(QStringLiteral("karta3.png")), individualCard({{1, 5}, {2, 6}, {3, 7}}));
    EXPECT_EQ(Counts(m_mode->tick()), (std::array{1, 0, 0, 1, 0}));
    EXPECT_EQ(logged(QStringLiteral("karta3.png: nie można zapisać dziennika")), 1) << m_log.join(u'\n').toStdString();
}

// While a card is read, another station stores it (skipped) or a new file takes its name (kept beside it).
TEST_F(AutoModeTest, WhatHappensWhileACardIsReadIsRespected) {
    const QImage white = testing::Filled(600, 800);
    const QByteArray card = sampleCard(), refused = png(white), newer = individualCard(m_individual);
    WriteFile(path(QStringLiteral("karta.png")), card);
    for (const char* name : {"pusta.png", "znika.png"}) WriteFile(path(QLatin1String(name)), refused);
    m_mode = makeMode([&](QImage picture) {
        const QString name = picture.text(kCardNameKey);
        if (name == QStringLiteral("pusta.png")) WriteFile(path(name), newer);
        else if (name == QStringLiteral("znika.png")) QFile::remove(QDir(m_mode->claimFolder()).filePath(name)); // cannot go back
        else if (name == QStringLiteral("pelna.png")) // every name it could go back to taken
            for (int n = 1; n < 1000; ++n) WriteFile(path(n > 1 ? QStringLiteral("pelna (%1).png").arg(n) : name), newer);
        else EXPECT_TRUE(RecordStoredCard(m_conn, picture.text(kCardHashKey).toLatin1(), QStringLiteral("inne"),
                                          QStringLiteral("karta.png"), QDateTime::currentDateTimeUtc()));
        return m_processor->process(std::move(picture));
    });
    EXPECT_EQ(Counts(m_mode->tick()), (std::array{0, 2, 0, 1, 0}));
    EXPECT_EQ(entries(), (QStringList{QStringLiteral("karta.png"), QStringLiteral("pusta (2).png"), QStringLiteral("pusta.png")}));
    EXPECT_TRUE(ReadFile(path(QStringLiteral("karta.png"))) == card && ReadFile(path(QStringLiteral("pusta (2).png"))) == refused &&
                ReadFile(path(QStringLiteral("pusta.png"))) == newer && rows().isEmpty());
    EXPECT_TRUE(logged(QStringLiteral("karta.png: już zapisany (przez inne stanowisko), pominięty")) == 1 &&
                logged(QStringLiteral("znika.png: nie można zwrócić pliku do katalogu wymiany")) == 1) << m_log.join(u'\n').toStdString();
    // One another station takes as it is looked at: nothing of it is said or waits; one made a folder: said, it waits.
    m_mode->setSettleMs(0), m_mode->setStopRequested([&] {
        QFile::rename(path(QStringLiteral("pusta (2).png")), m_dir.filePath(QStringLiteral("z")));
        if (QFile::remove(path(QStringLiteral("teczka.png")))) QDir().mkdir(path(QStringLiteral("teczka.png")));
        return false; });
    WriteFile(path(QStringLiteral("teczka.png")), refused), WriteFile(path(QStringLiteral("pelna.png")), refused); // with no name free, it stays claimed
    EXPECT_TRUE(m_mode->tick().waiting == 1 && logged(QStringLiteral("pusta (2).png")) == 0 && ReadFile(path(QStringLiteral("pelna (999).png"))) == newer &&
                logged(QStringLiteral("pelna.png: nie można zwrócić pliku")) == 1 && QFile::exists(m_mode->claimFolder() + QStringLiteral("pelna.png")) &&
                logged(QStringLiteral("teczka.png: nie można otworzyć pliku")) == 1 && QFileInfo(path(QStringLiteral("teczka.png"))).isDir()) << m_log.join(u'\n').toStdString();
}

// A dead station's claim is returned: at once on this host, after the timeout from another.
TEST_F(AutoModeTest, ClaimsOfADeadStationAreReturned) {
    const pid_t dead = fork();
    if (dead == 0) _exit(0);
    ASSERT_GT(dead, 0);
    ASSERT_EQ(waitpid(dead, nullptr, 0), dead);
    const QString host = QFileInfo(QDir(m_mode->claimFolder()).absolutePath()).fileName().section(u'-', 1, -2);
    EXPECT_EQ(std::pair(SafeName(QStringLiteral("hala-1.zakład_2")), SafeName({})), std::pair(QStringLiteral("hala_1_zak_ad_2"), QStringLiteral("stanowisko")));
    const QString deadClaim = m_folder + QStringLiteral("/.kartovo-%1-%2").arg(host).arg(dead);
    const QString otherClaim = m_folder + QStringLiteral("/.kartovo-innykomputer-17"), noPid = deadClaim.section(u'-', 0, -2) + "-0";
    for (const QString& claim : {deadClaim, otherClaim, noPid}) QDir().mkpath(claim); // PID 0 is no process: its claim goes
    WriteFile(deadClaim + QStringLiteral("/karta1.png"), sampleCard());
    WriteFile(otherClaim + QStringLiteral("/karta2.png"), individualCard(m_individual));

    EXPECT_EQ(m_mode->tick().stored, 1) << m_log.join(u'\n').toStdString();
    EXPECT_TRUE(rows(1).size() == 2 && entries() == QStringList({QStringLiteral(".kartovo-innykomputer-17"), QStringLiteral("karta1.png")}));
    EXPECT_TRUE(QFile::exists(otherClaim + QStringLiteral("/karta2.png"))) << "another host's recent claim";
    const QDateTime claimed = QFileInfo(otherClaim).lastModified().toUTC(); // and when exactly 5 minutes old
    m_mode->setClock([claimed] { return claimed.addSecs(5 * 60); });
    EXPECT_EQ((std::pair{m_mode->tick().stored, rows(2).size()}), std::pair(1, qsizetype(3)));
    EXPECT_EQ(entries(), (QStringList{QStringLiteral("karta1.png"), QStringLiteral("karta2.png")}));
    EXPECT_EQ(logged(QStringLiteral("zwrócony z porzuconego katalogu .kartovo-")), 2) << m_log.join(u'\n').toStdString();
    const QString live = m_folder + QStringLiteral("/.kartovo-%1-%2").arg(host).arg(getppid()), init = live.section(u'-', 0, -2) + "-1";
    ASSERT_TRUE(QDir().mkpath(live) && QDir().mkpath(init)); // live stations here, one as PID 1 (a container's)
    WriteFile(live + QStringLiteral("/karta9.png"), sampleCard()), WriteFile(init + QStringLiteral("/karta8.png"), sampleCard());
    EXPECT_TRUE(m_mode->tick().stored == 0 && QDir(live).removeRecursively() && QDir(init).removeRecursively()) << "their claims are kept, however old";

    // Its own claim folder cannot be made (a dangling link in its place): said, the card stays.
    const QString mine = QDir::cleanPath(m_mode->claimFolder());
    ASSERT_TRUE(QFile::link(m_dir.filePath(QStringLiteral("nie/ma")), mine));
    WriteFile(path(QStringLiteral("karta3.png")), individualCard({{1, 5}, {2, 6}, {3, 7}}));
    EXPECT_EQ(Counts(m_mode->tick()), (std::array{0, 0, 0, 2, 0}));
    EXPECT_EQ(logged(QStringLiteral("nie można utworzyć katalogu")), 1) << m_log.join(u'\n').toStdString();
    EXPECT_EQ(logged(QStringLiteral("karta3.png")), 0) << m_log.join(u'\n').toStdString();
    ASSERT_TRUE(QFile::remove(mine) && (WriteFile(mine, "plik"), true)); // a file in its place: the claim's own error, at each look
    EXPECT_TRUE(m_mode->tick().stored == 0 && m_mode->tick().stored == 0 && logged(QStringLiteral("karta3.png: nie można przejąć pliku")) == 2) << m_log.join(u'\n').toStdString();
    ASSERT_TRUE(QFile::remove(mine) && QDir().mkpath(mine) && // karta3 left in it by a failed return
                QFile::rename(path(QStringLiteral("karta3.png")), mine + QStringLiteral("/karta3.png")));
    m_mode = makeMode([&](QImage picture) { // stored, it cannot be deleted (a folder in its place, as root): said, given back
        const QString claimed = QDir(m_mode->claimFolder()).filePath(picture.text(kCardNameKey));
        return QFile::remove(claimed), QDir().mkpath(claimed), m_processor->process(std::move(picture)); });
    m_mode->setDeleteStored(true);
    EXPECT_TRUE(m_mode->tick().stored == 1 && logged(QStringLiteral("karta3.png: nie można usunąć pliku")) == 1 &&
                QFileInfo(path(QStringLiteral("karta3.png"))).isDir()) << m_log.join(u'\n').toStdString();
}

// The database lost before or mid-look: every file waits, one claimed ahead goes back; later each stored once.
TEST_F(AutoModeTest, FilesClaimedAheadGoBackWhenTheDatabaseIsLost) {
    WriteFile(path(QStringLiteral("karta1.png")), sampleCard());
    WriteFile(path(QStringLiteral("karta2.png")), individualCard(m_individual));
    WriteFile(path(QStringLiteral("karta3.png")), individualCard({{1, 5}, {2, 6}, {3, 7}}));
    const QByteArray second = ReadFile(path(QStringLiteral("karta2.png")));
    bool lost = true;
    QStringList order;
    const auto processor = [&](QImage picture) {
        order << picture.text(kCardNameKey);
        if (lost) return AutoCardResult{.connectionLost = true};
        return m_processor->process(std::move(picture));
    };
    auto mode = makeMode(processor);
    mode->setFolder(m_folder + QStringLiteral("/brak"));
    EXPECT_EQ((std::pair{Counts(mode->tick()), logged(QStringLiteral("brak katalogu wymiany"))}), std::pair(std::array{0, 0, 0, 0, 0}, 1));
    mode->setFolder(m_folder);
    m_conn.close(); // lost before the look: nothing is claimed or read, all wait
    EXPECT_EQ((std::pair{Counts(mode->tick()), order.isEmpty()}), std::pair(std::array{0, 0, 3, 0, 0}, true));
    ASSERT_TRUE(logged(QStringLiteral("brak połączenia z bazą danych")) == 1 && m_conn.openSqliteFile(m_demo + QStringLiteral("/Norv.mdb")));
    EXPECT_EQ(Counts(mode->tick()), (std::array{0, 0, 3, 0, 0})) << "lost mid-look: every file waits";
    EXPECT_EQ(logged(QStringLiteral("czekające 3")), 1) << m_log.join(u'\n').toStdString();
    EXPECT_TRUE(order == QStringList{QStringLiteral("karta1.png")} && entries().size() == 3);
    EXPECT_EQ(ReadFile(path(QStringLiteral("karta2.png"))), second) << "the file claimed ahead is back";

    lost = false;
    order.clear();
    EXPECT_EQ(Counts(mode->tick()), (std::array{3, 0, 0, 0, 0})) << m_log.join(u'\n').toStdString();
    EXPECT_EQ(logged(QStringLiteral("połączenie z bazą danych przywrócone")), 1);
    EXPECT_EQ(order, (QStringList{QStringLiteral("karta1.png"), QStringLiteral("karta2.png"), QStringLiteral("karta3.png")}));
    EXPECT_EQ(std::tuple(rows(1).size(), rows(2).size()), std::tuple(2, 6));
    const qsizetype said = m_log.size();
    EXPECT_TRUE(mode->tick().stored == 0 && m_log.size() == said && record().size() == 3) << "a look that finds nothing new says nothing";
    // Restarted, the station knows them from the record without reading them again.
    order.clear();
    EXPECT_TRUE(makeMode(processor)->tick().skipped == 3 && order.isEmpty()) << order.join(u' ').toStdString();
}

// <build>/src/kartovo beside <build>/tests/test_app.
QString KartovoBinary() {
    return QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(QStringLiteral("../src/kartovo"));
}

// kartovo --read and --auto without a display, on the demo SQLite file or a PostgreSQL server of its own.
class HeadlessCommandTest : public PipelineTest {
protected:
    struct Outcome {
        int status = -1;
        QString errors;
        QList<QJsonObject> lines; // standard output, one JSON object a line
    };
    void SetUp() override {
        PipelineTest::SetUp();
        if (!QFileInfo(KartovoBinary()).isExecutable()) GTEST_SKIP() << "kartovo not built at " << KartovoBinary().toStdString();
    }
    void TearDown() override {
        m_pg.close();
        if (!m_serverDir.isEmpty()) {
            QProcess::execute(QStringLiteral("bash"), {QStringLiteral(KARTOVO_SOURCE_DIR "/scripts/pg-test-server.sh"),
                                                      QStringLiteral("stop"), m_serverDir});
            qputenv("ODBCSYSINI", m_oldOdbc);
        }
        PipelineTest::TearDown();
    }
    void start(QProcess& p, const QStringList& args, const QString& work = QStringLiteral("work")) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("KARTOVO_WORKDIR"), m_dir.filePath(work));
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(QLatin1String(name));
        p.setProcessEnvironment(env);
        p.start(KartovoBinary(), args);
    }
    Outcome finish(QProcess& p) {
        Outcome o;
        EXPECT_TRUE(p.waitForFinished(120000));
        o.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        o.errors = QString::fromUtf8(p.readAllStandardError());
        for (const QByteArray& line : p.readAllStandardOutput().split('\n')) {
            if (line.trimmed().isEmpty()) continue;
            QJsonParseError error;
            o.lines << QJsonDocument::fromJson(line, &error).object();
            EXPECT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
        }
        return o;
    }
    QStringList autoArgs(const QString& ini, const QString& options = QStringLiteral("--once")) {
        return QStringList{QStringLiteral("--settings"), ini, QStringLiteral("--auto")} + options.split(u' ') + QStringList{m_folder};
    }

    // Card k of parameter 1, its marks in row k + 1 (its rows told by W1), renamed into place whole.
    QString dropCard(int k, const QString& folder) {
        const QString path = folder + QStringLiteral("/karta%1.png").arg(k), temp = m_dir.filePath(QStringLiteral("tmp"));
        EXPECT_TRUE(render(cardSpec(1), 150.0, Marks(10, [k](int) { return k + 1; })).save(temp, "PNG"));
        WriteFile(temp, ReadFile(temp), QDateTime::currentDateTime().addSecs(-60));
        EXPECT_TRUE(QFile::rename(temp, path));
        return path;
    }
    // Rows stored after `afterId`, per card (by W1).
    static QMap<QString, int> RowsPerCard(DbConnection& db, int afterId) {
        QMap<QString, int> counts;
        const Recordset rows = db.query(QStringLiteral("Select * from [SPC_Baza] Where ID>%1").arg(afterId));
        for (const Record& r : rows.rows())
            ++counts[QString::number(r.value(QStringLiteral("W1")).toDouble(), 'f', 3)];
        return counts;
    }
    // Standard error of a running station until `text` shows (or 40 s pass).
    static bool WaitFor(QProcess& p, QString& log, const QString& text) {
        return testing::WaitUntil([&] { return (log += QString::fromUtf8(p.readAllStandardError())).contains(text); }, 40000);
    }

    // A server with the demo data, its variables set as for the script's caller; false without PostgreSQL.
    bool startServer() {
        QProcess script;
        script.start(QStringLiteral("bash"), {QStringLiteral(KARTOVO_SOURCE_DIR "/scripts/pg-test-server.sh"), QStringLiteral("start")});
        if (!script.waitForFinished(120000) || script.exitCode() != 0) return false;
        static const QRegularExpression line(QStringLiteral("^export (\\w+)='?([^']*)'?$"));
        for (const QString& l : QString::fromUtf8(script.readAllStandardOutput()).split(u'\n')) {
            const QRegularExpressionMatch m = line.match(l.trimmed());
            if (!m.hasMatch()) continue;
            if (m.captured(1) == QStringLiteral("ODBCSYSINI")) m_oldOdbc = qgetenv("ODBCSYSINI");
            qputenv(m.captured(1).toLatin1().constData(), m.captured(2).toLocal8Bit());
            if (m.captured(1) == QStringLiteral("KARTOVO_PG_DIR")) m_serverDir = m.captured(2);
        }
        if (m_serverDir.isEmpty()) return false;
        m_pgConfig = ServerConfig(Backend::PostgreSQL, {});
        EXPECT_TRUE(m_pg.open(m_pgConfig)) << m_pg.lastError().description.toStdString();
        EXPECT_TRUE(m_pg.beginTransaction() && ApplySchema(m_pg) && FillDemoData(m_pg) && m_pg.commit())
            << m_pg.lastError().description.toStdString();
        m_pgIni = m_dir.filePath(QStringLiteral("serwer.ini"));
        QFile::copy(m_ini, m_pgIni);
        SettingsStore ini(m_pgIni);
        ini.write(QStringLiteral("Baza"), QStringLiteral("TypBazy"), QStringLiteral("2"));
        const std::pair<const char*, QString> odbc[] = {{"Driver", m_pgConfig.odbcDriver}, {"Server", m_pgConfig.odbcServer},
                                                        {"Database", m_pgConfig.odbcDatabase}, {"UID", m_pgConfig.odbcUser},
                                                        {"PWD", m_pgConfig.odbcPassword}};
        for (const auto& [key, value] : odbc) ini.write(QStringLiteral("ODBC"), QLatin1String(key), value);
        ini.sync();
        return m_pg.isOpen();
    }
    // pg_ctl as the server's owner: stop -m immediate, or start again as the script did.
    bool serverCommand(bool up) {
        const QString pgCtl =
            QStringLiteral("\"${KARTOVO_PG_BIN:-/usr/lib/postgresql/15/bin}/pg_ctl\" -D \"$KARTOVO_PG_DIR/data\" -w ") +
            (up ? QStringLiteral("-l \"$KARTOVO_PG_DIR/log/server.log\" -o \"-h 127.0.0.1 -p $KARTOVO_PG_PORT "
                                 "-k $KARTOVO_PG_DIR/socket -c fsync=off\" start")
                : QStringLiteral("-m immediate stop"));
        QProcess p;
        p.start(QStringLiteral("bash"), {QStringLiteral("-c"), QStringLiteral("if [ \"$(id -u)\" = 0 ]; then runuser -u "
                                                                              "postgres -- %1; else %1; fi").arg(pgCtl)});
        return p.waitForFinished(60000) && p.exitCode() == 0;
    }

    QString m_serverDir, m_pgIni;
    QByteArray m_oldOdbc;
    DbConnection m_pg;
    DatabaseConfig m_pgConfig;
};

// Run after run on one database: status, rows stored, what is said, a JSON line a file; files only read.
TEST_F(HeadlessCommandTest, InvocationsEndWithTheirStatusAndStoreWhatTheySay) {
    auto file = [this](const char* name) { return m_dir.filePath(QLatin1String(name)); };
    // Cards (the first with ten marks), a JPEG cut short, a blank page, a refused card, a broken file.
    QStringList files;
    for (const char* name : {"karta 1.jpg", "k2.png", "k3.bmp", "K4.JPG"}) {
        const int id = files.size() % 2 ? 9 : 1;
        files << file(name);
        const QImage card = files.size() == 1 ? render(cardSpec(1), 150.0, Marks(10, [](int s) { return 20 - s; }))
                                              : render(cardSpec(id, id));
        ASSERT_TRUE(card.save(files.last(), nullptr, 90));
    }
    const QByteArray jpeg = ReadFile(files.first());
    const QImage white = testing::Filled(600, 800);
    const QImage alt = render(cardSpec(4, 4));
    ASSERT_TRUE(alt.save(file("alt.png")) && white.save(file("pusta.png")));
    WriteFile(file("urwana.jpg"), jpeg.left(jpeg.size() / 2));
    WriteFile(file("zepsuty.bmp"), "BM?");
    files << file("urwana.jpg") << file("pusta.png") << file("alt.png") << file("zepsuty.bmp");
    const QString card = dropCard(1, m_folder);
    // Its time ahead of the clock: each run's look sees it first now, so only --settle 0 takes it.
    const QByteArray early = ReadFile(dropCard(2, m_dir.path()));
    WriteFile(m_folder + QStringLiteral("/nowa.png"), early, QDateTime::currentDateTimeUtc().addSecs(3600));
    const QString unconfigured = file("pusty.ini"), wrongNumber = file("zly.ini"), deleting = file("usuwa.ini"), below = file("ujemny.ini");
    for (const auto& [ini, key, value] : {std::tuple{wrongNumber, "KonwersjaCB", "tak"}, std::tuple{deleting, "Automat1", "1"},
                                          std::tuple{below, "Procent", "-5"}}) {
        QFile::copy(m_ini, ini);
        SettingsStore store(ini);
        store.write(QStringLiteral("Start"), QLatin1String(key), QLatin1String(value));
    }
    QHash<QString, QByteArray> before;
    for (const QString& f : files) before.insert(f, ReadFile(f));

    struct Line {
        bool recognised;
        int parameter; // 0: null
        const char* message;
    };
    const struct {
        QStringList args;
        int status, rows; // rows of SPC_Baza stored since the test began
        const char* said;
        std::vector<Line> lines;
    } runs[] = {
        {QStringList{"--settings", m_ini, "--read"} + files, 0, 0, "",
         {{true, 1, ""}, {true, 9, ""}, {true, 1, ""}, {true, 9, ""},
          {false, 0, "Nie można odczytać obrazu karty."},
          {false, 0, "Brak markera(ów) na obrazie / "},
          {false, 4, "Parametr skanowanej karty zdefiniowany jest jako ALTERNATYWNY."},
          {false, 0, "Nie można odczytać obrazu karty."}}},
        {{"--settings", m_ini, "--read", file("brak.png")}, 2, 0, "", {{false, 0, "Nie znaleziono pliku"}}},
        {{"--settings", below, "--read", card}, 0, 0, "", {{true, 1, "Próg wypełnienia pola -5%"}}}, // recognised, not read
        {{"--settings", unconfigured, "--read", card}, 3, 0, "Nie skonfigurowano połączenia z bazą danych", {}},
        {autoArgs(m_ini), 0, 2, "karta1.png: zapisany, parametr 1, wierszy 2", {}},
        {autoArgs(m_ini), 0, 2, "karta1.png: już zapisany", {}},
        {{"--settings", unconfigured, "--auto", "--once"}, 2, 2, "brak katalogu plików wymiany", {}},
        {{"--settings", unconfigured, "--auto", m_folder, "--once"}, 3, 2, "Nie skonfigurowano połączenia z bazą danych", {}},
        {autoArgs(wrongNumber), 3, 2, "kartovo: Ustawienie Start/KonwersjaCB nie jest liczbą", {}},
        {autoArgs(deleting), 0, 2, "karta1.png: usunięty", {}}, // stored before, configured to go
        {autoArgs(m_ini, QStringLiteral("--once --settle 0")), 0, 4, "nowa.png: zapisany", {}}};
    const int first = LastId(m_conn);
    QList<QJsonObject> read;
    for (const auto& run : runs) {
        SCOPED_TRACE(run.args.join(u' ').toStdString());
        QProcess p;
        start(p, run.args);
        const Outcome o = finish(p);
        EXPECT_TRUE(o.status == run.status && o.errors.contains(QString::fromUtf8(run.said))) << o.status << ": " << o.errors.toStdString();
        EXPECT_EQ(m_conn.query(QStringLiteral("Select * from [SPC_Baza] Where ID>%1").arg(first)).recordCount(), run.rows);
        ASSERT_EQ(o.lines.size(), qsizetype(run.lines.size())) << o.errors.toStdString();
        for (size_t i = 0; i < run.lines.size(); ++i) {
            const QJsonObject& line = o.lines[qsizetype(i)];
            EXPECT_EQ(std::pair(line["file"].toString(), line["recognised"].toBool()), std::pair(run.args[qsizetype(i) + 3], run.lines[i].recognised)) << i;
            if (run.lines[i].parameter) EXPECT_EQ(line["parameter"].toInt(), run.lines[i].parameter) << i;
            else EXPECT_TRUE(line["parameter"].isNull()) << i;
            EXPECT_TRUE(line["message"].toString().startsWith(QString::fromUtf8(run.lines[i].message)))
                << i << ": " << line["message"].toString().toStdString();
        }
        if (!read.isEmpty()) continue;
        read = o.lines;
        const QImage trace(m_dir.filePath(QStringLiteral("work/Markery.bmp")));
        EXPECT_EQ(trace.size(), alt.size()) << "the last card's trace";
    }
    // The recognised card: its program, code, grid and every mark read.
    ASSERT_FALSE(read.isEmpty());
    EXPECT_EQ(std::tuple(read[0]["program"].toInt(), read[0]["code"].toString(), read[0]["name"].toString()),
              std::tuple(1, QStringLiteral("1"), cardSpec(1).name));
    EXPECT_FALSE(read[6].contains(QStringLiteral("name"))) << "a refused card has none";
    const QJsonArray grid = read[0]["grid"].toArray();
    ASSERT_EQ(grid.size(), 4);
    EXPECT_GT(grid[0].toInt(), 0);
    EXPECT_GT(grid[2].toInt(), grid[3].toInt() / 4);
    EXPECT_TRUE(read[5].value(QStringLiteral("grid")).isNull() && read[6]["grid"].toArray().size() == 4) << "markers found, the card refused";
    const QJsonArray measurements = read[0]["measurements"].toArray();
    ASSERT_EQ(measurements.size(), 10);
    for (int s = 1; s <= 10; ++s) {
        const QJsonArray m = measurements[s - 1].toArray();
        EXPECT_EQ(m[0].toInt(), s);
        EXPECT_NEAR(m[2].toDouble(), 19.90 + 0.01 * (20 - s + 0.5), 0.0051) << s;
    }
    EXPECT_FALSE(QFile::exists(card));
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        EXPECT_EQ(ReadFile(it.key()), it.value()) << it.key().toStdString();
}

// Three stations empty one folder at once: every card stored exactly once, every file back.
class Stations : public HeadlessCommandTest, public ::testing::WithParamInterface<bool> {};

TEST_P(Stations, ThreeStationsStoreEveryCardExactlyOnce) {
    if (GetParam() && !startServer()) GTEST_SKIP() << "PostgreSQL is not installed";
    DbConnection& db = GetParam() ? m_pg : m_conn;
    const int cards = 8;
    for (int k = 1; k <= cards; ++k) dropCard(k, m_folder);
    const int before = LastId(db);
    SettingsStore(GetParam() ? m_pgIni : m_ini).write(QStringLiteral("Start"), QStringLiteral("Stanowisko"), QStringLiteral("hala1"));
    QProcess stations[3];
    for (int i = 0; i < 3; ++i) start(stations[i], autoArgs(GetParam() ? m_pgIni : m_ini), QStringLiteral("work%1").arg(i));
    QString logs;
    for (QProcess& p : stations) {
        const Outcome o = finish(p);
        EXPECT_EQ(o.status, 0) << o.errors.toStdString();
        logs += o.errors;
    }
    EXPECT_EQ(RowsPerCard(db, before).values(), QList<int>(cards, 2)) << "two rows a card; " << logs.toStdString();
    EXPECT_EQ(db.query(QStringLiteral("Select * from [Kartovo_ZapisaneKarty] Where Stacja='hala1'")).recordCount(), cards);
    EXPECT_EQ(logs.count(QStringLiteral(": zapisany,")), cards) << logs.toStdString();
    EXPECT_EQ(QDir(m_folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(), cards);
}

INSTANTIATE_TEST_SUITE_P(Db, Stations, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& i) { return i.param ? "PostgreSQL" : "SQLite"; });

// The server down hard: --once caught mid-card ends with 4, one starting then with 3; a running
// station stores the card that waited once the server is back.
TEST_F(HeadlessCommandTest, StoringResumesAfterTheServerRestarts) {
    if (!startServer()) GTEST_SKIP() << "PostgreSQL is not installed";
    const int before = LastId(m_pg);
    const QString first = dropCard(1, m_folder);
    const QByteArray card = ReadFile(first);
    // The test's lock holds the station's save until the server is gone.
    ASSERT_TRUE(m_pg.beginTransaction() && m_pg.execute(QStringLiteral("LOCK TABLE [SPC_Baza] IN ACCESS EXCLUSIVE MODE")));
    QProcess caught;
    start(caught, autoArgs(m_pgIni), QStringLiteral("work1"));
    ASSERT_TRUE(testing::WaitUntil([this] {
        return m_pg.query(QStringLiteral("Select count(*) as N from pg_locks Where not granted"))
                   .rows().value(0).value(QStringLiteral("N")).toInt() > 0;
    }, 60000));
    ASSERT_TRUE(serverCommand(false));
    const Outcome lost = finish(caught);
    EXPECT_TRUE(lost.status == 4 && ReadFile(first) == card) << lost.errors.toStdString();
    ASSERT_TRUE(serverCommand(true));

    QProcess station;
    start(station, autoArgs(m_pgIni, QStringLiteral("--interval 1")));
    QString log;
    ASSERT_TRUE(WaitFor(station, log, QStringLiteral("karta1.png: zapisany"))) << log.toStdString();
    ASSERT_TRUE(serverCommand(false));
    dropCard(2, m_folder);
    ASSERT_TRUE(WaitFor(station, log, QStringLiteral("brak połączenia z bazą danych"))) << log.toStdString();
    QProcess late;
    start(late, autoArgs(m_pgIni), QStringLiteral("work2"));
    EXPECT_EQ((std::pair{finish(late).status, serverCommand(true)}), std::pair(3, true)); // in this order
    ASSERT_TRUE(WaitFor(station, log, QStringLiteral("karta2.png: zapisany")) && station.state() == QProcess::Running) << log.toStdString();
    station.terminate(); // SIGTERM ends the station between cards, not in the middle of one
    const Outcome stopped = finish(station);
    EXPECT_EQ(std::pair(stopped.status, stopped.errors.contains(QStringLiteral("kartovo auto: zakończono"))), std::pair(0, true));
    log += stopped.errors;
    QProcess interrupted; // Ctrl+C (SIGINT) as well
    start(interrupted, autoArgs(m_pgIni, QStringLiteral("--interval 1"))), dropCard(3, m_folder);
    ASSERT_TRUE(WaitFor(interrupted, log, QStringLiteral("karta3.png: zapisany"))) << log.toStdString();
    ::kill(interrupted.processId(), SIGINT);
    EXPECT_TRUE(finish(interrupted).errors.contains(QStringLiteral("kartovo auto: zakończono")));

    ASSERT_TRUE(m_pg.open(m_pgConfig)) << m_pg.lastError().description.toStdString();
    EXPECT_EQ(RowsPerCard(m_pg, before).values(), (QList<int>{2, 2, 2}));
    EXPECT_EQ(log.count(QStringLiteral("brak połączenia z bazą danych")), 1) << "logged once: " << log.toStdString();
}

} // namespace
} // namespace kartovo::test
