#include "db/DemoDatabase.h"

#include "db/Connection.h"
#include "db/ControlChartConstants.h"
#include "db/DatabaseConfig.h"
#include "platform/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <utility>

// The schema scripts are compiled into this static library; registered once.
static void InitDbResources() {
    static const bool registered = [] {
        Q_INIT_RESOURCE(db);
        return true;
    }();
    (void)registered;
}

namespace kartovo {

namespace {

using Field = std::pair<const char*, QVariant>;

Record Row(std::initializer_list<Field> fields) {
    Record r;
    for (const Field& f : fields) r.set(QString::fromLatin1(f.first), f.second);
    return r;
}

double Round4(double v) { return std::round(v * 10000.0) / 10000.0; }

// A stored sample with its statistics, as the scanning station writes it.
Record SampleRow(int program, int parameter, const QString& date, const QString& time, const QList<double>& values,
                 double glk, double dlk, double ls, const QStringList& ids) {
    Record r;
    r.set(QStringLiteral("IDP"), program);
    r.set(QStringLiteral("IDPK"), parameter);
    r.set(QStringLiteral("P"), QStringLiteral("0"));
    r.set(QStringLiteral("CzyOb"), true);
    r.set(QStringLiteral("Data"), date);
    r.set(QStringLiteral("Czas"), time);
    for (int i = 0; i < ids.size(); ++i) r.set(QStringLiteral("ID%1").arg(i + 1), ids[i]);
    double sum = 0;
    for (int i = 0; i < values.size(); ++i) {
        r.set(QStringLiteral("W%1").arg(i + 1), values[i]);
        sum += values[i];
    }
    const int n = static_cast<int>(values.size());
    const double mean = sum / n;
    double sq = 0;
    for (double v : values) sq += (v - mean) * (v - mean);
    QList<double> sorted = values;
    std::sort(sorted.begin(), sorted.end());
    const double median = sorted[n / 2]; // every sample of the demo is of odd size
    r.set(QStringLiteral("Srednia"), static_cast<double>(static_cast<float>(mean)));
    r.set(QStringLiteral("Odchylenie"), n > 1 ? static_cast<double>(static_cast<float>(std::sqrt(sq / (n - 1)))) : 0.0);
    r.set(QStringLiteral("Rozstep"), static_cast<double>(static_cast<float>(sorted.back() - sorted.front())));
    r.set(QStringLiteral("Dodat"), static_cast<double>(static_cast<float>((sorted.back() + sorted.front()) / 2)));
    r.set(QStringLiteral("Mediana"), static_cast<double>(static_cast<float>(median)));
    r.set(QStringLiteral("Lp"), n);
    r.set(QStringLiteral("Mini"), sorted.front());
    r.set(QStringLiteral("Maxi"), sorted.back());
    r.set(QStringLiteral("GX"), glk);
    r.set(QStringLiteral("DX"), dlk);
    r.set(QStringLiteral("SX"), ls);
    return r;
}

} // namespace

QString SchemaScript(DbSystem system) {
    InitDbResources();
    const QString name = system == DbSystem::PostgreSQL ? QStringLiteral(":/kartovo/db/schema/postgresql.sql")
                         : system == DbSystem::MySQL    ? QStringLiteral(":/kartovo/db/schema/mariadb.sql")
                                                        : QStringLiteral(":/kartovo/db/schema/sqlite.sql");
    QFile f(name);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(f.readAll());
}

QStringList SplitSqlScript(const QString& script) {
    QString code;
    const QStringList lines = script.split(u'\n');
    for (const QString& line : lines) {
        if (line.trimmed().startsWith(QStringLiteral("--"))) continue;
        code += line + u'\n';
    }
    QStringList out;
    for (const QString& part : code.split(u';')) {
        const QString s = part.trimmed();
        if (!s.isEmpty()) out.append(s);
    }
    return out;
}

bool ApplySchema(DbConnection& conn) {
    const QStringList statements = SplitSqlScript(SchemaScript(conn.system()));
    if (statements.isEmpty()) return false;
    for (const QString& s : statements)
        if (!conn.execute(s)) return false;
    return true;
}

bool FillChartConstants(DbConnection& conn) {
    for (int n = 1; n <= 40; ++n) {
        const ChartConstants c = ComputeChartConstants(std::max(n, 2));
        if (!conn.append(QStringLiteral("SPC_Tablice"),
                         Row({{"LP", n},
                              {"R1", Round4(c.D4)},
                              {"R2", Round4(c.D3)},
                              {"S1", Round4(c.B4)},
                              {"S2", Round4(c.B3)},
                              {"R", Round4(c.d2)},
                              {"S", Round4(c.c4)}})))
            return false;
    }
    return true;
}

bool FillDemoData(DbConnection& conn) {
    const QString programy = QStringLiteral("SPC_Programy");
    const QString setap = QStringLiteral("SPC_Setap");
    const QVariant null;
    bool ok = true;
    auto add = [&](const QString& table, const Record& r) { ok = ok && conn.append(table, r); };

    add(QStringLiteral("SPC_OpisBaz"), Row({{"ID", 1}, {"Nazwa", QStringLiteral("Wyrób")}, {"NazwaA", QStringLiteral("Product")}, {"Pole", 1}, {"Dlugosc", 40}}));
    add(QStringLiteral("SPC_OpisBaz"), Row({{"ID", 2}, {"Nazwa", QStringLiteral("Operacja")}, {"NazwaA", QStringLiteral("Operation")}, {"Pole", 1}, {"Dlugosc", 25}}));
    add(QStringLiteral("SPC_OpisBaz"), Row({{"ID", 3}, {"Nazwa", QStringLiteral("Stanowisko")}, {"NazwaA", QStringLiteral("Workstation")}, {"Pole", 0}, {"Dlugosc", 15}}));

    add(QStringLiteral("SPC_OpisID"), Row({{"ID", 1}, {"Nazwa", QStringLiteral("Operator")}, {"NazwaA", QStringLiteral("Operator")}, {"Pole", 0}}));
    add(QStringLiteral("SPC_OpisID"), Row({{"ID", 2}, {"Nazwa", QStringLiteral("Zmiana")}, {"NazwaA", QStringLiteral("Shift")}, {"Pole", 0}}));
    add(QStringLiteral("SPC_OpisID"), Row({{"ID", 3}, {"Nazwa", QStringLiteral("Nr partii")}, {"NazwaA", QStringLiteral("Batch")}, {"Pole", 1}}));
    for (const char* name : {"Jan Kowalski", "Anna Nowak", "Piotr Wiśniewski", "Ewa Zielińska"})
        add(QStringLiteral("SPC_OpisID1"), Row({{"Nazwa", QString::fromUtf8(name)}}));
    for (const char* name : {"I", "II", "III"}) add(QStringLiteral("SPC_OpisID2"), Row({{"Nazwa", QString::fromUtf8(name)}}));

    add(QStringLiteral("SPC_Ustawienia"), Row({{"NazwaOp", QStringLiteral("Uwagi")}, {"CzyWymagany", 0}}));

    add(programy, Row({{"ID", 1}, {"NrP", 1}, {"Lx", 3}, {"ArchP", 0}, {"ID1", QStringLiteral("Wałek napędowy WN-20")},
                       {"ID2", QStringLiteral("Toczenie wykańczające")}, {"ID3", QStringLiteral("T-01")}, {"CzasP", 30}}));
    add(programy, Row({{"ID", 2}, {"NrP", 2}, {"Lx", 1}, {"ArchP", 0}, {"ID1", QStringLiteral("Tuleja dystansowa TD-8")},
                       {"ID2", QStringLiteral("Szlifowanie otworu")}, {"ID3", QStringLiteral("S-02")}, {"CzasP", 0}}));
    add(programy, Row({{"ID", 3}, {"NrP", 3}, {"Lx", 2}, {"ArchP", 1}, {"ID1", QStringLiteral("Pokrywa PK-1 (wycofana)")},
                       {"ID2", QStringLiteral("Frezowanie")}, {"ID3", QStringLiteral("F-01")}, {"CzasP", 15}}));
    add(programy, Row({{"ID", 4}, {"NrP", 4}, {"Lx", 1}, {"ArchP", 0}, {"ID1", QStringLiteral("Płyta montażowa PM-4")},
                       {"ID2", QStringLiteral("Wiercenie")}, {"ID3", QStringLiteral("W-03")}, {"CzasP", 15}}));

    // Sample card, n = 5.
    add(setap, Row({{"ID", 1}, {"IDP", 1}, {"LP", 1}, {"Nazwa", QStringLiteral("Średnica czopa")}, {"WN", 20.0},
                    {"Jednostka", QStringLiteral("mm")}, {"Format", QStringLiteral("0.00")}, {"TypKarty", 0}, {"Probka", 5},
                    {"SkalaSiatki", 20}, {"Gestosc", 24}, {"OG", 20.10}, {"OD", 19.90}, {"GL", 20.20}, {"DL", 19.80},
                    {"Skala", 0}, {"CzyArch", 0}, {"GLK", 20.06}, {"DLK", 19.94}, {"LS", 20.0}, {"LR", 0.22}, {"LO", 0.09}}));
    // Individual values, n = 2 (moving window of two).
    add(setap, Row({{"ID", 2}, {"IDP", 1}, {"LP", 2}, {"Nazwa", QStringLiteral("Długość całkowita")}, {"WN", 120.0},
                    {"Jednostka", QStringLiteral("mm")}, {"Format", QStringLiteral("0.0")}, {"TypKarty", 1}, {"Probka", 2},
                    {"SkalaSiatki", 20}, {"Gestosc", 24}, {"OG", 121.0}, {"OD", 119.0}, {"GL", 122.0}, {"DL", 118.0},
                    {"Skala", 0}, {"CzyArch", 0}, {"GLK", 120.6}, {"DLK", 119.4}, {"LS", 120.0}, {"LR", 0.7}, {"LO", 0.5}}));
    // Upper limit only: no OD.
    add(setap, Row({{"ID", 3}, {"IDP", 1}, {"LP", 3}, {"Nazwa", QStringLiteral("Bicie promieniowe")}, {"WN", 0.0},
                    {"Jednostka", QStringLiteral("mm")}, {"Format", QStringLiteral("0.00")}, {"TypKarty", 0}, {"Probka", 4},
                    {"SkalaSiatki", 15}, {"Gestosc", 19}, {"OG", 0.15}, {"OD", null}, {"Skala", 0}, {"CzyArch", 0},
                    {"GLK", 0.10}, {"DLK", 0.0}, {"LS", 0.05}}));
    // Alternative (attribute) parameter: not read from cards.
    add(setap, Row({{"ID", 4}, {"IDP", 1}, {"LP", 4}, {"Nazwa", QStringLiteral("Wady powłoki")}, {"Jednostka", QStringLiteral("szt.")},
                    {"Format", QStringLiteral("0")}, {"TypKarty", 2}, {"Probka", 50}, {"SkalaSiatki", 10}, {"Gestosc", 24}}));
    // Extended range (Skala = 1).
    add(setap, Row({{"ID", 5}, {"IDP", 2}, {"LP", 1}, {"Nazwa", QStringLiteral("Średnica otworu")}, {"WN", 8.0},
                    {"Jednostka", QStringLiteral("mm")}, {"Format", QStringLiteral("0.000")}, {"TypKarty", 0}, {"Probka", 3},
                    {"SkalaSiatki", 20}, {"Gestosc", 23}, {"OG", 8.020}, {"OD", 7.980}, {"GL", 8.040}, {"DL", 7.960},
                    {"Skala", 1}, {"CzyArch", 0}, {"GLK", 8.012}, {"DLK", 7.988}, {"LS", 8.0}, {"LR", 0.03}, {"LO", 0.012}}));
    // Extended range through CzyArch, individual values n = 1.
    add(setap, Row({{"ID", 6}, {"IDP", 2}, {"LP", 2}, {"Nazwa", QStringLiteral("Twardość")}, {"WN", 60.0},
                    {"Jednostka", QStringLiteral("HRC")}, {"Format", QStringLiteral("0")}, {"TypKarty", 1}, {"Probka", 1},
                    {"SkalaSiatki", 12}, {"Gestosc", 24}, {"OG", 64.0}, {"OD", 56.0}, {"GL", 66.0}, {"DL", 54.0},
                    {"Skala", 0}, {"CzyArch", 1}, {"GLK", 63.0}, {"DLK", 57.0}, {"LS", 60.0}}));
    // Grid division not defined yet.
    add(setap, Row({{"ID", 7}, {"IDP", 2}, {"LP", 3}, {"Nazwa", QStringLiteral("Chropowatość Ra")}, {"WN", 0.8},
                    {"Jednostka", QStringLiteral("µm")}, {"Format", QStringLiteral("0.0")}, {"TypKarty", 0}, {"Probka", 5},
                    {"SkalaSiatki", null}, {"Gestosc", 24}, {"OG", 1.6}, {"OD", 0.0}}));
    add(setap, Row({{"ID", 8}, {"IDP", 3}, {"LP", 1}, {"Nazwa", QStringLiteral("Grubość ścianki")}, {"WN", 4.0},
                    {"Jednostka", QStringLiteral("mm")}, {"Format", QStringLiteral("0.00")}, {"TypKarty", 0}, {"Probka", 5},
                    {"SkalaSiatki", 20}, {"Gestosc", 24}, {"OG", 4.2}, {"OD", 3.8}, {"GLK", 4.12}, {"DLK", 3.88}, {"LS", 4.0}}));
    add(setap, Row({{"ID", 9}, {"IDP", 4}, {"LP", 1}, {"Nazwa", QStringLiteral("Rozstaw otworów")}, {"WN", 150.0},
                    {"Jednostka", QStringLiteral("mm")}, {"Format", QStringLiteral("0.0")}, {"TypKarty", 0}, {"Probka", 5},
                    {"SkalaSiatki", 20}, {"Gestosc", 24}, {"OG", 151.0}, {"OD", 149.0}, {"GL", 152.0}, {"DL", 148.0},
                    {"Skala", 0}, {"CzyArch", 0}, {"GLK", 150.6}, {"DLK", 149.4}, {"LS", 150.0}}));

    if (!ok || !FillChartConstants(conn)) return false;

    // A little history, so that the first individual value has predecessors.
    const QStringList who{QStringLiteral("Jan Kowalski"), QStringLiteral("I"), QStringLiteral("P-1024")};
    add(QStringLiteral("SPC_Baza"), SampleRow(1, 1, QStringLiteral("2024-03-04"), QStringLiteral("07:30"),
                                              {20.01, 19.98, 20.02, 20.00, 19.99}, 20.06, 19.94, 20.0, who));
    add(QStringLiteral("SPC_Baza"), SampleRow(1, 1, QStringLiteral("2024-03-04"), QStringLiteral("08:00"),
                                              {20.03, 20.00, 19.97, 20.01, 20.02}, 20.06, 19.94, 20.0, who));
    add(QStringLiteral("SPC_Baza"), SampleRow(1, 2, QStringLiteral("2024-03-04"), QStringLiteral("07:30"), {120.1},
                                              120.6, 119.4, 120.0, who));
    add(QStringLiteral("SPC_Baza"), SampleRow(1, 2, QStringLiteral("2024-03-04"), QStringLiteral("08:00"), {119.9},
                                              120.6, 119.4, 120.0, who));
    return ok;
}

QString CreateDemoDatabase(const QString& folder, QString* error) {
    auto failWith = [&](const QString& text) {
        if (error) *error = text;
        return QString();
    };
    if (folder.trimmed().isEmpty()) return failWith(QStringLiteral("Nie podano folderu."));
    QDir dir(folder);
    if (!dir.mkpath(QStringLiteral("."))) return failWith(QStringLiteral("Nie można utworzyć folderu %1.").arg(folder));
    const QString absFolder = dir.absolutePath();

    if (FindDatabaseFile(absFolder).isEmpty()) {
        const QString path = dir.filePath(QStringLiteral("Norv.mdb"));
        const QString partial = path + QStringLiteral(".tworzenie");
        QFile::remove(partial);
        bool ok = false;
        QString why;
        {
            DbConnection conn;
            ok = conn.openSqliteFile(partial, false) && conn.beginTransaction() && ApplySchema(conn) &&
                 FillDemoData(conn) && conn.commit();
            if (!ok) why = conn.lastError().description;
        }
        // Built under another name and renamed when complete, so that a failed
        // run never leaves a half-filled Norv.mdb behind.
        if (!ok || !QFile::rename(partial, path)) {
            QFile::remove(partial);
            return failWith(QStringLiteral("Nie można utworzyć bazy %1: %2").arg(path, why));
        }
    }

    const QString ini = dir.filePath(QStringLiteral("NORV_SPC.ini"));
    if (!QFileInfo::exists(ini)) {
        const QString exchange = dir.filePath(QStringLiteral("wymiana"));
        dir.mkpath(QStringLiteral("wymiana"));
        SettingsStore settings(ini);
        settings.write(QStringLiteral("Baza"), QStringLiteral("TypBazy"), QStringLiteral("1"));
        settings.write(QStringLiteral("Start"), QStringLiteral("Sciezka"), absFolder);
        settings.write(QStringLiteral("Start"), QStringLiteral("KonwersjaCB"), QStringLiteral("1"));
        settings.write(QStringLiteral("Start"), QStringLiteral("Procent"), QStringLiteral("20%"));
        settings.write(QStringLiteral("Start"), QStringLiteral("AutoDir"), exchange + QDir::separator());
        if (!settings.sync()) return failWith(QStringLiteral("Nie można zapisać pliku %1.").arg(ini));
    }
    return ini;
}

} // namespace kartovo
