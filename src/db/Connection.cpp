#include "db/Connection.h"

#include "platform/Logging.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTime>
#include <QUrl>
#include <atomic>

namespace kartovo {

namespace {

const QString kSqliteCantOpen = QStringLiteral("14"); // SQLITE_CANTOPEN
const QString kSqliteNotADb = QStringLiteral("26");   // SQLITE_NOTADB

QString NewConnectionName() {
    static std::atomic<int> counter{0};
    return QStringLiteral("kartovo-db-%1").arg(++counter);
}

bool IsIdentifier(const QString& name) {
    static const QRegularExpression re(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    return re.match(name).hasMatch();
}

QString OneLine(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    text.replace(u'\n', u' ');
    text.replace(u'\r', u' ');
    return text.trimmed();
}

bool BindAndExec(QSqlQuery& q, const QString& sql, const QVariantList& values, DbSystem system) {
    if (values.isEmpty()) return q.exec(sql);
    if (!q.prepare(sql)) return false;
    for (const QVariant& v : values) {
        QVariant bound = DbConnection::BindableValue(v);
        // Qt's ODBC driver hands a wide text over with its terminating zero
        // counted, which MariaDB's driver stores as part of the value (and
        // then finds "too long" for a full column); UTF-8 bytes go over exact.
        if (system == DbSystem::MySQL && bound.typeId() == QMetaType::QString && !bound.isNull())
            bound = bound.toString().toUtf8();
        q.addBindValue(bound);
    }
    return q.exec();
}

QStringList ColumnNames(const QSqlRecord& rec) {
    QStringList names;
    names.reserve(rec.count());
    for (int i = 0; i < rec.count(); ++i) names.append(rec.fieldName(i));
    return names;
}

Record RowOf(const QSqlQuery& q, const QStringList& names) {
    QList<QVariant> values;
    values.reserve(names.size());
    for (int i = 0; i < names.size(); ++i) values.append(q.value(i));
    return Record(names, std::move(values));
}

} // namespace

DbError DbErrorFrom(const QSqlError& error) {
    DbError e;
    static const QRegularExpression number(QStringLiteral("-?\\d+"));
    const QRegularExpressionMatch m = number.match(error.nativeErrorCode());
    e.number = m.hasMatch() ? m.captured(0) : QStringLiteral("0");
    e.description = OneLine(error.databaseText());
    if (e.description.isEmpty()) e.description = OneLine(error.driverText());
    return e;
}

QString DatabaseErrorMessage(const DbError& error) {
    const QChar cr(13);
    return QStringLiteral("Podczas dostępu do bazy danych wystąpił błąd !") + cr + QStringLiteral("Numer błędu: ") +
           (error.number.isEmpty() ? QStringLiteral("0") : error.number) + cr + QStringLiteral("Opis błędu: ") +
           error.description + cr + cr + QStringLiteral("Przerywam działanie programu !!!");
}

QString BuildConnectionString(const DatabaseConfig& c) {
    return QStringLiteral("DRIVER=") + c.odbcDriver + QStringLiteral(";SERVER=") + c.odbcServer +
           QStringLiteral("; DATABASE=") + c.odbcDatabase + QStringLiteral(";UID=") + c.odbcUser +
           QStringLiteral(";PWD=") + c.odbcPassword + QStringLiteral(";") +
           (c.odbcPort.trimmed().isEmpty() ? QString() : QStringLiteral("PORT=") + c.odbcPort.trimmed() + u';');
}

QString NormalizeConnectionString(const QString& text) {
    // Split at semicolons that are not inside a {braced value}.
    QStringList parts;
    QString part;
    int depth = 0;
    for (const QChar c : text) {
        if (c == u'{') ++depth;
        if (c == u'}' && depth > 0) --depth;
        if (c == u';' && depth == 0) {
            parts.append(part);
            part.clear();
        } else {
            part += c;
        }
    }
    parts.append(part);

    QString out;
    for (const QString& p : parts) {
        const qsizetype eq = p.indexOf(u'=');
        if (eq < 0) {
            const QString bare = p.trimmed();
            if (!bare.isEmpty()) out += bare + u';';
            continue;
        }
        const QString key = p.left(eq).trimmed();
        const QString value = p.mid(eq + 1).trimmed();
        if (key.isEmpty()) continue;
        out += key + u'=' + value + u';';
    }
    // No closing semicolon: MariaDB's driver refuses the text with one
    // ("Error while parsing DSN") through the wide-character entry Qt uses.
    if (out.endsWith(u';')) out.chop(1);
    return out;
}

QString LatestSamplesSql(int count) {
    return SelectTopSql(count, QStringLiteral("SPC_Baza"), QStringLiteral("IDPK=?"),
                        QStringLiteral("Data DESC,Czas DESC,ID DESC"));
}

bool IsJetDatabaseFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return false;
    const QByteArray head = f.read(20);
    const QByteArray sig = head.mid(4, 15);
    return sig == "Standard Jet DB" || sig == "Standard ACE DB";
}

bool IsSqliteDatabaseFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return false;
    return f.read(16) == QByteArray("SQLite format 3\0", 16);
}

