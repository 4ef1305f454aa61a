#include "recognition/CardFixtures.h"

#include "recognition/Recognition.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <cmath>

using namespace kartovo;
using namespace kartovo::testing;

namespace {

struct ScanCase {
    const char* name;
    double dpi;
    int rotation = 0;    // how the scan was delivered
    double noise = 0.0;
    double blur = 0.0;
    int jpegQuality = -1;
    QColor paper = Qt::white;
};

void PrintTo(const ScanCase& c, std::ostream* os) { *os << c.name; }

class CardRoundTrip : public ::testing::TestWithParam<ScanCase> {};

QImage Scan(const CardSpec& cardSpec, const ScanCase& c, const std::vector<CellMark>& marks, quint32 seed) {
    CardStyle style;
    style.paper = c.paper;
    QString error;
    QImage img = RenderCard(cardSpec, style, c.dpi, marks, seed, &error);
    EXPECT_FALSE(img.isNull()) << qPrintable(error);
    ScanDefects d;
    d.noise = c.noise;
    d.blur = c.blur;
    d.rotation = c.rotation;
    d.seed = seed;
    img = ApplyScanDefects(img, d);
    if (c.jpegQuality >= 0) img = JpegRoundTrip(img, c.jpegQuality);
    // The pipeline turns the scan back before recognition.
    return TurnBack(img, c.rotation);
}

} // namespace

TEST_P(CardRoundTrip, CodeAndGridSurviveTheScan) {
    const ScanCase& c = GetParam();
    const double dpmm = c.dpi / 25.4;
    quint32 seed = 7;
    for (int id : {1, 1234, 2147483647}) {
        SCOPED_TRACE(id);
        const CardSpec cardSpec = SampleCard(id);
        const CardLayout layout = LayoutCard(cardSpec, CardStyle{});
        const QImage card = Scan(cardSpec, c, RandomMarks(10, 20, seed), seed);
        ++seed;
        const RecognitionResult r = RecogniseCard(card);
        ASSERT_TRUE(r.markersFound) << qPrintable(r.refusal);
        EXPECT_TRUE(r.codeRead) << qPrintable(r.refusal) << " bits " << qPrintable(r.code.bits);
        EXPECT_EQ(r.code.id, id);
        EXPECT_EQ(r.code.bits, layout.bits);
        // The cut-out covers the printed grid to within a pixel or two.
        EXPECT_NEAR(r.markers.topMarker2X, layout.grid.left() * dpmm, 2.0);
        EXPECT_NEAR(r.markers.sideMarker1Y, layout.grid.top() * dpmm, 2.0);
        EXPECT_NEAR(r.grid.width() - 1, layout.grid.width() * dpmm, 2.0);
        EXPECT_NEAR(r.grid.height() - 1, layout.grid.height() * dpmm, 2.0);
        EXPECT_EQ(r.grid.size(), QSize(r.markers.topMarker3X - r.markers.topMarker2X + 1,
                                       r.markers.sideMarker2Y - r.markers.sideMarker1Y + 1));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Scans, CardRoundTrip,
    ::testing::Values(ScanCase{"clean100", 100}, ScanCase{"clean150", 150}, ScanCase{"clean200", 200},
                      ScanCase{"clean300", 300},
                      ScanCase{"noisyJpeg100", 100, 0, 8.0, 0.5, 70, QColor(246, 241, 228)},
                      ScanCase{"noisyJpeg150", 150, 0, 8.0, 0.5, 75, QColor(246, 241, 228)},
                      ScanCase{"noisyJpeg200", 200, 0, 8.0, 0.7, 80, QColor(246, 241, 228)},
                      ScanCase{"clockwise150", 150, 90, 4.0, 0.0, 85},
                      ScanCase{"counterClockwise200", 200, -90, 4.0, 0.3, 85}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CardRoundTrip, TurnedScanWithoutTurningBackIsRefused) {
    CardStyle style;
    QImage img = RenderCard(SampleCard(19), style, 150);
    ScanDefects d;
    d.rotation = 90;
    const RecognitionResult r = RecogniseCard(ApplyScanDefects(img, d));
    EXPECT_FALSE(r.markersFound && r.codeRead && r.code.id == 19);
}

TEST(CardRoundTrip, WithoutBlackAndWhiteOnlyPureBlackIsInk) {
    // The grid cut-out keeps the scan's colours: pen marks are dark but not
    // (0, 0, 0), which is why scans need the conversion before reading.
    const QImage card = JpegRoundTrip(RenderCard(SampleCard(5), CardStyle{}, 150, {{1, 0}}), 90);
    const RecognitionResult r = RecogniseCard(card);
    ASSERT_TRUE(r.markersFound);
    int pureBlack = 0;
    for (int y = 0; y < r.grid.height(); ++y)
        for (int x = 0; x < r.grid.width(); ++x) pureBlack += (r.grid.pixel(x, y) & 0xffffff) == 0;
    EXPECT_LT(pureBlack, 5);
}

TEST(RecognitionFiles, WritesTraceCodeFieldAndGridOverTheCard) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString cardPath = dir.filePath("card.jpg");
    const QImage card = RenderCard(SampleCard(1234), CardStyle{}, 150, {{2, 3}});
    ASSERT_TRUE(card.save(cardPath, "JPEG", 90));
    RecognitionFiles files{cardPath, dir.filePath("Markery.bmp"), dir.filePath("Kod.bmp")};
    const RecognitionResult r = RecogniseCardFile(files);
    ASSERT_TRUE(r.codeRead) << qPrintable(r.refusal);
    EXPECT_EQ(r.code.id, 1234);

    const QImage trace(files.markersPath);
    EXPECT_EQ(trace.size(), card.size());
    EXPECT_EQ(trace.pixel(20, 20), qRgb(0, 255, 0));
    const QImage code(files.codePath);
    EXPECT_EQ(code.size(), r.codeField.size());
    const QImage grid(cardPath); // same path, now the grid cut-out as BMP
    EXPECT_EQ(grid.size(), r.grid.size());
    QFile f(cardPath);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.read(2), QByteArray("BM"));
}

TEST(RecognitionFiles, CardWithoutMarkersKeepsTheImageAndWritesOnlyTheTrace) {
    QTemporaryDir dir;
    const QString cardPath = dir.filePath("card.png");
    ASSERT_TRUE(Blank(300, 300).save(cardPath));
    RecognitionFiles files{cardPath, dir.filePath("Markery.bmp"), dir.filePath("Kod.bmp")};
    const RecognitionResult r = RecogniseCardFile(files);
    EXPECT_FALSE(r.markersFound);
    EXPECT_TRUE(r.refusal.startsWith(QStringLiteral("Brak markera(ów) na obrazie")));
    EXPECT_TRUE(QFileInfo::exists(files.markersPath));
    EXPECT_FALSE(QFileInfo::exists(files.codePath));
    EXPECT_EQ(QImage(cardPath).size(), QSize(300, 300));

    files.imagePath = dir.filePath("missing.png");
    EXPECT_FALSE(RecogniseCardFile(files).markersFound);
}

TEST(RecognitionTrace, TracePaintedAfterTheCutOutsIsTheSearchTrace) {
    const QImage card = RenderCard(SampleCard(19), CardStyle{}, 150);
    PixelBuffer buffer;
    LoadPixelBuffer(buffer, card);
    QImage expected = card.copy();
    ASSERT_TRUE(FindMarkers(buffer, &expected).gridMarkersFound());
    const RecognitionResult r = RecogniseCard(card);
    EXPECT_TRUE(r.trace == expected);
    EXPECT_FALSE(r.trace == card);
}
