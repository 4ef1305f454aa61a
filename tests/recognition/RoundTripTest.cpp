#include "recognition/CardFixtures.h"

#include "reading/Measurements.h"
#include "reading/Plausibility.h"
#include "recognition/Recognition.h"

#include <QFileInfo>
#include <QPainter>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <cmath>
#include <functional>

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
    // A card, a card upside down (spots that are no markers), searches that
    // never complete, and a page whose every column holds spots.
    QImage striped = Blank(230, 300);
    for (int y = 15; y < 300; y += 23) Box(striped, 0, y, 230, 2);
    QImage boxes = Blank(200, 260);
    Box(boxes, 30, 40, 4, 12);
    Box(boxes, 90, 40, 4, 12);
    Box(boxes, 25, 100, 9, 3);
    const QImage card = RenderCard(SampleCard(19), CardStyle{}, 150);
    for (const QImage& picture : {card, card.mirrored(true, true), boxes, striped}) {
        PixelBuffer buffer;
        LoadPixelBuffer(buffer, picture);
        QImage expected = picture.convertToFormat(QImage::Format_RGB32);
        const MarkerResult m = FindMarkers(buffer, &expected);
        const RecognitionResult r = RecogniseCard(picture);
        EXPECT_TRUE(r.trace == expected);
        EXPECT_EQ(r.search.markers.sideMarker1Y, m.sideMarker1Y);
        EXPECT_EQ(r.search.markers.sideMarker4Y, m.sideMarker4Y);
        EXPECT_EQ(r.search.markers.topMarker2X, m.topMarker2X);
        // The rows handed to the bitmap writer carry the same trace.
        const SearchTrace rows(r.search);
        QImage bgr = picture.convertToFormat(QImage::Format_RGB888).rgbSwapped();
        for (int y = 0; y < bgr.height(); ++y) rows.paintRow(y, bgr.scanLine(y));
        EXPECT_TRUE(bgr.rgbSwapped().convertToFormat(QImage::Format_RGB32) == expected);
    }
    EXPECT_FALSE(RecogniseCard(card).trace == card);
}

// ---------------------------------------------------------------------------
// What is not a straight, whole card is refused; a well-formed card reads as
// drawn, code and marks.

