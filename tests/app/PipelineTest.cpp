#include "AppTestSupport.h"

#include "imaging/ImageFile.h"
#include "platform/WorkingFolder.h"
#include "reading/GridGeometry.h"
#include "recognition/CardIdentification.h"
#include "recognition/Markers.h"

#include <QImageReader>
#include <QPainter>
#include <tuple>

namespace kartovo::test {
namespace {

// A good card identified, its grid cut out, cleaned and drawn; the cleaning steps in their order.
TEST_F(PipelineTest, RecognisedCardIsCleanedDrawnAndReadyToRead) {
    const CardState card = run(render(cardSpec(1)), true);
    EXPECT_TRUE(card.DialogAccepted);
    EXPECT_TRUE(m_messages.empty());
    EXPECT_EQ(card.CardParameter.ID.toInt(), 1);
    EXPECT_EQ(card.ControlProgram.value(QStringLiteral("ID")).toInt(), 1);
    EXPECT_EQ(card.CodeBits, QStringLiteral("1"));
    EXPECT_EQ(std::pair(card.Grid.RangeBottom, card.Grid.RangeTop), std::pair(19.90f, 20.10f));
    EXPECT_EQ(m_view.statuses.last(), QStringLiteral("Gotowy do czytania"));
    EXPECT_EQ(std::tuple(m_view.readButtons, m_view.busyDepth, m_view.maxProgress), std::tuple(1, 0, 100));
    EXPECT_EQ(std::pair(m_view.statusShown, m_view.progressUnderHiddenStatus), std::pair(true, 0));

    // P1 is the cleaned grid cut-out with the grid drawn over it; the working
    // file holds the cleaned black-and-white cut-out without the grid.
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
        const int grey = qGray(saved.pixel(x, saved.height() / 3));
        EXPECT_TRUE(grey == 0 || grey == 255) << "not black and white at x " << x;
    }

    m_options.colourFilter = true;
    m_options.removeNoise = true;
    m_options.filterRed = 255; // keeps nothing as ink: every later step sees white
    ASSERT_TRUE(run(render(cardSpec(1)), false).DialogAccepted);
    const QStringList order{QStringLiteral("Konwertuję obraz na B&W"), QStringLiteral("Filtruję kolory"),
                            QStringLiteral("Usuwam z obrazu szum"), QStringLiteral("Gotowy do czytania")};
    EXPECT_EQ(m_view.statuses.mid(m_view.statuses.size() - 4), order);
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
    QImage img(900, 1200, QImage::Format_RGB32);
    img.fill(Qt::white);
    if (r.picture != RefusalCase::Blank) img = render(drawn);
    if (r.picture == RefusalCase::WithoutCodeBars) { // the code field reads no bit
        QPainter p(&img);
        const double k = 150.0 / 25.4;
        for (const QRectF& bar : LayoutCard(drawn, CardStyle()).bars)
            p.fillRect(QRectF(bar.x() * k - 2, bar.y() * k - 2, bar.width() * k + 4, bar.height() * k + 4), Qt::white);
    }
    const bool blank = r.picture == RefusalCase::Blank;

