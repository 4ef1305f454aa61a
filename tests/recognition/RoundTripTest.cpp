#include "recognition/CardFixtures.h"

#include "reading/Measurements.h"
#include "recognition/Recognition.h"

#include <QPainter>
#include <gtest/gtest.h>
#include <functional>

using namespace kartovo;
using namespace kartovo::testing;

namespace {

// One card through a scan: resolution, page, the parameter's code and grid,
// and the scan's defects. Marks are pen strokes and ovals in blue or black
// ink, as the renderer draws them.
struct ScanCase {
    const char* name;
    double dpi;
    int id, gestosc = 9, rows = 20;
    QPageSize::PageSizeId page = QPageSize::A5;
    double noise = 0.0, blur = 0.0;
    int jpegQuality = -1;
    QColor paper = Qt::white;
    int rotation = 0; // how the scan was delivered; the pipeline turns it back first
};

void PrintTo(const ScanCase& c, std::ostream* os) { *os << c.name; }

class CardRoundTrip : public ::testing::TestWithParam<ScanCase> {};

const QColor kOffWhite(246, 241, 228);

} // namespace

TEST_P(CardRoundTrip, CodeGridAndMarksSurviveTheScan) {
    const ScanCase& c = GetParam();
    const CardSpec cardSpec = SampleCard(c.id, c.gestosc, c.rows);
    const CardStyle style{.page = c.page, .paper = c.paper};
    const CardLayout layout = LayoutCard(cardSpec, style);
    std::vector<CellMark> marks = RandomMarks(c.gestosc + 1, c.rows, quint32(c.id));
    marks.push_back({1, (marks[0].row + 2) % c.rows}); // a column over its sample size
    QImage card = RenderCard(cardSpec, style, c.dpi, marks, quint32(c.id));
    ASSERT_FALSE(card.isNull());
    card = ApplyScanDefects(card, {.noise = c.noise, .blur = c.blur, .rotation = c.rotation, .seed = quint32(c.id)});
    if (c.jpegQuality >= 0) card = JpegRoundTrip(card, c.jpegQuality);

    const RecognitionResult r = RecogniseCard(TurnBack(card, c.rotation));
    ASSERT_TRUE(r.markersFound && r.codeRead) << qPrintable(r.refusal) << " bits " << qPrintable(r.code.bits);
    EXPECT_EQ(r.code.id, c.id);
    EXPECT_EQ(r.code.bits, layout.bits);
    // The cut-out covers the printed grid to within a pixel or two.
    const double dpmm = c.dpi / 25.4;
    EXPECT_NEAR(r.markers.topMarker2X, layout.grid.left() * dpmm, 2.0);
    EXPECT_NEAR(r.markers.sideMarker1Y, layout.grid.top() * dpmm, 2.0);
    EXPECT_NEAR(r.grid.width() - 1, layout.grid.width() * dpmm, 2.0);
    EXPECT_NEAR(r.grid.height() - 1, layout.grid.height() * dpmm, 2.0);

    // Cleaned as the station's "Konwertuj na B&W" does, the grid reads as drawn.
    QImage clean = r.grid;
    ConvertToBW(clean);
    GridGeometry grid;
    ASSERT_TRUE(UstawZakresyP(cardSpec.parameter, grid).ok());
    const auto table = ReadMeasurements(clean, cardSpec.parameter, grid, 0.2);
    ASSERT_TRUE(table.ok()) << qPrintable(table.error());
    std::sort(marks.begin(), marks.end(), [](const CellMark& a, const CellMark& b) {
        return a.section != b.section ? a.section < b.section : a.row < b.row;
    });
    std::vector<CellMark> read;
    for (const MeasurementEntry& e : *table) read.push_back({e.section, e.row});
    EXPECT_EQ(read, marks);
}

INSTANTIATE_TEST_SUITE_P(
    Scans, CardRoundTrip,
    ::testing::Values(
        ScanCase{"a5at100", 100, 1234}, ScanCase{"a5at150", 150, 1, 1, 5}, ScanCase{"a5at200", 200, 77, 14, 20},
        ScanCase{"a5at300", 300, 2147483647}, ScanCase{"a4at100", 100, 2147483647, 20, 40, QPageSize::A4},
        ScanCase{"scanA5at100", 100, 19, 9, 20, QPageSize::A5, 8.0, 0.5, 70, kOffWhite},
        ScanCase{"scanA5at150", 150, 2147483647, 14, 20, QPageSize::A5, 8.0, 0.5, 75, kOffWhite},
        ScanCase{"scanA5at200", 200, 1, 1, 5, QPageSize::A5, 8.0, 0.7, 80, kOffWhite},
        ScanCase{"scanA5at300", 300, 1234, 9, 20, QPageSize::A5, 8.0, 0.5, 75, kOffWhite},
        ScanCase{"scanA4at150", 150, 4711, 20, 40, QPageSize::A4, 8.0, 0.5, 75, kOffWhite},
        ScanCase{"scanA4at300", 300, 77, 20, 40, QPageSize::A4, 8.0, 0.5, 75, kOffWhite},
        ScanCase{"clockwise150", 150, 1234, 9, 20, QPageSize::A5, 4.0, 0.0, 85, Qt::white, 90},
        ScanCase{"counterClockwise200", 200, 19, 9, 20, QPageSize::A5, 4.0, 0.3, 85, Qt::white, -90}),
    [](const auto& info) { return std::string(info.param.name); });

