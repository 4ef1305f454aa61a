#include "PipelineSupport.h"

#include "app/AutoMode.h"
#include "imaging/ImageFile.h"
#include "platform/WorkingFolder.h"

#include "db/StoredCards.h"

#include <QBuffer>
#include <sys/wait.h>
#include <unistd.h>
#include <QCryptographicHash>
#include <cmath>

namespace kartovo::test {
namespace {

QByteArray Content(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void Write(const QString& path, const QByteArray& bytes, bool aged = true) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    f.close();
    // A file the scanner finished long ago.
    if (aged) {
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime));
    }
}

// Row value of a mark the way a card's scale defines it: the middle of the
// row's band between OD and OG.
double Expected(double od, double og, int rows, int row) { return od + (og - od) / rows * (row + 0.5); }

class AutoModeTest : public PipelineTest {
protected:
    void SetUp() override {
        PipelineTest::SetUp();
        m_folder = m_dir.filePath(QStringLiteral("wymiana"));
        QDir().mkpath(m_folder);
        m_processor = std::make_unique<AutoCardProcessor>(m_conn, m_base, m_pictures);
        m_processor->setOptions(m_options);
        m_mode = makeMode();
    }
    std::unique_ptr<AutoMode> makeMode() {
        auto mode = std::make_unique<AutoMode>([this](QImage picture) { return m_processor->process(std::move(picture)); });
        mode->setFolder(m_folder); // typed without the separator
        mode->setLog([this](const QString& line) { m_log << line; });
        mode->setDatabase(&m_conn);
        mode->setClock([this] { return QDateTime::currentDateTimeUtc().addSecs(m_later); });
        return mode;
    }
    QByteArray png(const QImage& card) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        card.save(&buffer, "PNG");
        return bytes;
    }
    QString path(const char* name) const { return m_folder + u'/' + QLatin1String(name); }
    int maxId() {
        const Recordset r = m_conn.query(QStringLiteral("Select max(ID) as M from [SPC_Baza]"));
        return r.rows().value(0).value(QStringLiteral("M")).toInt();
    }
    QList<Record> rowsAfter(int id, int parameter) {
        return m_conn
            .query(QStringLiteral("Select * from [SPC_Baza] Where ID>%1 and IDPK=%2 Order by ID").arg(id).arg(parameter))
            .rows();
    }
    int countAfter(int id) {
        return m_conn.query(QStringLiteral("Select * from [SPC_Baza] Where ID>%1").arg(id)).recordCount();
    }
    int logged(const QString& text) const {
        int n = 0;
        for (const QString& l : m_log) n += l.contains(text) ? 1 : 0;
        return n;
    }

    // Sample card of parameter 1 (n = 5): 11 marks make two samples.
    std::vector<CellMark> sampleMarks() const {
        std::vector<CellMark> marks;
        for (int s = 1; s <= 11; ++s) marks.push_back({s, (s * 3) % 20});
        return marks;
    }
    // Individual values of parameter 2: three rows.
    std::vector<CellMark> individualMarks() const { return {{1, 2}, {2, 11}, {3, 19}}; }

    // The folder as an operator's scanner leaves it.
    void fillFolder() {
        Write(path("karta1.png"), png(render(cardSpec(1), 150.0, sampleMarks())));
        Write(path("karta2.png"), png(render(cardSpec(2, 2), 150.0, individualMarks())));
        Write(path("alt.png"), png(render(cardSpec(4, 4))));
        Write(path("notatka.txt"), "to nie jest obraz karty\n");
        Write(path("ab"), png(render(cardSpec(1), 150.0, {{1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}})));
        for (const char* name : {"karta1.png", "karta2.png", "alt.png", "notatka.txt", "ab"})
            m_before.insert(QLatin1String(name), Content(path(name)));
    }

    QString m_folder;
    std::unique_ptr<AutoCardProcessor> m_processor;
    std::unique_ptr<AutoMode> m_mode;
    QStringList m_log;
    QHash<QString, QByteArray> m_before;
    qint64 m_later = 0; // seconds the station's clock is ahead of the files
};

