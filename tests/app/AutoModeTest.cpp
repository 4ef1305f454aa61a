#include "AppTestSupport.h"

#include "app/AutoMode.h"
#include "db/StoredCards.h"
#include "imaging/ImageFile.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <array>
#include <sys/wait.h>
#include <unistd.h>

namespace kartovo::test {
namespace {

QByteArray Sha(const QByteArray& bytes) { return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex(); }

// Row value of a mark: the middle of the row's band between OD and OG.
double Expected(double od, double og, int rows, int row) { return od + (og - od) / rows * (row + 0.5); }

class AutoModeTest : public PipelineTest {
protected:
    void SetUp() override {
        PipelineTest::SetUp();
        m_processor = std::make_unique<AutoCardProcessor>(m_conn, m_base, m_pictures);
        m_processor->setOptions(m_options);
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
                                .arg(parameter ? QStringLiteral(" and IDPK=%1").arg(parameter) : QString()))
            .rows();
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
        {QStringLiteral("alt.png"), png(render(cardSpec(4, 4)))},                  // an alternative parameter
        {QStringLiteral("bazgroly.png"), png(render(cardSpec(1), 150.0, scribbled))}, // marks nobody makes
        {QStringLiteral("urwany.png"), cut.left(cut.size() * 2 / 3)},                  // a writer that stopped
        {QStringLiteral("notatka.txt"), "to nie jest obraz karty\n"},
        {QStringLiteral("ab"), sampleCard()}}; // two characters: not a card
    for (auto it = files.cbegin(); it != files.cend(); ++it) WriteFile(path(it.key()), it.value());
    const QList<Record> history = m_conn.query(QStringLiteral("Select * from [SPC_Baza] Where IDPK=2 Order by ID")).rows();
    ASSERT_FALSE(history.isEmpty());
    double previous = history.last().value(QStringLiteral("W1")).toDouble();

    EXPECT_EQ(Counts(m_mode->tick()), (std::array{2, 4, 0, 0, 0})) << m_log.join(u'\n').toStdString();
    EXPECT_TRUE(m_messages.empty()) << "no window in automatic mode";
    const QList<Record> sample = rows(1);
    ASSERT_EQ(sample.size(), 2);
    for (int r = 0; r < 2; ++r) {
        double sum = 0;
        for (int i = 0; i < 5; ++i) {
            const double w = sample[r].value(QStringLiteral("W%1").arg(i + 1)).toDouble();
            EXPECT_NEAR(w, Expected(19.90, 20.10, 20, m_sample[size_t(r * 5 + i)].row), 0.0051) << r << " W" << i + 1;
            sum += w;
        }
        EXPECT_EQ(sample[r].value(QStringLiteral("Lp")).toInt(), 5);
        EXPECT_EQ(sample[r].value(QStringLiteral("ID1")).toString(), QStringLiteral("-"));
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
    ASSERT_TRUE(LoadPicture(WorkingFile(QStringLiteral("temp.bmp")), copy));
    EXPECT_EQ(copy, m_pictures.image(Picture::P2));

    // The next look: stored cards are known, refused ones tried again and not logged again.
    EXPECT_EQ(Counts(m_mode->tick()), (std::array{0, 4, 0, 2, 0}));
    EXPECT_EQ(logged(QStringLiteral("alt.png")), 1);
    // After a restart the record in the database still knows them.
    m_mode = makeMode([this](QImage picture) { return m_processor->process(std::move(picture)); });
    EXPECT_EQ(Counts(m_mode->tick()), (std::array{0, 4, 0, 2, 0}));
    EXPECT_EQ(rows().size(), 5);
    EXPECT_EQ(entries().size(), files.size()) << "no claim folder is left behind";
    for (auto it = files.cbegin(); it != files.cend(); ++it)
        EXPECT_EQ(FileBytes(path(it.key())), it.value()) << it.key().toStdString() << " changed or gone";

    // Deletion on: only the stored cards go, also the same scan sent again.
    m_mode->setDeleteStored(true);
    EXPECT_EQ(Counts(m_mode->tick()), (std::array{0, 4, 0, 2, 2}));
    WriteFile(path(QStringLiteral("znowu.png")), files[QStringLiteral("karta1.png")]);
    EXPECT_EQ(Counts(m_mode->tick()), (std::array{0, 4, 0, 1, 1}));
    EXPECT_EQ(rows().size(), 5);
    EXPECT_EQ(record().size(), 2);
    QStringList kept = files.keys();
    for (const char* gone : {"karta1.png", "karta2.png"}) kept.removeOne(QLatin1String(gone));
    kept.sort();
    EXPECT_EQ(entries(), kept);
    for (const QString& name : kept) EXPECT_EQ(FileBytes(path(name)), files[name]) << name.toStdString();
}

// Taken once unchanged for exactly AutoZwloka seconds; a time ahead of the
// clock counts from the first look that saw the file as it is.
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
    EXPECT_EQ(rows(1).size(), 2);
    EXPECT_EQ(rows(2).size(), 0);
    now = t0.addSecs(1);
    EXPECT_EQ(Counts(m_mode->tick()), (std::array{1, 0, 1, 1, 0}));
    EXPECT_EQ(rows(2).size(), 3);