DbConnection::DbConnection() = default;

DbConnection::~DbConnection() { close(); }

void DbConnection::close() {
    if (m_name.isEmpty()) return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        if (db.isOpen()) db.close();
    }
    QSqlDatabase::removeDatabase(m_name);
    m_name.clear();
    m_columns.clear();
    m_system = DbSystem::Other;
}

bool DbConnection::isOpen() const {
    return !m_name.isEmpty() && QSqlDatabase::database(m_name, false).isOpen();
}

QSqlDatabase DbConnection::database() const { return QSqlDatabase::database(m_name, false); }

void DbConnection::fail(const QSqlError& error) {
    m_lastError = DbErrorFrom(error);
    qCWarning(lcDb).noquote() << "database error" << m_lastError.number << m_lastError.description;
}

void DbConnection::fail(const QString& number, const QString& description) {
    m_lastError = DbError{number, description};
    qCWarning(lcDb).noquote() << "database error" << number << description;
}

bool DbConnection::open(const DatabaseConfig& config) {
    if (config.dbType.compare(QStringLiteral("SQL"), Qt::CaseInsensitive) == 0)
        return openOdbc(NormalizeConnectionString(BuildConnectionString(config)));
    return openFile(config.dbFolder);
}

bool DbConnection::openFile(const QString& folder) {
    const QString path = FindDatabaseFile(folder);
    if (path.isEmpty()) {
        close();
        fail(kSqliteCantOpen, QStringLiteral("Nie znaleziono pliku bazy danych Norv.mdb w folderze %1.").arg(folder));
        return false;
    }
    return openSqliteFile(path, true);
}

bool DbConnection::openSqliteFile(const QString& path, bool mustExist) {
    close();
    m_lastError = {};
    const QFileInfo fi(path);
    if (mustExist && !fi.isFile()) {
        fail(kSqliteCantOpen, QStringLiteral("Nie znaleziono pliku bazy danych %1.").arg(path));
        return false;
    }
    if (fi.isFile() && IsJetDatabaseFile(path)) {
        fail(kSqliteNotADb,
             QStringLiteral("Plik %1 jest bazą danych Access (Jet), której ten program nie może zapisywać. "
                            "Ustaw w programie głównym połączenie z serwerem SQL przez ODBC "
                            "albo użyj pliku Norv.mdb w formacie SQLite.")
                 .arg(QDir::toNativeSeparators(fi.absoluteFilePath())));
        return false;
    }
    // SQLite takes an empty file for an empty database, which would end in a
    // misleading "no active control programs"; the header says what a file is.
    if (mustExist && fi.isFile()) {
        const QString shown = QDir::toNativeSeparators(fi.absoluteFilePath());
        if (fi.size() == 0) {
            fail(kSqliteNotADb, QStringLiteral("Plik bazy danych %1 jest pusty (0 bajtów), to nie jest baza danych. "
                                               "Wskaż właściwy plik Norv.mdb albo wypróbuj program: kartovo --demo")
                                    .arg(shown));
            return false;
        }
        if (!IsSqliteDatabaseFile(path)) {
            fail(kSqliteNotADb, QStringLiteral("Plik %1 nie jest bazą danych SQLite (file is not a database).")
                                    .arg(shown));
            return false;
        }
    }
    m_name = NewConnectionName();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        if (mustExist) {
            // mode=rw: a file that vanished since the check is not created
            // empty in its place.
            db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=5000"));
            db.setDatabaseName(QUrl::fromLocalFile(fi.absoluteFilePath()).toString(QUrl::FullyEncoded) +
                               QStringLiteral("?mode=rw"));
        } else {
            db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
            db.setDatabaseName(fi.absoluteFilePath());
        }
        if (!db.open()) {
            const QSqlError err = db.lastError();
            fail(err);
        }
    }
    if (!m_lastError.isSet()) {
        m_system = DbSystem::SQLite;
        // The file is only read when first used: a file of another kind
        // shows up here, not at a later save.
        bool ok = false;
        query(QStringLiteral("SELECT count(*) FROM sqlite_master"), &ok);
        if (ok) return true;
    }
    const DbError keep = m_lastError;
    close();
    m_lastError = keep;
    return false;
}

