#include "PipelineSupport.h"

#include "app/CardSave.h"
#include "reading/Measurements.h"

#include <gtest/gtest.h>

#include <tuple>

namespace kartovo::test {
namespace {

// The pipeline as automatic mode runs it: recognised, read, stored without a window.
class AutoSaveTest : public PipelineTest {
protected:
    CardState runAutomatically(const QImage& card) {
        CardState state;
        state.ImagePath = WorkingFile(QStringLiteral("temp.bmp"));
        EXPECT_TRUE(card.save(state.ImagePath, "BMP"));
        CardPipeline pipeline(state, m_pictures, m_conn, m_base);
        pipeline.setView(&m_view);
        pipeline.setOptions(m_options);
        pipeline.setAutoMode(true);
        pipeline.setReadCommand([&] {
            auto read = ReadDrawnGrid(m_pictures.image(Picture::P1), state.CardParameter.current(), state.Grid, 0.2);
            state.DialogAccepted = read.ok();
            m_table = read ? std::move(*read) : MeasurementTable();
            // The card view is the clean grid with the grid drawn: reading the
            // clean grid afresh finds the same.
            auto again = ReadMeasurements(m_pictures.image(Picture::P2), state.CardParameter.current(), state.Grid, 0.2);
            EXPECT_EQ(again.ok(), state.DialogAccepted);
            const MeasurementTable fresh = again ? std::move(*again) : MeasurementTable();
            ASSERT_EQ(fresh.size(), m_table.size());
            for (std::size_t i = 0; i < fresh.size(); ++i) {
                EXPECT_EQ(std::tie(fresh[i].x, fresh[i].y, fresh[i].row, fresh[i].section),
                          std::tie(m_table[i].x, m_table[i].y, m_table[i].row, m_table[i].section));
                EXPECT_EQ(fresh[i].value, m_table[i].value);
            }
        });
        pipeline.setSaveCommand([&] { SaveCardAutomatically(state, m_table, m_conn, m_base); });
        pipeline.ZaladujPlikGraf(false);
        return state;
    }
    int storedRows(int parameter) {
        return m_conn.query(QStringLiteral("Select * from [SPC_Baza] Where IDPK=%1").arg(parameter)).recordCount();
    }
    MeasurementTable m_table;
};

TEST_F(AutoSaveTest, ReadCardIsStoredWithDashesAndTheCurrentTime) {
    // Parameter 1: sample cards of 5; 11 marks make two samples, one mark left over.
    std::vector<CellMark> marks;
    for (int s = 1; s <= 11; ++s) marks.push_back({s, (s * 3) % 20});
    const int before = storedRows(1);
    const CardState state = runAutomatically(render(cardSpec(1), 150.0, marks));
    ASSERT_TRUE(state.Stored) << state.SaveError.toStdString();
    EXPECT_EQ(state.RowsStored, 2);
    EXPECT_EQ(storedRows(1), before + 2);
    EXPECT_TRUE(messages().isEmpty() && questions().isEmpty()) << "automatic mode shows no window";

    const Recordset last = m_conn.query(QStringLiteral("Select * from [SPC_Baza] Where IDPK=1 Order by ID"));
    const Record row = last.rows().last();
    EXPECT_EQ(row.value(QStringLiteral("ID1")).toString(), QStringLiteral("-"));
    EXPECT_TRUE(row.isNull(QStringLiteral("PomiaryNL")));
    EXPECT_EQ(row.value(QStringLiteral("Data")).toString(), QDate::currentDate().toString(Qt::ISODate));
    EXPECT_EQ(row.value(QStringLiteral("Lp")).toInt(), 5);
}

// Nobody looks at an automatic card: a scribbled column is refused, not stored.
TEST_F(AutoSaveTest, ImplausibleMarksAreNotStored) {
    std::vector<CellMark> marks;
    for (int s = 1; s <= 10; ++s) marks.push_back({s, 5});
    for (int row = 0; row < 14; ++row) marks.push_back({3, row});
    const int before = storedRows(1);
    const CardState state = runAutomatically(render(cardSpec(1), 150.0, marks));
    EXPECT_FALSE(state.Stored);
    EXPECT_FALSE(state.SaveError.isEmpty());
    EXPECT_EQ(storedRows(1), before);
}

TEST_F(AutoSaveTest, FailingDatabaseStoresNothingAndSaysWhy) {
    std::vector<CellMark> marks;
    for (int s = 1; s <= 10; ++s) marks.push_back({s, 5});
    const int before = storedRows(1);
    // The second row of the card is refused by the database.
    ASSERT_TRUE(m_conn.execute(QStringLiteral("CREATE TRIGGER refuse_second BEFORE INSERT ON SPC_Baza "
                                              "WHEN (SELECT count(*) FROM SPC_Baza WHERE IDPK = 1) >= %1 "
                                              "BEGIN SELECT RAISE(ABORT, 'drugi wiersz odrzucony'); END")
                                   .arg(before + 1)));
    const CardState state = runAutomatically(render(cardSpec(1), 150.0, marks));
    EXPECT_FALSE(state.Stored);
    EXPECT_TRUE(state.SaveError.contains(QStringLiteral("drugi wiersz odrzucony"))) << state.SaveError.toStdString();
    EXPECT_EQ(storedRows(1), before) << "nothing of the card is kept";
}

} // namespace
} // namespace kartovo::test