namespace {

QImage Rotated(const QImage& card, double degrees) {
    QImage out(card.size(), QImage::Format_RGB32);
    out.fill(Qt::white);
    QPainter p(&out);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.translate(card.width() / 2.0, card.height() / 2.0);
    p.rotate(degrees);
    p.translate(-card.width() / 2.0, -card.height() / 2.0);
    p.drawImage(0, 0, card);
    return out;
}

// A ballpoint zig-zag (or a blot with `fill`) over an area given in millimetres.
QImage Scribbled(QImage card, const QRectF& mm, double dpmm, int strokes, bool fill = false) {
    QPainter p(&card);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink(40, 50, 160);
    const QRectF r(mm.x() * dpmm, mm.y() * dpmm, mm.width() * dpmm, mm.height() * dpmm);
    if (fill) {
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
        p.drawEllipse(r);
        return card;
    }
    p.setPen(QPen(ink, std::max(2.0, 0.5 * dpmm)));
    QPolygonF line;
    for (int i = 0; i <= strokes; ++i)
        line << QPointF(r.left() + r.width() * i / strokes, i % 2 ? r.bottom() : r.top());
    p.drawPolyline(line);
    return card;
}

struct Damage {
    const char* name;
    std::function<QImage(const QImage& card, const CardLayout& layout, double dpmm)> apply;
    bool mustRefuse = true; // otherwise: refused or read as drawn, never misread
};

void PrintTo(const Damage& d, std::ostream* os) { *os << d.name; }

QImage Turned(const QImage& card, int rotation) {
    ScanDefects d;
    d.rotation = rotation;
    return ApplyScanDefects(card, d);
}

const Damage kDamages[] = {
    {"skew05", [](const QImage& c, const CardLayout&, double) { return Rotated(c, 0.5); }},
    {"skewMinus05", [](const QImage& c, const CardLayout&, double) { return Rotated(c, -0.5); }},
    {"skew1", [](const QImage& c, const CardLayout&, double) { return Rotated(c, 1.0); }},
    {"skewMinus1", [](const QImage& c, const CardLayout&, double) { return Rotated(c, -1.0); }},
    {"skew2", [](const QImage& c, const CardLayout&, double) { return Rotated(c, 2.0); }},
    {"skew3", [](const QImage& c, const CardLayout&, double) { return Rotated(c, 3.0); }},
    {"upsideDown", [](const QImage& c, const CardLayout&, double) { return c.mirrored(true, true); }},
    {"clockwiseNotTurnedBack", [](const QImage& c, const CardLayout&, double) { return Turned(c, 90); }},
    {"counterClockwiseNotTurnedBack", [](const QImage& c, const CardLayout&, double) { return Turned(c, -90); }},
    {"mirrored", [](const QImage& c, const CardLayout&, double) { return c.mirrored(true, false); }},
    {"mirroredVertically", [](const QImage& c, const CardLayout&, double) { return c.mirrored(false, true); }},
    {"scribbledTopMarkers",
     [](const QImage& c, const CardLayout& l, double k) {
         return Scribbled(c, QRectF(14, 9.5, l.grid.right() - 10, 4), k, 40);
     }},
    {"scribbledSideMarkers",
     [](const QImage& c, const CardLayout& l, double k) {
         return Scribbled(c, QRectF(9, 30, 5, l.codeField.bottom() - 28), k, 30);
     }},
    {"blotOnTopMarker",
     [](const QImage& c, const CardLayout& l, double k) { return Scribbled(c, QRectF(l.grid.left() - 2, 9, 5, 5), k, 0, true); }},
    {"scribbledCodeField",
     [](const QImage& c, const CardLayout& l, double k) { return Scribbled(c, l.codeField.adjusted(1, 0.5, -8, -0.5), k, 9); }},
    {"strokeAcrossBits",
     [](const QImage& c, const CardLayout& l, double k) {
         return Scribbled(c, QRectF(l.codeField.left() + 1, l.codeField.top() + 5.8, 20, 0.6), k, 1);
     }},
    {"strokeOverBars",
     [](const QImage& c, const CardLayout& l, double k) {
         return Scribbled(c, QRectF(l.codeField.left() + 3, l.codeField.top() + 1.6, 12, 0.5), k, 1);
     }},
    {"blotOverBits",
     [](const QImage& c, const CardLayout& l, double k) {
         return Scribbled(c, QRectF(l.bars[1].center().x() - 2.5, l.codeField.top() + 4, 5, 4), k, 0, true);
     }},
};

class DamagedCard : public ::testing::TestWithParam<Damage> {};

} // namespace

