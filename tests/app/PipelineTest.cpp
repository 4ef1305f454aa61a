#include "PipelineSupport.h"

#include "imaging/ImageFile.h"
#include "platform/WorkingFolder.h"
#include "recognition/CardIdentification.h"
#include "recognition/Markers.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>

namespace kartovo::test {
namespace {

const QString kQuestion = QStringLiteral("Czy chcesz ręcznie wskazać program kontroli zeskanowanej karty ?");

QString Joined(std::initializer_list<const char*> lines) {
    QStringList l;
    for (const char* s : lines) l << QString::fromUtf8(s);
    return l.join(QChar(13));
}

TEST_F(PipelineTest, RecognisedCardIsCleanedDrawnAndReadyToRead) {
    const CardState card = run(render(cardSpec(1)), true);

    EXPECT_TRUE(card.DialogAccepted);
    EXPECT_TRUE(m_messages.empty());
    EXPECT_EQ(card.CardParameter.value(QStringLiteral("ID")).toInt(), 1);
    EXPECT_EQ(card.ControlProgram.value(QStringLiteral("ID")).toInt(), 1);
    EXPECT_EQ(card.CodeBits, QStringLiteral("1"));
    EXPECT_FLOAT_EQ(card.Grid.RangeTop, 20.10f);
    EXPECT_FLOAT_EQ(card.Grid.RangeBottom, 19.90f);
    EXPECT_EQ(m_view.statuses.last(), QStringLiteral("Gotowy do czytania"));
    EXPECT_TRUE(m_view.statuses.contains(QStringLiteral("Konwertuję obraz na B&W")));
    EXPECT_FALSE(m_view.statuses.contains(QStringLiteral("Obracam obraz")));
    EXPECT_EQ(m_view.readButtons, 1);
    EXPECT_EQ(m_view.busyDepth, 0);
    EXPECT_EQ(m_view.maxProgress, 100);

    // P1 is the cleaned grid cut-out with the grid drawn over it; the working
    // file holds the cleaned cut-out without the grid.
    const QImage& p1 = m_pictures.image(Picture::P1);
    EXPECT_EQ(p1.size(), card.GridRect.size() + QSize(1, 1));
    EXPECT_EQ(p1.pixel(0, p1.height() / 2), kGridLineColour);
    EXPECT_EQ(card.Grid.GridRight, p1.width() - 1);
    EXPECT_NEAR(card.Grid.ColumnWidth, (p1.width() - 1) / 25.0, 1e-3);
    QImageReader reader(card.ImagePath);
    EXPECT_EQ(reader.format(), QByteArray("bmp"));
    const QImage saved = reader.read();
    EXPECT_EQ(saved.size(), p1.size());
    for (int x = 0; x < saved.width(); x += 7) {
        const QRgb c = saved.pixel(x, saved.height() / 3);
        EXPECT_TRUE(qGray(c) == 0 || qGray(c) == 255) << "not black and white at x " << x;
    }
    EXPECT_TRUE(QFileInfo::exists(WorkingFile(QStringLiteral("Markery.bmp"))));
    EXPECT_TRUE(QFileInfo::exists(WorkingFile(QStringLiteral("Kod.bmp"))));
}

TEST_F(PipelineTest, CleaningStepsRunInTheirFixedOrder) {
    m_options.colourFilter = true;
    m_options.removeNoise = true;
    m_options.filterRed = 255; // keeps nothing as ink: every later step sees white
    const CardState card = run(render(cardSpec(1)), false);
    ASSERT_TRUE(card.DialogAccepted);
    const QStringList expected{QStringLiteral("Konwertuję obraz na B&W"), QStringLiteral("Filtruję kolory"),
                               QStringLiteral("Usuwam z obrazu szum"), QStringLiteral("Gotowy do czytania")};
    EXPECT_EQ(m_view.statuses.mid(m_view.statuses.size() - 4), expected);
}

struct Refusal {
    const char* name;
    int id;
    int layoutId;
    QString text;
    enum Picture { Card, WithoutCodeBars, Blank } picture = Card;
};

class RefusalTest : public PipelineTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(RefusalTest, RefusedWithItsTextAndTheManualChoiceOnlyWhenShowingMessages) {
    const Refusal& r = GetParam();
    const CardSpec spec = cardSpec(r.id, r.layoutId);
    QImage img(900, 1200, QImage::Format_RGB32);
    img.fill(Qt::white);
    if (r.picture == Refusal::Card) img = render(spec);
    if (r.picture == Refusal::WithoutCodeBars) img = WithoutCodeBars(render(spec), spec, 150.0);
    // Without markers there is no grid to assign by hand: no question.
    const QStringList question = r.picture == Refusal::Blank ? QStringList() : QStringList{kQuestion};