    const CardState shown = run(img, true);
    EXPECT_FALSE(shown.DialogAccepted);
    EXPECT_EQ(shown.Refusal, r.text);
    EXPECT_EQ(messages(), QStringList{r.text});
    // Without markers there is no grid to assign by hand: no question.
    EXPECT_EQ(questions(), blank ? QStringList() : QStringList{CardPipeline::manualChoiceQuestion()});
    EXPECT_EQ(shown.MarkersFound, !blank);
    EXPECT_EQ(shown.CodeBits.isEmpty(), r.picture != RefusalCase::Card);
    // An unrecognised card's working file is the picture as loaded.
    if (blank) EXPECT_EQ(QImage(shown.ImagePath).size(), img.size());
    // The trace file shows exactly the examined pixels; the card on screen also the code field's outline.
    QImage trace, painted = img.convertToFormat(QImage::Format_RGB32);
    ASSERT_TRUE(LoadPicture(WorkingFile(QStringLiteral("Markery.bmp")), trace));
    PaintSearchTrace(painted, FindMarkers(painted));
    EXPECT_TRUE(trace == painted);
    EXPECT_FALSE(trace == img.convertToFormat(QImage::Format_RGB32)) << "nothing traced";
    const QImage onScreen = m_pictures.image(Picture::P2).convertToFormat(QImage::Format_RGB32);
    QRect outline;
    for (int y = 0; y < onScreen.height(); ++y)
        for (int x = 0; x < onScreen.width(); ++x)
            if ((onScreen.pixel(x, y) & 0xffffffu) == 0x0000ffu) outline |= QRect(x, y, 1, 1);
    EXPECT_EQ(outline.isEmpty(), blank);
    // Around the code field cut out: left of the grid, up to its right edge.
    if (!blank) EXPECT_LT(outline.left(), shown.GridRect.left());
    if (!blank) EXPECT_EQ(outline.right(), shown.GridRect.x() + shown.GridRect.width());
    if (!blank) EXPECT_EQ(outline.size(), m_pictures.image(Picture::P4).size());
    EXPECT_EQ(m_view.choices, 0); // the question was answered NIE
    EXPECT_EQ(m_view.readButtons, 0);
    EXPECT_EQ(m_view.statuses.last(), CardPipeline::refusedStatusText(shown));

    m_messages.clear();
    const CardState silent = run(img, false);
    EXPECT_FALSE(silent.DialogAccepted);
    EXPECT_EQ(silent.Refusal, r.text);
    EXPECT_TRUE(m_messages.empty());
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

// Confirmation only when asked and showing messages; a card chosen by hand is the chosen parameter.
TEST_F(PipelineTest, ConfirmationAndTheManualChoiceDecideTheCard) {
    m_options.askConfirmation = true;
    const QImage img = render(cardSpec(2, 2));
    m_view.confirmAnswer = false;
    EXPECT_FALSE(run(img, true).DialogAccepted);
    EXPECT_EQ(questions(), QStringList{CardPipeline::manualChoiceQuestion()});
    EXPECT_TRUE(messages().isEmpty());
    m_view.confirmAnswer = true;
    EXPECT_TRUE(run(img, true).DialogAccepted);
    m_view.confirmAnswer = false;
    EXPECT_TRUE(run(img, false).DialogAccepted);
    EXPECT_EQ(m_view.confirmations, 2);

    m_answer = true; // TAK to the question
    m_view.chooseAnswer = true;
    m_view.chosenProgram = 2;
    m_view.chosenParameter = 5;
    const CardState card = run(render(cardSpec(12)), true);
    EXPECT_EQ(m_view.choices, 1);
    EXPECT_TRUE(card.DialogAccepted);
    EXPECT_TRUE(card.ChosenByHand);
    EXPECT_EQ(card.CardParameter.ID.toInt(), 5);
    EXPECT_EQ(card.ControlProgram.value(QStringLiteral("ID")).toInt(), 2);
    EXPECT_FLOAT_EQ(card.Grid.RangeTop, 8.04f); // extended range of parameter 5
    EXPECT_EQ(m_pictures.image(Picture::P1).pixel(0, 5), kGridLineColour);
    m_view.chooseAnswer = false; // a cancelled choice leaves the card refused
    EXPECT_FALSE(run(render(cardSpec(12)), true).DialogAccepted);
}

TEST_F(PipelineTest, RotatedScansReadBackThroughTheRotationSetting) {
    const QImage upright = render(cardSpec(9, 9));
    const auto turned = [&](int degrees) {
        ScanDefects d;
        d.rotation = degrees;
        return ApplyScanDefects(upright, d);
    };
    for (const auto& [turn, setting] : {std::pair{90, 2}, std::pair{-90, 1}}) {
        m_options.rotation = setting;
        const CardState card = run(turned(turn), false);
        EXPECT_TRUE(card.DialogAccepted) << "turned " << turn;
        EXPECT_EQ(card.CardParameter.ID.toInt(), 9);
    }
    // Turned the wrong way back, the card is upside down and not recognised.
    m_options.rotation = 1;
    EXPECT_FALSE(run(turned(90), false).DialogAccepted);
}

} // namespace
} // namespace kartovo::test