// What is not a straight, whole card is refused, never read as another card:
// a skew, a turn or mirror the pipeline did not undo, and ballpoint zig-zags
// (`strokes`) or blots (0 strokes) over an area in millimetres.
namespace {

struct Damage {
    const char* name;
    double skew = 0;
    int turn = 0;
    bool mirrorX = false, mirrorY = false;
    std::function<QRectF(const CardLayout&)> area = {};
    int strokes = 0;
};

void PrintTo(const Damage& d, std::ostream* os) { *os << d.name; }

QImage Damaged(const QImage& card, const Damage& d, const CardLayout& l, double dpmm) {
    QImage out = ApplyScanDefects(card.mirrored(d.mirrorX, d.mirrorY), {.rotation = d.turn});
    if (d.skew != 0) out.fill(Qt::white);
    QPainter p(&out);
    p.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    if (d.skew != 0) {
        p.translate(card.width() / 2.0, card.height() / 2.0);
        p.rotate(d.skew);
        p.translate(-card.width() / 2.0, -card.height() / 2.0);
        p.drawImage(0, 0, card);
    }
    if (!d.area) return out;
    const QRectF mm = d.area(l), r(mm.x() * dpmm, mm.y() * dpmm, mm.width() * dpmm, mm.height() * dpmm);
    const QColor ink(40, 50, 160);
    p.setPen(d.strokes ? QPen(ink, std::max(2.0, 0.5 * dpmm)) : QPen(Qt::NoPen));
    p.setBrush(d.strokes ? QBrush() : QBrush(ink));
    if (!d.strokes) p.drawEllipse(r);
    QPolygonF line;
    for (int i = 0; i <= d.strokes; ++i) line << QPointF(r.left() + r.width() * i / std::max(d.strokes, 1), i % 2 ? r.bottom() : r.top());
    if (d.strokes) p.drawPolyline(line);
    return out;
}

const Damage kDamages[] = {
    {.name = "skew05", .skew = 0.5},
    {.name = "skewMinus1", .skew = -1.0},
    {.name = "skew3", .skew = 3.0},
    {.name = "upsideDown", .mirrorX = true, .mirrorY = true},
    {.name = "clockwiseNotTurnedBack", .turn = 90},
    {.name = "counterClockwiseNotTurnedBack", .turn = -90},
    {.name = "mirrored", .mirrorX = true},
    {.name = "mirroredVertically", .mirrorY = true},
    {.name = "scribbledTopMarkers", .area = [](const CardLayout& l) { return QRectF(14, 9.5, l.grid.right() - 10, 4); }, .strokes = 40},
    {.name = "scribbledSideMarkers", .area = [](const CardLayout& l) { return QRectF(9, 30, 5, l.codeField.bottom() - 28); }, .strokes = 30},
    {.name = "blotOnTopMarker", .area = [](const CardLayout& l) { return QRectF(l.grid.left() - 2, 9, 5, 5); }},
    {.name = "scribbledCodeField", .area = [](const CardLayout& l) { return l.codeField.adjusted(1, 0.5, -8, -0.5); }, .strokes = 9},
    {.name = "strokeAcrossBits", .area = [](const CardLayout& l) { return QRectF(l.codeField.left() + 1, l.codeField.top() + 5.8, 20, 0.6); }, .strokes = 1},
    {.name = "strokeOverBars", .area = [](const CardLayout& l) { return QRectF(l.codeField.left() + 3, l.codeField.top() + 1.6, 12, 0.5); }, .strokes = 1},
    {.name = "blotOverBits", .area = [](const CardLayout& l) { return QRectF(l.bars[1].center().x() - 2.5, l.codeField.top() + 4, 5, 4); }},
};

class DamagedCard : public ::testing::TestWithParam<Damage> {};

} // namespace

TEST_P(DamagedCard, IsRefusedNeverMisread) {
    for (double dpi : {100.0, 200.0, 300.0}) {
        const int id = dpi == 200.0 ? 19 : 1234;
        SCOPED_TRACE(::testing::Message() << dpi << " dpi, id " << id);
        const CardSpec cardSpec = SampleCard(id);
        const QImage card = RenderCard(cardSpec, CardStyle{}, dpi, RandomMarks(10, 20, id), id);
        const RecognitionResult r = RecogniseCard(Damaged(card, GetParam(), LayoutCard(cardSpec, CardStyle{}), dpi / 25.4));
        EXPECT_FALSE(r.markersFound && r.codeRead) << "read as " << r.code.id;
        EXPECT_FALSE(r.refusal.isEmpty());
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, DamagedCard, ::testing::ValuesIn(kDamages),
                         [](const auto& info) { return std::string(info.param.name); });