    const CardState shown = run(img, true);
    EXPECT_FALSE(shown.DialogAccepted);
    EXPECT_EQ(shown.Refusal, r.text);
    ASSERT_EQ(messages().size(), 1);
    EXPECT_EQ(messages().first(), r.text);
    EXPECT_EQ(m_messages.front().style, 16);
    EXPECT_EQ(m_messages.front().alignment, 2);
    EXPECT_EQ(questions(), question);
    EXPECT_EQ(shown.MarkersFound, r.picture != Refusal::Blank);
    EXPECT_EQ(shown.CodeBits.isEmpty(), r.picture != Refusal::Card);
    // An unrecognised card's working file is the picture as loaded.
    if (r.picture == Refusal::Blank) EXPECT_EQ(QImage(shown.ImagePath).size(), img.size());
    EXPECT_EQ(m_view.choices, 0); // the question was answered NIE
    EXPECT_EQ(m_view.readButtons, 0);
    EXPECT_EQ(m_view.statuses.last(), QStringLiteral("Karta odrzucona: ") + JoinLines(r.text));

    m_messages.clear();
    const CardState silent = run(img, false);
    EXPECT_FALSE(silent.DialogAccepted);
    EXPECT_EQ(silent.Refusal, r.text);
    EXPECT_TRUE(m_messages.empty());
    EXPECT_EQ(m_view.choices, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Lookup, RefusalTest,
    ::testing::Values(
        Refusal{"NoParameter", 12, 1,
                Joined({"Nie znaleziono parametru skanowanej karty.",
                        "Parametr nie istnieje lub wystąpił błąd podczas przetwarzania zeskanowanej karty.",
                        "Skanuj jeszcze raz lub ręcznie wskaż program kontroli."})},
        Refusal{"Alternative", 4, 4,
                Joined({"Parametr skanowanej karty zdefiniowany jest jako ALTERNATYWNY. ",
                        "   Prawdopodobnie połączony jesteś z niewłaściwą bazą danych."})},
        Refusal{"NoGridScale", 7, 1,
                Joined({"Dla parametru skanowanej karty nie zdefiniowany podziałki siatki. ",
                        "    Prawdopodobnie połączony jesteś z niewłaściwą bazą danych."})},
        Refusal{"NoProgram", 20, 1,
                Joined({"Nie znaleziono programu kontroli dla skanowanej karty. ",
                        "Program kontroli nie istnieje lub wystąpił błąd podczas przetwarzania zeskanowanej karty.",
                        "Skanuj jeszcze raz lub ręcznie wskaż program kontroli."})},
        Refusal{"NoRange", 21, 1,
                Joined({"Parametr skanowanej karty nie ma określonej górnej ani dolnej granicy (OG, OD).",
                        "Nie można wyznaczyć wartości pomiarów z siatki karty."})},
        Refusal{"UnreadableCode", 5, 5,
                Joined({"Niepoprawnie odczytane pole kodujące parametr.", "Zmień parametry skanowania."}),
                Refusal::WithoutCodeBars},
        Refusal{"NoMarkers", 1, 1,
                Joined({"Brak markera(ów) na obrazie", "Początek siatki (Oś X)", "Długość siatki (Oś X)",
                        "Początek siatki (Oś Y)", "Wysokość siatki (Oś Y)", "Zmień parametry skanowania !"}),
                Refusal::Blank}),
    [](const ::testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

// The trace file is written while the card goes on; it is complete when the
// load returns, shows the green trace but not the code field's outline, and
// the refused card is shown with both.
TEST_F(PipelineTest, TraceFileAndTheRefusedCardShowTheSearch) {
    const QImage img = render(cardSpec(12));
    for (const bool showMessages : {false, true}) {
        SCOPED_TRACE(showMessages);
        QFile::remove(WorkingFile(QStringLiteral("Markery.bmp")));
        const CardState card = run(img, showMessages);
        ASSERT_TRUE(card.MarkersFound);
        ASSERT_FALSE(card.DialogAccepted);
        QImage file;
        ASSERT_TRUE(LoadPicture(WorkingFile(QStringLiteral("Markery.bmp")), file));
        const QImage& shown = m_pictures.image(Picture::P2);
        ASSERT_EQ(file.size(), img.size());
        ASSERT_EQ(shown.size(), img.size());
        const auto count = [](const QImage& p, QRgb c) {
            int n = 0;
            for (int y = 0; y < p.height(); ++y)
                for (int x = 0; x < p.width(); ++x) n += (p.pixel(x, y) & 0xffffffu) == (c & 0xffffffu);
            return n;
        };
        const int green = count(file, qRgb(0, 255, 0));
        EXPECT_GT(green, img.width()); // at least the first examined row
        QImage painted = img.convertToFormat(QImage::Format_RGB32);
        PaintSearchTrace(painted, FindMarkers(painted));
        EXPECT_TRUE(file == painted) << "the file shows exactly the examined pixels";
        EXPECT_EQ(count(file, qRgb(0, 0, 255)), 0);
        EXPECT_GT(count(shown, qRgb(0, 0, 255)), 0);
        // The outline only covers trace pixels, never adds any.
        EXPECT_LE(count(shown, qRgb(0, 255, 0)), green);
    }
}

TEST_F(PipelineTest, ManualChoiceAfterARefusalGivesAReadableCard) {
    m_answer = true; // TAK to the question
    m_view.chooseAnswer = true;
    m_view.chosenProgram = 2;
    m_view.chosenParameter = 5;
    const CardState card = run(render(cardSpec(12)), true);
    EXPECT_EQ(m_view.choices, 1);
    EXPECT_TRUE(card.DialogAccepted);
    EXPECT_TRUE(card.ChosenByHand);
    EXPECT_EQ(card.CardParameter.value(QStringLiteral("ID")).toInt(), 5);
    EXPECT_EQ(card.ControlProgram.value(QStringLiteral("ID")).toInt(), 2);
    EXPECT_FLOAT_EQ(card.Grid.RangeTop, 8.04f); // extended range of parameter 5
    EXPECT_EQ(m_view.readButtons, 1);
    EXPECT_EQ(m_pictures.image(Picture::P1).pixel(0, 5), kGridLineColour);

    // A cancelled choice leaves the card refused.
    m_view.chooseAnswer = false;
    EXPECT_FALSE(run(render(cardSpec(12)), true).DialogAccepted);
}

TEST_F(PipelineTest, ConfirmationOnlyWhenAskedAndShowingMessages) {
    m_options.askConfirmation = true;
    m_view.confirmAnswer = false;
    const CardState refused = run(render(cardSpec(2, 2)), true);
    EXPECT_EQ(m_view.confirmations, 1);
    EXPECT_FALSE(refused.DialogAccepted);
    EXPECT_EQ(questions(), QStringList{kQuestion});
    EXPECT_TRUE(messages().isEmpty());

    m_view.confirmAnswer = true;
    EXPECT_TRUE(run(render(cardSpec(2, 2)), true).DialogAccepted);
    EXPECT_EQ(m_view.confirmations, 2);

    m_view.confirmAnswer = false;
    EXPECT_TRUE(run(render(cardSpec(2, 2)), false).DialogAccepted);
    EXPECT_EQ(m_view.confirmations, 2);
}

TEST_F(PipelineTest, RotatedScansReadBackThroughTheRotationSetting) {
    const QImage upright = render(cardSpec(9, 9));
    for (const auto& [turn, setting] : {std::pair{90, 2}, std::pair{-90, 1}}) {
        ScanDefects d;
        d.rotation = turn;
        const QImage scan = ApplyScanDefects(upright, d);
        m_options.rotation = setting;
        m_view.statuses.clear();
        const CardState card = run(scan, false);
        EXPECT_TRUE(card.DialogAccepted) << "turned " << turn;
        EXPECT_EQ(card.CardParameter.value(QStringLiteral("ID")).toInt(), 9);
        EXPECT_TRUE(m_view.statuses.contains(QStringLiteral("Obracam obraz")));
    }
    // Turned the wrong way back, the card is upside down and not recognised.
    ScanDefects d;
    d.rotation = 90;
    m_options.rotation = 1;
    EXPECT_FALSE(run(ApplyScanDefects(upright, d), false).DialogAccepted);
}

TEST_F(PipelineTest, UndecodableWorkingFileIsRefusedWithoutStopping) {
    CardState state;
    state.ImagePath = WorkingFile(QStringLiteral("temp.bmp"));
    QFile f(state.ImagePath);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("BM not a bitmap");
    f.close();
    CardPipeline pipeline(state, m_pictures, m_conn, m_base);
    pipeline.setView(&m_view);
    pipeline.ZaladujPlikGraf(true);
    EXPECT_FALSE(state.DialogAccepted);
    EXPECT_TRUE(state.Refusal.startsWith(QStringLiteral("Nie można odczytać obrazu karty.")));
    EXPECT_EQ(m_view.busyDepth, 0);
    EXPECT_EQ(m_view.readButtons, 0);
}

TEST_F(PipelineTest, LookupOfNullProgramIdAndNullCardType) {
    // A parameter without IDP names no program (instead of an invalid query).
    Record r = extraParameter(22, 1, 12.0, 10.0);
    r.set(QStringLiteral("IDP"), QVariant());
    ASSERT_TRUE(m_conn.append(QStringLiteral("SPC_Setap"), r));
    const CardIdentification id = IdentifyCard(m_conn, 22);
    EXPECT_FALSE(id.failedOnDatabase());
    EXPECT_EQ(id.refusal, IdentificationRefusal::NoProgram);
    EXPECT_EQ(IdentifyCard(m_conn, 0).refusal, IdentificationRefusal::UnreadableCode);
    // TypKarty Null with a grid scale passes.
    r = extraParameter(23, 1, 12.0, 10.0);
    r.set(QStringLiteral("TypKarty"), QVariant());
    ASSERT_TRUE(m_conn.append(QStringLiteral("SPC_Setap"), r));
    EXPECT_TRUE(IdentifyCard(m_conn, 23).identified());
}

} // namespace
} // namespace kartovo::test