TEST_P(DamagedCard, IsRefusedNeverMisread) {
    const Damage& damage = GetParam();
    for (double dpi : {100.0, 200.0, 300.0}) {
        for (int id : {dpi == 200.0 ? 19 : 1234}) {
            SCOPED_TRACE(::testing::Message() << dpi << " dpi, id " << id);
            const CardSpec cardSpec = SampleCard(id);
            const CardLayout layout = LayoutCard(cardSpec, CardStyle{});
            const QImage card = RenderCard(cardSpec, CardStyle{}, dpi, RandomMarks(10, 20, id), id);
            const RecognitionResult r = RecogniseCard(damage.apply(card, layout, dpi / 25.4));
            const bool read = r.markersFound && r.codeRead;
            if (damage.mustRefuse)
                EXPECT_FALSE(read) << "read as " << r.code.id;
            else if (read)
                EXPECT_EQ(r.code.id, id);
            if (!read) EXPECT_FALSE(r.refusal.isEmpty());
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, DamagedCard, ::testing::ValuesIn(kDamages),
                         [](const auto& info) { return std::string(info.param.name); });

namespace {

struct ControlCase {
    const char* name;
    double dpi;
    int id, gestosc, rows;
    QPageSize::PageSizeId page = QPageSize::A5;
    bool scanned = false; // noise, blur, off-white paper and JPEG
};

void PrintTo(const ControlCase& c, std::ostream* os) { *os << c.name; }

class ControlGroup : public ::testing::TestWithParam<ControlCase> {};

} // namespace

TEST_P(ControlGroup, ReadsExactlyAsDrawn) {
    const ControlCase& c = GetParam();
    CardSpec cardSpec = SampleCard(c.id, c.gestosc, c.rows);
    CardStyle style;
    style.page = c.page;
    if (c.scanned) style.paper = QColor(246, 241, 228);
    std::vector<CellMark> marks = RandomMarks(c.gestosc + 1, c.rows, c.id);
    marks.push_back({1, (marks[0].row + 2) % c.rows}); // a column over its sample size
    QImage card = RenderCard(cardSpec, style, c.dpi, marks, c.id);
    if (c.scanned) {
        ScanDefects d;
        d.noise = 8.0;
        d.blur = 0.5;
        d.seed = static_cast<quint32>(c.id);
        card = JpegRoundTrip(ApplyScanDefects(card, d), 75);
    }
    const RecognitionResult r = RecogniseCard(card);
    ASSERT_TRUE(r.markersFound && r.codeRead) << qPrintable(r.refusal);
    EXPECT_EQ(r.code.id, c.id);
    QImage clean = r.grid;
    ConvertToBW(clean);
    GridGeometry grid;
    ASSERT_TRUE(UstawZakresyP(cardSpec.parameter, grid).ok());
    const auto measured = ReadMeasurements(clean, cardSpec.parameter, grid, 0.2);
    ASSERT_TRUE(measured.ok()) << qPrintable(measured.error());
    const MeasurementTable& table = *measured;
    std::sort(marks.begin(), marks.end(), [](const CellMark& a, const CellMark& b) {
        return a.section != b.section ? a.section < b.section : a.row < b.row;
    });
    std::vector<CellMark> read;
    for (const MeasurementEntry& e : table) read.push_back({e.section, e.row});
    EXPECT_EQ(read, marks);
}

INSTANTIATE_TEST_SUITE_P(
    Cards, ControlGroup,
    ::testing::Values(ControlCase{"a5at100", 100, 1234, 9, 20}, ControlCase{"a5at150", 150, 1, 1, 5},
                      ControlCase{"a5at200", 200, 77, 14, 20}, ControlCase{"a5at300", 300, 1234, 9, 20},
                      ControlCase{"a4at100", 100, 2147483647, 20, 40, QPageSize::A4},
                      ControlCase{"a4at200", 200, 4711, 20, 40, QPageSize::A4},
                      ControlCase{"scanA5at100", 100, 19, 9, 20, QPageSize::A5, true},
                      ControlCase{"scanA5at150", 150, 2147483647, 14, 20, QPageSize::A5, true},
                      ControlCase{"scanA5at200", 200, 1, 1, 5, QPageSize::A5, true},
                      ControlCase{"scanA5at300", 300, 1234, 9, 20, QPageSize::A5, true},
                      ControlCase{"scanA4at150", 150, 4711, 20, 40, QPageSize::A4, true},
                      ControlCase{"scanA4at300", 300, 77, 20, 40, QPageSize::A4, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DamagedGrid, BlackOrScribbledGridIsNoOperatorsWork) {
    // The card itself is whole, so it is recognised; its marks are refused before storing.
    const CardSpec cardSpec = SampleCard(1234);
    const CardLayout layout = LayoutCard(cardSpec, CardStyle{});
    for (double dpi : {150.0, 300.0}) {
        const double k = dpi / 25.4;
        const QImage card = RenderCard(cardSpec, CardStyle{}, dpi, RandomMarks(10, 20, 3), 3);
        const QRectF column3(layout.grid.left() + 2 * layout.columnWidth, layout.grid.top(), layout.columnWidth,
                             layout.grid.height());
        QImage black = card;
        QPainter(&black).fillRect(QRectF(layout.grid.topLeft() * k, layout.grid.size() * k), Qt::black);
        for (const QImage& damaged : {black, Scribbled(card, column3.adjusted(1, 1, -1, -1), k, 30)}) {
            const RecognitionResult r = RecogniseCard(damaged);
            ASSERT_TRUE(r.markersFound && r.codeRead) << qPrintable(r.refusal);
            QImage clean = r.grid;
            ConvertToBW(clean);
            GridGeometry grid;
            ASSERT_TRUE(UstawZakresyP(cardSpec.parameter, grid).ok());
            const auto table = ReadMeasurements(clean, cardSpec.parameter, grid, 0.2);
            ASSERT_TRUE(table.ok());
            EXPECT_FALSE(ImplausibleMarksText(*table, cardSpec.parameter).ok()) << table->size() << " marks";
        }
    }
}