bool DbConnection::openOdbc(const QString& connectionText) {
    close();
    m_lastError = {};
    m_name = NewConnectionName();
    bool opened = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), m_name);
        db.setDatabaseName(connectionText);
        opened = db.open();
        if (!opened) fail(db.lastError());
    }
    if (!opened) {
        const DbError keep = m_lastError;
        close();
        m_lastError = keep;
        return false;
    }
    m_system = detectSystem();
    qCDebug(lcDb).noquote() << "connected through ODBC to" << DbSystemName(m_system);
    return true;
}

DbSystem DbConnection::detectSystem() {
    QSqlDatabase db = database();
    if (db.driverName() == u"QSQLITE") return DbSystem::SQLite;
    switch (db.driver()->dbmsType()) {
    case QSqlDriver::MSSqlServer: return DbSystem::SqlServer;
    case QSqlDriver::PostgreSQL: return DbSystem::PostgreSQL;
    case QSqlDriver::MySqlServer: return DbSystem::MySQL;
    case QSqlDriver::SQLite: return DbSystem::SQLite;
    default: break;
    }
    // Drivers that Qt does not recognise: ask the server itself.
    QSqlQuery q(db);
    if (q.exec(QStringLiteral("select sqlite_version()"))) return DbSystem::SQLite;
    if (q.exec(QStringLiteral("select @@version")) && q.next()) {
        return q.value(0).toString().contains(QStringLiteral("Microsoft"), Qt::CaseInsensitive) ? DbSystem::SqlServer
                                                                                               : DbSystem::MySQL;
    }
    if (q.exec(QStringLiteral("select version()")) && q.next() &&
        q.value(0).toString().contains(QStringLiteral("PostgreSQL"), Qt::CaseInsensitive))
        return DbSystem::PostgreSQL;
    return DbSystem::Other;
}

Recordset DbConnection::query(const QString& sql, bool* ok, const QVariantList& values) {
    QList<Record> rows;
    const bool good = read(sql, [&](const Record& r) { rows.append(r); return true; }, values);
    if (ok) *ok = good;
    if (!good) return {};
    return Recordset(m_lastReadColumns, std::move(rows));
}

bool DbConnection::read(const QString& sql, const std::function<bool(const Record&)>& visit,
                        const QVariantList& values) {
    if (!isOpen()) {
        fail(QStringLiteral("0"), QStringLiteral("Brak połączenia z bazą danych."));
        return false;
    }
    QSqlQuery q(database());
    q.setForwardOnly(true);
    const QString text = translate(sql);
    if (!BindAndExec(q, text, values, m_system)) {
        fail(q.lastError());
        qCDebug(lcDb).noquote() << "failed SQL:" << text;
        return false;
    }
    const QStringList names = ColumnNames(q.record());
    m_lastReadColumns = names;
    while (q.next()) {
        if (!visit(RowOf(q, names))) break;
    }
    if (q.lastError().isValid()) {
        fail(q.lastError());
        return false;
    }
    return true;
}

