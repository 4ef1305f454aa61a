#include "evaluation/IdentificationCheck.h"

#include <gtest/gtest.h>
#include <functional>

using namespace kartovo;

// A valid window with one thing changed: the first check that fails (0: none) and where the focus goes.
TEST(IdentificationCheck, FirstFailingCheckWithItsFocus) {
    using F = IdentificationFocus;
    using Change = std::function<void(IdentificationEntries&)>;
    const auto date = [](const char* d) { return Change([d](IdentificationEntries& e) { e.date = d; }); };
    const auto time = [](const char* t) { return Change([t](IdentificationEntries& e) { e.time = t; }); };
    const std::tuple<Change, int, F, int> cases[] = {
        {{}, 0, F::None, 0},
        {date("6.5.2024"), 0, F::None, 0},
        {date("2024-5-6"), 0, F::None, 0},
        {date("2024-02-30"), 1, F::Date, 0},
        {date("2024/05/06"), 1, F::Date, 0},
        {time("8:30"), 2, F::Time, 0},
        {time("08.30"), 3, F::Time, 0},
        {time("083:0"), 3, F::Time, 0},
        {time("23:59"), 0, F::None, 0},
        {time("00:00"), 0, F::None, 0},
        {time("24:00"), 4, F::Time, 0},
        {time("-1:30"), 4, F::Time, 0},
        {time("07:60"), 5, F::Time, 0},
        {time("7:5.5"), 5, F::Time, 0},
        {[](IdentificationEntries& e) { e.fields[1].text.clear(), e.fields[2].text.clear(); }, 6, F::Field, 2},
        {[](IdentificationEntries& e) { e.fields[0].chosen = false; }, 7, F::Field, 1},
        {[](IdentificationEntries& e) { e.notesRequired = true; }, 8, F::Notes, 0},
        {[](IdentificationEntries& e) { e.notesRequired = true, e.notes = "x"; }, 0, F::None, 0},
        {[](IdentificationEntries& e) { e.notesRequired = true, e.notesShown = false; }, 0, F::None, 0}};
    int i = 0;
    for (const auto& [change, check, focus, field] : cases) {
        SCOPED_TRACE(i++);
        IdentificationEntries e{"2024-05-06", "08:30", {{"Zmiana:", false, "II", true}, {"Nr partii:", true, "P-7", false},
                                {"Operator:", true, "Jan", false}}, true, false, {}};
        if (change) change(e);
        const IdentificationVerdict v = CheckIdentification(e);
        EXPECT_EQ(std::tuple(v.check, v.focus, v.field, v.message.isEmpty()), std::tuple(check, focus, field, check == 0));
        if (check == 6 || check == 7) { // the field's caption names it in the operator's message
            EXPECT_EQ(v.message, check == 6 ? "Nie wprowadzono NR PARTII: - Popraw!"
                                            : "Dla pola ZMIANA: wprowadzono wartość z poza zakresu - Popraw !");
        }
    }
    EXPECT_EQ(ReadIdentificationDate("06.05.2024"), QDate(2024, 5, 6));
}