TEST_F(AutoModeTest, OneLookStoresEachCardOnceAndLeavesTheOriginalsAlone) {
    fillFolder();
    const int last = maxId();
    // The previous individual value of parameter 2 starts the first window of two.
    const QList<Record> history = m_conn.query(QStringLiteral("Select * from [SPC_Baza] Where IDPK=2 Order by ID")).rows();
    ASSERT_FALSE(history.isEmpty());
    double previous = history.last().value(QStringLiteral("W1")).toDouble();

    const AutoMode::Summary first = m_mode->tick();
    EXPECT_EQ(first.stored, 2);
    EXPECT_EQ(first.refused, 2) << m_log.join(u'\n').toStdString();
    EXPECT_TRUE(messages().isEmpty() && questions().isEmpty()) << "no window in automatic mode";

    const QList<Record> sample = rowsAfter(last, 1);
    ASSERT_EQ(sample.size(), 2) << "the two-character name is not a card";
    const std::vector<CellMark> marks = sampleMarks();
    for (int r = 0; r < 2; ++r) {
        const Record& row = sample[r];
        EXPECT_EQ(row.value(QStringLiteral("Lp")).toInt(), 5);
        EXPECT_EQ(row.value(QStringLiteral("ID1")).toString(), QStringLiteral("-"));
        double sum = 0;
        for (int i = 0; i < 5; ++i) {
            const double w = row.value(QStringLiteral("W%1").arg(i + 1)).toDouble();
            EXPECT_NEAR(w, Expected(19.90, 20.10, 20, marks[size_t(r * 5 + i)].row), 0.0051) << "row " << r << " W" << i + 1;
            sum += w;
        }
        // Srednia is a single-precision column.
        EXPECT_NEAR(row.value(QStringLiteral("Srednia")).toDouble(), sum / 5, 1e-4);
    }

    const QList<Record> individual = rowsAfter(last, 2);
    ASSERT_EQ(individual.size(), 3);
    for (int r = 0; r < 3; ++r) {
        const Record& row = individual[r];
        const double w = row.value(QStringLiteral("W1")).toDouble();
        EXPECT_NEAR(w, Expected(119.0, 121.0, 20, individualMarks()[size_t(r)].row), 0.051);
        EXPECT_EQ(row.value(QStringLiteral("Lp")).toInt(), 1);
        EXPECT_EQ(row.value(QStringLiteral("ID1")).toString(), QStringLiteral("-"));
        EXPECT_NEAR(row.value(QStringLiteral("Srednia")).toDouble(), (w + previous) / 2, 1e-4);
        previous = w;
    }
    EXPECT_EQ(countAfter(last), 5) << "nothing else was stored";

    for (auto it = m_before.cbegin(); it != m_before.cend(); ++it)
        EXPECT_EQ(Content(path(qPrintable(it.key()))), it.value()) << it.key().toStdString() << " changed or gone";
    EXPECT_EQ(logged(QStringLiteral("karta1.png: zapisany, parametr 1, wierszy 2")), 1) << m_log.join(u'\n').toStdString();
    EXPECT_EQ(logged(QStringLiteral("karta2.png: zapisany, parametr 2, wierszy 3")), 1);
    EXPECT_EQ(logged(QStringLiteral("alt.png: odrzucony: Parametr skanowanej karty zdefiniowany jest jako ALTERNATYWNY")), 1);
    EXPECT_EQ(logged(QStringLiteral("notatka.txt: odrzucony")), 1);

    // The next look: the stored cards are known, the refused ones tried again quietly.
    const AutoMode::Summary second = m_mode->tick();
    EXPECT_EQ(second.stored, 0);
    EXPECT_EQ(second.skipped, 2);
    EXPECT_EQ(second.refused, 2);
    EXPECT_EQ(countAfter(last), 5);
    EXPECT_EQ(logged(QStringLiteral("alt.png")), 1) << "an unchanged refusal is logged once";

    // After a restart the record in the database still knows them, and the
    // kept files are not logged again and again.
    m_mode = makeMode();
    m_log.clear();
    EXPECT_EQ(m_mode->tick().stored, 0);
    EXPECT_EQ(m_mode->tick().skipped, 2);
    EXPECT_EQ(countAfter(last), 5);
    EXPECT_EQ(logged(QStringLiteral("karta1.png: już zapisany")), 1) << m_log.join(u'\n').toStdString();
    EXPECT_EQ(m_conn.query(QStringLiteral("Select * from [Kartovo_ZapisaneKarty]")).recordCount(), 2);
    EXPECT_TRUE(QDir(m_folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size() == 5)
        << "no claim folder is left behind";
}

// A journal of cards stored before the record table existed goes into it once.
TEST_F(AutoModeTest, EarlierJournalIsReadIntoTheRecord) {
    const QByteArray card = png(render(cardSpec(1), 150.0, sampleMarks()));
    QFile journal(WorkingFile(AutoMode::JournalName()));
    ASSERT_TRUE(journal.open(QIODevice::WriteOnly));
    journal.write(AutoMode::FileHash(card) + "\t2024-01-02T03:04:05Z\tstara.png\n");
    journal.close();
    Write(path("karta1.png"), card);
    const int last = maxId();
    const AutoMode::Summary s = m_mode->tick();
    EXPECT_EQ(s.stored, 0);
    EXPECT_EQ(s.skipped, 1);
    EXPECT_EQ(countAfter(last), 0);
    EXPECT_FALSE(QFile::exists(WorkingFile(AutoMode::JournalName())));
    EXPECT_TRUE(IsCardStored(m_conn, AutoMode::FileHash(card)));
}

// The card goes on decoded, without a bitmap copy first; the working copy is
// what the road wrote: the cleaned grid of a read card, the picture itself
// when not even the markers were found.
// The journal holds SHA-256 in hex, whatever computes it.
TEST(AutoModeJournal, FileHashIsSha256InHex) {
    QByteArray big(1 << 20, '\0');
    for (int i = 0; i < big.size(); ++i) big[i] = char((i * 131) ^ (i >> 7));
    for (const QByteArray& content : {QByteArray(), QByteArray("abc"), big})
        EXPECT_EQ(AutoMode::FileHash(content), QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex());
    EXPECT_EQ(AutoMode::FileHash("abc"), QByteArray("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
}

TEST_F(AutoModeTest, WorkingCopyHoldsTheLastCardAsTheRoadLeftIt) {
    const QString working = WorkingFile(QStringLiteral("temp.bmp"));
    Write(path("karta1.png"), png(render(cardSpec(1), 150.0, sampleMarks())));
    ASSERT_EQ(m_mode->tick().stored, 1) << m_log.join(u'\n').toStdString();
    QImage copy;
    ASSERT_TRUE(LoadPicture(working, copy));
    EXPECT_EQ(copy, m_pictures.image(Picture::P2)); // the cleaned grid

    QImage blank(600, 800, QImage::Format_RGB32);
    blank.fill(qRgb(250, 250, 245));
    ASSERT_TRUE(QFile::remove(path("karta1.png")));
    Write(path("pusta.png"), png(blank));
    EXPECT_EQ(m_mode->tick().refused, 1);
    ASSERT_TRUE(LoadPicture(working, copy));
    EXPECT_EQ(copy, blank);
}

TEST_F(AutoModeTest, DeletionRemovesOnlyStoredCardsAndCopiesOfThem) {
    fillFolder();
    m_mode->setDeleteStored(true);
    const int last = maxId();
    EXPECT_EQ(m_mode->tick().deleted, 2);
    EXPECT_FALSE(QFile::exists(path("karta1.png")));
    EXPECT_FALSE(QFile::exists(path("karta2.png")));
    for (const char* kept : {"alt.png", "notatka.txt", "ab"}) EXPECT_EQ(Content(path(kept)), m_before.value(QLatin1String(kept))) << kept;

    // The same scan sent again is not stored twice: it was, so it goes.
    Write(path("znowu.png"), m_before.value(QStringLiteral("karta1.png")));
    const AutoMode::Summary again = m_mode->tick();
    EXPECT_EQ(again.stored, 0);
    EXPECT_EQ(again.deleted, 1);
    EXPECT_FALSE(QFile::exists(path("znowu.png")));
    EXPECT_EQ(countAfter(last), 5);
}

TEST_F(AutoModeTest, FileStillBeingWrittenIsTakenOnlyOnceComplete) {
    const QByteArray whole = png(render(cardSpec(1), 150.0, sampleMarks()));
    const QString file = path("skan.png");
    // The scanner has written half of it just now.
    Write(file, whole.left(whole.size() / 2), false);
    const int last = maxId();
    AutoMode::Summary s = m_mode->tick();
    EXPECT_EQ(s.waiting, 1);
    EXPECT_EQ(s.refused, 0) << "a half-written file is not even read";
    // Still growing at the next look.
    Write(file, whole, false);
    s = m_mode->tick();
    EXPECT_EQ(s.waiting, 1);
    EXPECT_EQ(countAfter(last), 0);
    // Unchanged for the settle time since: complete.
    m_later += 11;
    s = m_mode->tick();
    EXPECT_EQ(s.stored, 1) << m_log.join(u'\n').toStdString();
    EXPECT_EQ(rowsAfter(last, 1).size(), 2);
    EXPECT_EQ(Content(file), whole);

    // A writer that stopped half-way long ago: the cut file is never stored.
    const QByteArray other = png(render(cardSpec(2, 2), 150.0, individualMarks()));
    Write(path("urwany.png"), other.left(other.size() * 2 / 3));
    s = m_mode->tick();
    EXPECT_EQ(s.stored, 0);
    EXPECT_EQ(s.refused, 1);
    EXPECT_EQ(rowsAfter(last, 2).size(), 0);
    EXPECT_TRUE(QFile::exists(path("urwany.png")));
    EXPECT_FALSE(IsCardStored(m_conn, AutoMode::FileHash(other.left(other.size() * 2 / 3))));
}

// The claim folder of a station killed in mid-card is returned: at once when
// its process is gone from this host, after the timeout when it is another
// host's; a live claim is left alone.
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
    Write(deadClaim + QStringLiteral("/karta1.png"), png(render(cardSpec(1), 150.0, sampleMarks())));
    Write(otherClaim + QStringLiteral("/karta2.png"), png(render(cardSpec(2, 2), 150.0, individualMarks())));
    const int last = maxId();

    AutoMode::Summary s = m_mode->tick();
    EXPECT_EQ(s.stored, 1) << m_log.join(u'\n').toStdString();
    EXPECT_EQ(rowsAfter(last, 1).size(), 2);
    EXPECT_TRUE(QFile::exists(path("karta1.png")));
    EXPECT_FALSE(QDir(deadClaim).exists());
    EXPECT_TRUE(QFile::exists(otherClaim + QStringLiteral("/karta2.png"))) << "another host's recent claim";

    m_mode->setClaimTimeoutMs(0);
    s = m_mode->tick();
    EXPECT_EQ(s.stored, 1);
    EXPECT_EQ(rowsAfter(last, 2).size(), 3);
    EXPECT_FALSE(QDir(otherClaim).exists());
}

TEST_F(AutoModeTest, UnreadableFileAndMissingFolderDoNotStopTheLook) {
    Write(path("zamkniety.png"), png(render(cardSpec(1), 150.0, sampleMarks())));
    ASSERT_TRUE(QFile(path("zamkniety.png")).setPermissions(QFileDevice::WriteOwner));
    // Root reads it all the same; then it is simply a card.
    const bool closed = !QFile(path("zamkniety.png")).open(QIODevice::ReadOnly);
    Write(path("zwykly.png"), png(render(cardSpec(2, 2), 150.0, individualMarks())));
    const AutoMode::Summary s = m_mode->tick();
    EXPECT_EQ(s.stored, closed ? 1 : 2);
    if (closed) {
        EXPECT_EQ(logged(QStringLiteral("zamkniety.png: nie można otworzyć pliku")), 1);
    }

    m_mode->setFolder(m_dir.filePath(QStringLiteral("brak")));
    const AutoMode::Summary missing = m_mode->tick();
    EXPECT_EQ(missing.stored + missing.refused + missing.waiting, 0);
    EXPECT_EQ(logged(QStringLiteral("brak katalogu wymiany")), 1);
}

// The next file is claimed and decoding while a card is stored: when the
// database goes away meanwhile, both go back to the folder untouched and the
// next look stores each of them once, in listing order.
TEST_F(AutoModeTest, FilesClaimedAheadGoBackWhenTheDatabaseIsLost) {
    Write(path("karta1.png"), png(render(cardSpec(1), 150.0, sampleMarks())));
    Write(path("karta2.png"), png(render(cardSpec(2, 2), 150.0, individualMarks())));
    Write(path("karta3.png"), png(render(cardSpec(2, 2), 150.0, {{1, 5}, {2, 6}, {3, 7}})));
    const QByteArray second = Content(path("karta2.png"));
    const int last = maxId();
    bool lost = true;
    QStringList order;
    auto mode = std::make_unique<AutoMode>([&](QImage picture) {
        order << picture.text(kCardNameKey);
        if (lost) return AutoCardResult{.connectionLost = true};
        return m_processor->process(std::move(picture));
    });
    mode->setFolder(m_folder);
    mode->setLog([this](const QString& line) { m_log << line; });
    mode->setDatabase(&m_conn);
    AutoMode::Summary s = mode->tick();
    EXPECT_EQ(s.stored, 0);
    EXPECT_EQ(order, QStringList{QStringLiteral("karta1.png")});
    EXPECT_EQ(countAfter(last), 0);
    EXPECT_EQ(Content(path("karta2.png")), second) << "the file claimed ahead is back";
    EXPECT_EQ(QDir(m_folder).entryList(QDir::Files).size(), 3);

    lost = false;
    order.clear();
    s = mode->tick();
    EXPECT_EQ(s.stored, 3) << m_log.join(u'\n').toStdString();
    EXPECT_EQ(order, (QStringList{QStringLiteral("karta1.png"), QStringLiteral("karta2.png"), QStringLiteral("karta3.png")}));
    EXPECT_EQ(rowsAfter(last, 1).size(), 2);
    EXPECT_EQ(rowsAfter(last, 2).size(), 6);
    EXPECT_EQ(mode->tick().stored, 0);
}

TEST(ExchangeFolder, GetsItsSeparator) {
    EXPECT_EQ(ExchangeFolderWithSeparator(QStringLiteral("/srv/skany")), QStringLiteral("/srv/skany/"));
    EXPECT_EQ(ExchangeFolderWithSeparator(QStringLiteral("/srv/skany/")), QStringLiteral("/srv/skany/"));
    EXPECT_EQ(ExchangeFolderWithSeparator(QString()), QString());
}

} // namespace
} // namespace kartovo::test