bool DbConnection::execute(const QString& sql, const QVariantList& values) {
    if (!isOpen()) {
        fail(QStringLiteral("0"), QStringLiteral("Brak połączenia z bazą danych."));
        return false;
    }
    QSqlQuery q(database());
    const QString text = translate(sql);
    if (!BindAndExec(q, text, values, m_system)) {
        fail(q.lastError());
        qCDebug(lcDb).noquote() << "failed SQL:" << text;
        return false;
    }
    return true;
}

QVariant DbConnection::BindableValue(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::QDate: return value.toDate().toString(QStringLiteral("yyyy-MM-dd"));
    case QMetaType::QTime: return value.toTime().toString(QStringLiteral("hh:mm"));
    case QMetaType::QDateTime: return value.toDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    case QMetaType::Bool: return value.toBool() ? 1 : 0;
    case QMetaType::Float: return static_cast<double>(value.toFloat());
    default: return value;
    }
}

bool DbConnection::append(const QString& table, const Record& row) {
    if (!IsIdentifier(table)) {
        fail(QStringLiteral("0"), QStringLiteral("Niepoprawna nazwa tabeli: %1").arg(table));
        return false;
    }
    const QStringList have = columns(table);
    if (have.isEmpty()) return false;
    QStringList names;
    QStringList placeholders;
    QVariantList values;
    for (const QString& column : row.columns()) {
        QString actual;
        for (const QString& h : have)
            if (h.compare(column, Qt::CaseInsensitive) == 0) actual = h;
        if (actual.isEmpty() || !IsIdentifier(actual)) {
            qCDebug(lcDb).noquote() << "column" << column << "not in" << table << "- left out";
            continue;
        }
        names.append(actual);
        const QVariant v = row.value(column);
        if (!v.isValid() || v.isNull()) {
            placeholders.append(QStringLiteral("NULL"));
        } else {
            placeholders.append(QStringLiteral("?"));
            values.append(v);
        }
    }
    if (names.isEmpty()) {
        fail(QStringLiteral("0"), QStringLiteral("Tabela %1 nie ma żadnej z zapisywanych kolumn.").arg(table));
        return false;
    }
    const QString sql = QStringLiteral("INSERT INTO [%1] (%2) VALUES (%3)")
                            .arg(table, names.join(QStringLiteral(", ")), placeholders.join(QStringLiteral(", ")));
    if (values.isEmpty()) return execute(sql);
    return execute(sql, values);
}

Recordset DbConnection::latestSamples(const QVariant& parameterId, int count, bool* ok) {
    if (count < 1) {
        if (ok) *ok = true;
        return {};
    }
    bool isNumber = false;
    const qlonglong id = parameterId.toLongLong(&isNumber);
    const QVariant bound = isNumber ? QVariant(id) : parameterId;
    Recordset rs = query(LatestSamplesSql(count), ok, QVariantList{bound});
    rs.reverse();
    return rs;
}

bool DbConnection::beginTransaction() {
    QSqlDatabase db = database();
    if (db.transaction()) return true;
    fail(db.lastError());
    return false;
}

bool DbConnection::commit() {
    QSqlDatabase db = database();
    if (db.commit()) return true;
    fail(db.lastError());
    return false;
}

bool DbConnection::rollback() {
    QSqlDatabase db = database();
    if (db.rollback()) return true;
    fail(db.lastError());
    return false;
}

QStringList DbConnection::columns(const QString& table) {
    const QString key = table.toLower();
    const auto it = m_columns.constFind(key);
    if (it != m_columns.constEnd()) return it.value();
    if (!IsIdentifier(table)) {
        fail(QStringLiteral("0"), QStringLiteral("Niepoprawna nazwa tabeli: %1").arg(table));
        return {};
    }
    bool ok = false;
    const Recordset rs = query(QStringLiteral("Select * from [%1] Where 1=0").arg(table), &ok);
    if (!ok) return {};
    m_columns.insert(key, rs.columns());
    return rs.columns();
}

bool DbConnection::hasColumn(const QString& table, const QString& column) {
    const QStringList have = columns(table);
    for (const QString& h : have)
        if (h.compare(column, Qt::CaseInsensitive) == 0) return true;
    return false;
}

} // namespace kartovo