    // Grown meanwhile: counted afresh from the look that sees it whole.
    WriteFile(path(QStringLiteral("rosnacy.png")), growing, t0.addSecs(3600));
    for (int second : {2, 8}) {
        now = t0.addSecs(second);
        EXPECT_EQ(Counts(m_mode->tick()), (std::array{0, 0, 1, 2, 0})) << "at " << second << " s";
    }
    now = t0.addSecs(9);
    EXPECT_EQ(m_mode->tick().stored, 1) << m_log.join(u'\n').toStdString();
    EXPECT_EQ(rows(2).size(), 6);
    EXPECT_EQ(FileBytes(path(QStringLiteral("rosnacy.png"))), growing);
    EXPECT_EQ(record().size(), 3);
}

// A row refused mid-card: nothing of it stays, nor its record; stored once the database takes it.
// A card of the station's earlier journal goes into the record and is not stored again.
TEST_F(AutoModeTest, CardRefusedByTheDatabaseStaysForTheNextLook) {
    const QByteArray card = sampleCard(), journaled = individualCard(m_individual);
    WriteFile(WorkingFile(AutoMode::journalName()), Sha(journaled) + "\t2024-01-02T03:04:05Z\tstara.png\n");
    WriteFile(path(QStringLiteral("karta1.png")), card);
    WriteFile(path(QStringLiteral("karta2.png")), journaled);
    const int before = int(m_conn.query(QStringLiteral("Select * from [SPC_Baza] Where IDPK=1")).recordCount());
    ASSERT_TRUE(m_conn.execute(QStringLiteral("CREATE TRIGGER refuse_second BEFORE INSERT ON SPC_Baza "
                                              "WHEN (SELECT count(*) FROM SPC_Baza WHERE IDPK = 1) >= %1 "
                                              "BEGIN SELECT RAISE(ABORT, 'drugi wiersz odrzucony'); END")
                                   .arg(before + 1)));
    EXPECT_EQ(Counts(m_mode->tick()), (std::array{0, 1, 0, 1, 0}));
    EXPECT_EQ(logged(QStringLiteral("drugi wiersz odrzucony")), 1) << m_log.join(u'\n').toStdString();
    EXPECT_TRUE(rows().isEmpty());
    EXPECT_EQ(record(), QSet{Entry(journaled, "stara.png")});
    EXPECT_FALSE(QFile::exists(WorkingFile(AutoMode::journalName())));
    EXPECT_EQ(FileBytes(path(QStringLiteral("karta1.png"))), card);

    ASSERT_TRUE(m_conn.execute(QStringLiteral("DROP TRIGGER refuse_second")));
    EXPECT_EQ(m_mode->tick().stored, 1);
    EXPECT_EQ(m_mode->tick().stored, 0);
    EXPECT_EQ(rows().size(), 2);
    EXPECT_EQ(record(), (QSet{Entry(card, "karta1.png"), Entry(journaled, "stara.png")}));
}

// No record table (a view holds its name): the stored cards go to the journal file, a failed write is said.
TEST_F(AutoModeTest, WithoutARecordTableTheJournalIsWrittenOrItsFailureSaid) {
    ASSERT_TRUE(m_conn.execute(QStringLiteral("DROP TABLE IF EXISTS %1").arg(kStoredCardsTable)));
    ASSERT_TRUE(m_conn.execute(QStringLiteral("CREATE VIEW %1 AS SELECT 1 AS X").arg(kStoredCardsTable)));
    const QString journal = WorkingFile(AutoMode::journalName());
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/full"), journal)); // fails every write
    WriteFile(path(QStringLiteral("karta1.png")), sampleCard());
    EXPECT_EQ(m_mode->tick().stored, 1);
    EXPECT_EQ(logged(QStringLiteral("nie można zapisać dziennika")), 1) << m_log.join(u'\n').toStdString();
    ASSERT_TRUE(QFile::remove(journal));
    WriteFile(path(QStringLiteral("karta2.png")), individualCard(m_individual));
    EXPECT_EQ(m_mode->tick().stored, 1);
    EXPECT_EQ(logged(QStringLiteral("nie można zapisać dziennika")), 1) << m_log.join(u'\n').toStdString();
    EXPECT_TRUE(FileBytes(journal).contains("karta2.png"));
    EXPECT_EQ(logged(QStringLiteral("UWAGA: baza danych nie pozwala")), 1) << "the warning once, not every look";
}

// A dead station's claim is returned: at once on this host, after the timeout from another.
TEST_F(AutoModeTest, ClaimsOfADeadStationAreReturned) {
    const pid_t dead = fork();
    if (dead == 0) _exit(0);
    ASSERT_GT(dead, 0);
    ASSERT_EQ(waitpid(dead, nullptr, 0), dead);
    const QString host = QFileInfo(QDir(m_mode->claimFolder()).absolutePath()).fileName().section(u'-', 1, -2);
    const QString deadClaim = m_folder + QStringLiteral("/.kartovo-%1-%2").arg(host).arg(dead);
    const QString otherClaim = m_folder + QStringLiteral("/.kartovo-innykomputer-17");
    QDir().mkpath(deadClaim);
    QDir().mkpath(otherClaim);
    WriteFile(deadClaim + QStringLiteral("/karta1.png"), sampleCard());
    WriteFile(otherClaim + QStringLiteral("/karta2.png"), individualCard(m_individual));

    EXPECT_EQ(m_mode->tick().stored, 1) << m_log.join(u'\n').toStdString();
    EXPECT_EQ(rows(1).size(), 2);
    EXPECT_EQ(entries(), (QStringList{QStringLiteral(".kartovo-innykomputer-17"), QStringLiteral("karta1.png")}));
    EXPECT_TRUE(QFile::exists(otherClaim + QStringLiteral("/karta2.png"))) << "another host's recent claim";
    m_mode->setClaimTimeoutMs(0);
    EXPECT_EQ(m_mode->tick().stored, 1);
    EXPECT_EQ(rows(2).size(), 3);
    EXPECT_EQ(entries(), (QStringList{QStringLiteral("karta1.png"), QStringLiteral("karta2.png")}));

    // Its own claim folder cannot be made (a dangling link in its place): said, the card stays.
    const QString mine = QDir::cleanPath(m_mode->claimFolder());
    ASSERT_TRUE(QFile::link(m_dir.filePath(QStringLiteral("nie/ma")), mine));
    WriteFile(path(QStringLiteral("karta3.png")), individualCard({{1, 5}, {2, 6}, {3, 7}}));
    EXPECT_EQ(Counts(m_mode->tick()), (std::array{0, 0, 0, 2, 0}));
    EXPECT_EQ(logged(QStringLiteral("nie można utworzyć katalogu")), 1) << m_log.join(u'\n').toStdString();
    EXPECT_EQ(logged(QStringLiteral("karta3.png")), 0) << m_log.join(u'\n').toStdString();
    ASSERT_TRUE(QFile::remove(mine));
    EXPECT_EQ(m_mode->tick().stored, 1);
}

// The database lost: before a look nothing is taken; mid-look the card and the one claimed ahead go
// back, stored once later in order.
TEST_F(AutoModeTest, FilesClaimedAheadGoBackWhenTheDatabaseIsLost) {
    WriteFile(path(QStringLiteral("karta1.png")), sampleCard());
    WriteFile(path(QStringLiteral("karta2.png")), individualCard(m_individual));
    WriteFile(path(QStringLiteral("karta3.png")), individualCard({{1, 5}, {2, 6}, {3, 7}}));
    const QByteArray second = FileBytes(path(QStringLiteral("karta2.png")));
    bool lost = true;
    QStringList order;
    const auto processor = [&](QImage picture) {
        order << picture.text(kCardNameKey);
        if (lost) return AutoCardResult{.connectionLost = true};
        return m_processor->process(std::move(picture));
    };
    auto mode = makeMode(processor);
    m_conn.close(); // lost before the look: nothing is claimed or read, all wait
    EXPECT_EQ(Counts(mode->tick()), (std::array{0, 0, 3, 0, 0}));
    EXPECT_TRUE(order.isEmpty());
    EXPECT_EQ(logged(QStringLiteral("brak połączenia z bazą danych")), 1);
    ASSERT_TRUE(m_conn.openSqliteFile(m_demo + QStringLiteral("/Norv.mdb")));
    EXPECT_EQ(Counts(mode->tick()), (std::array{0, 0, 3, 0, 0})) << "lost mid-look: every file waits";
    EXPECT_EQ(logged(QStringLiteral("czekające 3")), 1) << m_log.join(u'\n').toStdString();
    EXPECT_EQ(order, QStringList{QStringLiteral("karta1.png")});
    EXPECT_EQ(FileBytes(path(QStringLiteral("karta2.png"))), second) << "the file claimed ahead is back";
    EXPECT_EQ(entries().size(), 3);

    lost = false;
    order.clear();
    EXPECT_EQ(Counts(mode->tick()), (std::array{3, 0, 0, 0, 0})) << m_log.join(u'\n').toStdString();
    EXPECT_EQ(order, (QStringList{QStringLiteral("karta1.png"), QStringLiteral("karta2.png"), QStringLiteral("karta3.png")}));
    EXPECT_EQ(rows(1).size(), 2);
    EXPECT_EQ(rows(2).size(), 6);
    EXPECT_EQ(mode->tick().stored, 0);
    EXPECT_EQ(record().size(), 3);
    // Restarted, the station knows them from the record without reading them again.
    order.clear();
    EXPECT_EQ(makeMode(processor)->tick().skipped, 3);
    EXPECT_TRUE(order.isEmpty()) << order.join(u' ').toStdString();
}

} // namespace
} // namespace kartovo::test
