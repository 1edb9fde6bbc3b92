#include "dal/driver_sqlite.h"

#include <sqlite3.h>

#include <QByteArray>
#include <cmath>
#include <mutex>

#include "dal/dalutil.h"
#include "dal/sqlite_functions.h"
#include "util/regex.h"

namespace qrv::dal {

namespace {

// The field of a declared column type. Names with a length or precision carry it: VARCHAR(40),
// NUMERIC(12,2). Unknown names follow SQLite's affinity rules.
FieldDef FieldFromDecl(const QString &decl) {
  FieldDef f;
  static const Regex re(QStringLiteral("^\\s*([A-Za-z_ ]*?)\\s*(?:\\(\\s*(\\d+)\\s*(?:,\\s*(\\d+)\\s*)?\\))?\\s*$"));
  RegexMatch m;
  QString base = decl.trimmed().toUpper();
  int n1 = 0, n2 = 0;
  bool hasLen = false;
  if (re.match(decl, &m)) {
    base = m.captured(1).simplified().toUpper();
    hasLen = !m.captured(2).isEmpty();
    n1 = m.captured(2).toInt();
    n2 = m.captured(3).toInt();
  }
  auto is = [&](std::initializer_list<const char *> names) {
    for (const char *n : names)
      if (base == QLatin1String(n)) return true;
    return false;
  };
  if (is({"BOOL", "BOOLEAN", "BIT", "LOGICAL"})) {
    f.type = FieldType::Boolean;
  } else if (is({"TINYINT", "INT1"})) {
    f.type = FieldType::Shortint;
  } else if (is({"SMALLINT", "INT2", "SHORTINT"})) {
    f.type = FieldType::Smallint;
  } else if (is({"INT", "MEDIUMINT", "INT4"})) {
    f.type = FieldType::Integer;
  } else if (is({"INTEGER", "BIGINT", "INT8", "INT64", "LARGEINT", "UNSIGNED BIG INT", "COUNTER",
                 "AUTOINCREMENT"})) {
    f.type = FieldType::Largeint;
  } else if (is({"REAL", "FLOAT", "DOUBLE", "DOUBLE PRECISION"})) {
    f.type = FieldType::Float;
  } else if (is({"SINGLE"})) {
    f.type = FieldType::Single;
  } else if (is({"MONEY", "CURRENCY", "SMALLMONEY"})) {
    f.type = FieldType::Currency;
  } else if (is({"NUMERIC", "DECIMAL", "NUMBER", "DEC"})) {
    f.type = FieldType::FMTBcd;
    f.precision = n1;
    f.scale = n2;
  } else if (is({"DATE"})) {
    f.type = FieldType::Date;
  } else if (is({"TIME"})) {
    f.type = FieldType::Time;
  } else if (is({"DATETIME", "SMALLDATETIME"})) {
    f.type = FieldType::DateTime;
  } else if (is({"TIMESTAMP"})) {
    f.type = FieldType::TimeStamp;
  } else if (is({"GUID", "UUID", "UNIQUEIDENTIFIER"})) {
    f.type = FieldType::Guid;
    f.size = 38;
  } else if (is({"VARCHAR", "NVARCHAR", "VARCHAR2", "NVARCHAR2", "CHARACTER VARYING", "VARYING CHARACTER",
                 "NATIONAL VARYING CHARACTER", "STRING", "CHAR", "NCHAR", "CHARACTER", "NATIVE CHARACTER"})) {
    if (hasLen && n1 > 0) {
      f.type = FieldType::WideString;
      f.size = n1;
    } else {
      f.type = FieldType::WideMemo;
    }
  } else if (is({"TEXT", "CLOB", "NTEXT", "MEMO", "LONGTEXT", "MEDIUMTEXT", "JSON", "XML"})) {
    f.type = FieldType::WideMemo;
  } else if (is({"VARBINARY", "BINARY"}) && hasLen && n1 > 0) {
    f.type = FieldType::VarBytes;
    f.size = n1;
  } else if (is({"BLOB", "IMAGE", "BYTEA", "VARBINARY", "BINARY", "LONGBLOB", "GRAPHIC"})) {
    f.type = FieldType::Blob;
  } else if (base.contains(QLatin1String("INT"))) {
    f.type = FieldType::Largeint;
  } else if (base.contains(QLatin1String("CHAR")) || base.contains(QLatin1String("CLOB")) ||
             base.contains(QLatin1String("TEXT"))) {
    f.type = FieldType::WideMemo;
  } else if (base.contains(QLatin1String("BLOB"))) {
    f.type = FieldType::Blob;
  } else if (base.contains(QLatin1String("REAL")) || base.contains(QLatin1String("FLOA")) ||
             base.contains(QLatin1String("DOUB"))) {
    f.type = FieldType::Float;
  } else {
    // Numeric affinity holds anything; text keeps every value as it is.
    f.type = FieldType::WideMemo;
  }
  return f;
}

FieldType FieldOfValueType(int sqliteType) {
  switch (sqliteType) {
    case SQLITE_INTEGER: return FieldType::Largeint;
    case SQLITE_FLOAT: return FieldType::Float;
    case SQLITE_BLOB: return FieldType::Blob;
    default: return FieldType::WideMemo;
  }
}

class SqliteConnection;

class SqliteCursor final : public Cursor {
 public:
  SqliteCursor(SqliteConnection *conn, QByteArray sql) : conn_(conn), sql_(std::move(sql)) {
    tail_ = sql_.constData();
  }
  ~SqliteCursor() override;

  // Prepares and starts the next statement of the text; false at the end (err set on failure).
  bool advance(DbError *err);

  bool hasRows() const override { return hasRows_; }
  const FieldDefs &fields() const override { return fields_; }
  qint64 rowsAffected() const override { return affected_; }
  qint64 fetch(RowSet &out, qint64 maxRows, DbError *err) override;
  bool nextResult(DbError *err) override;

  void detach();  // the connection closes

 private:
  void finalize();
  void buildFields();
  void appendValue(RowSet &out, int col);
  bool stepError(int rc, DbError *err);

  SqliteConnection *conn_;
  QByteArray sql_;
  const char *tail_ = nullptr;
  sqlite3_stmt *stmt_ = nullptr;
  bool hasRows_ = false;
  bool rowPending_ = false;  // the statement stands on a row not yet fetched
  bool done_ = false;        // no more statements
  qint64 affected_ = -1;
  FieldDefs fields_;
};

class SqliteConnection final : public Connection {
 public:
  ~SqliteConnection() override { close(); }

  QString driverId() const override { return QStringLiteral("SQLite"); }

  bool open(const ConnParams &params, DbError *err) override {
    close();
    QString path = params.value(QStringLiteral("Database")).trimmed();
    if (path.isEmpty()) path = QStringLiteral(":memory:");
    const QString mode = params.value(QStringLiteral("OpenMode"), QStringLiteral("CreateUTF8"));
    int flags = SQLITE_OPEN_FULLMUTEX | SQLITE_OPEN_URI;
    if (mode.compare(QLatin1String("ReadOnly"), Qt::CaseInsensitive) == 0)
      flags |= SQLITE_OPEN_READONLY;
    else if (mode.compare(QLatin1String("ReadWrite"), Qt::CaseInsensitive) == 0)
      flags |= SQLITE_OPEN_READWRITE;
    else
      flags |= SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    sqlite3 *db = nullptr;
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
      const QString msg = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(rc));
      SetError(err, QStringLiteral("Cannot open database \"%1\": %2 [SQLite error %3]").arg(path, msg).arg(rc),
               rc, QString(), DbErrorKind::ConnectFailed, rc);
      if (db) sqlite3_close_v2(db);
      return false;
    }
    sqlite3_extended_result_codes(db, 0);
    bool ok = false;
    const int busy = params.value(QStringLiteral("BusyTimeout")).toInt(&ok);
    sqlite3_busy_timeout(db, ok ? busy : 10000);
    {
      std::lock_guard<std::mutex> lk(handleMx_);
      db_ = db;
    }
    RegisterProgramFunctions(db_);
    // Settings that the program's definitions may carry.
    QStringList pragmas;
    const QString locking = params.value(QStringLiteral("LockingMode"));
    if (locking.compare(QLatin1String("Exclusive"), Qt::CaseInsensitive) == 0)
      pragmas << QStringLiteral("PRAGMA locking_mode=EXCLUSIVE");
    else if (locking.compare(QLatin1String("Normal"), Qt::CaseInsensitive) == 0)
      pragmas << QStringLiteral("PRAGMA locking_mode=NORMAL");
    const QString fk = params.value(QStringLiteral("ForeignKeys"));
    if (fk.compare(QLatin1String("On"), Qt::CaseInsensitive) == 0 || fk == QLatin1String("1") ||
        fk.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
      pragmas << QStringLiteral("PRAGMA foreign_keys=ON");
    const QString journal = params.value(QStringLiteral("JournalMode"));
    if (!journal.isEmpty() && Regex(QStringLiteral("^[A-Za-z]+$")).matches(journal))
      pragmas << QStringLiteral("PRAGMA journal_mode=%1").arg(journal);
    for (const QString &p : pragmas) {
      char *msg = nullptr;
      if (sqlite3_exec(db_, p.toUtf8().constData(), nullptr, nullptr, &msg) != SQLITE_OK) {
        SetError(err, QString::fromUtf8(msg ? msg : "error"), sqlite3_errcode(db_), QString(),
                 DbErrorKind::ConnectFailed, sqlite3_errcode(db_));
        sqlite3_free(msg);
        close();
        return false;
      }
    }
    // A file that is not a database shows only on first read; find out now.
    char *msg = nullptr;
    if (sqlite3_exec(db_, "SELECT count(*) FROM sqlite_schema", nullptr, nullptr, &msg) != SQLITE_OK) {
      const int code = sqlite3_errcode(db_);
      SetError(err, QStringLiteral("Cannot open database \"%1\": %2 [SQLite error %3]")
                        .arg(path, QString::fromUtf8(msg ? msg : "error"))
                        .arg(code),
               code, QString(), DbErrorKind::ConnectFailed, code);
      sqlite3_free(msg);
      close();
      return false;
    }
    return true;
  }

  void close() override {
    metadataMemo_.reset();
    if (active_) active_->detach();
    active_ = nullptr;
    cmd_.end();
    std::lock_guard<std::mutex> lk(handleMx_);
    if (db_) sqlite3_close_v2(db_);
    db_ = nullptr;
  }

  bool isOpen() const override { return db_ != nullptr; }

  std::unique_ptr<Cursor> execute(const QString &sql, DbError *err) override {
    if (!db_) {
      SetError(err, QStringLiteral("The connection is not open"), 0, QString(), DbErrorKind::ConnectionLost);
      return nullptr;
    }
    if (active_) {
      active_->detach();
      active_ = nullptr;
    }
    messages_.clear();
    cmd_.begin(commandTimeoutMs_, [this] { interrupt(); });
    auto c = std::make_unique<SqliteCursor>(this, sql.toUtf8());
    active_ = c.get();
    DbError e;
    if (!c->advance(&e) && e.isError()) {
      if (err) *err = e;
      return nullptr;
    }
    // An empty text gives one result without rows.
    return c;
  }

  void cancel() override {
    if (cmd_.requestCancel()) interrupt();
  }

  QString clientVersion() const override { return QString::fromLatin1(sqlite3_libversion()); }
  QString serverVersion() const override { return clientVersion(); }
  ::sqlite3 *sqliteHandle() const override { return db_; }

  sqlite3 *db() const { return db_; }
  CommandState &cmd() { return cmd_; }
  void cursorGone(SqliteCursor *c) {
    if (active_ == c) {
      active_ = nullptr;
      cmd_.end();
    }
  }

  void error(DbError *err, int rc) {
    if (!err) return;
    const int code = db_ ? sqlite3_errcode(db_) : rc;
    QString msg = db_ ? QString::fromUtf8(sqlite3_errmsg(db_)) : QString::fromUtf8(sqlite3_errstr(rc));
    DbErrorKind kind = DbErrorKind::Other;
    int shown = code;
    if (msg.startsWith(QLatin1String("no such table")) || msg.startsWith(QLatin1String("no such column")) ||
        msg.startsWith(QLatin1String("no such view")) || msg.startsWith(QLatin1String("no such index")) ||
        msg.startsWith(QLatin1String("no such function")) || msg.startsWith(QLatin1String("unknown database"))) {
      kind = DbErrorKind::ObjectNotFound;
      shown = ErrObjectNotFound;
    }
    SetError(err, QStringLiteral("%1 [SQLite error %2]").arg(msg).arg(code), shown, QString(), kind, code);
    if (code == SQLITE_INTERRUPT) cmd_.explainStop(err);
  }

 private:
  void interrupt() {
    std::lock_guard<std::mutex> lk(handleMx_);
    if (db_) sqlite3_interrupt(db_);
  }

  sqlite3 *db_ = nullptr;
  std::mutex handleMx_;  // keeps the handle alive while another thread interrupts it
  CommandState cmd_;
  SqliteCursor *active_ = nullptr;
};

SqliteCursor::~SqliteCursor() {
  finalize();
  if (conn_) conn_->cursorGone(this);
}

void SqliteCursor::detach() {
  finalize();
  conn_ = nullptr;
  done_ = true;
}

void SqliteCursor::finalize() {
  if (stmt_) sqlite3_finalize(stmt_);
  stmt_ = nullptr;
  rowPending_ = false;
}

bool SqliteCursor::stepError(int rc, DbError *err) {
  if (conn_) conn_->error(err, rc);
  finalize();
  done_ = true;
  if (conn_) conn_->cmd().end();
  return false;
}

bool SqliteCursor::advance(DbError *err) {
  finalize();
  hasRows_ = false;
  affected_ = -1;
  fields_.clear();
  if (done_ || !conn_) return false;
  sqlite3 *db = conn_->db();
  const char *end = sql_.constData() + sql_.size();
  while (tail_ && tail_ < end) {
    sqlite3_stmt *st = nullptr;
    const char *next = nullptr;
    const int rc = sqlite3_prepare_v2(db, tail_, int(end - tail_), &st, &next);
    tail_ = next;
    if (rc != SQLITE_OK) return stepError(rc, err);
    if (!st) continue;  // blanks or a comment
    stmt_ = st;
    const int changesBefore = sqlite3_total_changes(db);
    const int src = sqlite3_step(st);
    if (src == SQLITE_ROW) {
      rowPending_ = true;
      hasRows_ = true;
    } else if (src == SQLITE_DONE) {
      hasRows_ = sqlite3_column_count(st) > 0;
      // Statements that change nothing (DDL, SELECT) report no count of their own.
      const bool dml = sqlite3_stmt_readonly(st) == 0 && !hasRows_;
      affected_ = dml && sqlite3_total_changes(db) != changesBefore ? sqlite3_changes64(db)
                  : dml                                             ? 0
                                                                    : -1;
    } else {
      return stepError(src, err);
    }
    if (hasRows_) buildFields();
    return true;
  }
  done_ = true;
  conn_->cmd().end();
  return false;
}

void SqliteCursor::buildFields() {
  const int n = sqlite3_column_count(stmt_);
  fields_.resize(n);
  sqlite3 *db = conn_->db();
  for (int i = 0; i < n; ++i) {
    const char *decl = sqlite3_column_decltype(stmt_, i);
    FieldDef f;
    if (decl && *decl) {
      f = FieldFromDecl(QString::fromUtf8(decl));
    } else {
      f.type = rowPending_ ? FieldOfValueType(sqlite3_column_type(stmt_, i)) : FieldType::WideMemo;
      if (rowPending_ && sqlite3_column_type(stmt_, i) == SQLITE_NULL) f.type = FieldType::WideMemo;
    }
    f.name = QString::fromUtf8(sqlite3_column_name(stmt_, i));
    const char *table = sqlite3_column_table_name(stmt_, i);
    const char *column = sqlite3_column_origin_name(stmt_, i);
    const char *dbName = sqlite3_column_database_name(stmt_, i);
    if (table && column) {
      f.originTable = QString::fromUtf8(table);
      f.originColumn = QString::fromUtf8(column);
      f.originCatalog = QString::fromUtf8(dbName ? dbName : "main");
      int notNull = 0, pk = 0, autoInc = 0;
      if (sqlite3_table_column_metadata(db, dbName, table, column, nullptr, nullptr, &notNull, &pk, &autoInc) ==
          SQLITE_OK) {
        f.nullable = !notNull && !pk;
        f.autoInc = autoInc != 0;
      }
    } else {
      f.readOnly = true;  // an expression
    }
    fields_[i] = f;
  }
}

void SqliteCursor::appendValue(RowSet &out, int col) {
  sqlite3_stmt *st = stmt_;
  const int vt = sqlite3_column_type(st, col);
  if (vt == SQLITE_NULL) {
    out.appendNull(col);
    return;
  }
  switch (out.storage(col)) {
    case StorageKind::Int64:
      if (vt == SQLITE_INTEGER) {
        out.appendInt(col, sqlite3_column_int64(st, col));
        return;
      }
      if (vt == SQLITE_FLOAT) {
        const double d = sqlite3_column_double(st, col);
        if (std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 9.2e18) {
          out.appendInt(col, qint64(d));
          return;
        }
        out.changeFieldType(col, FieldType::Float);
        fields_[col].type = FieldType::Float;
        out.appendDouble(col, d);
        return;
      }
      if (vt == SQLITE_TEXT) {
        const char *t = reinterpret_cast<const char *>(sqlite3_column_text(st, col));
        const int len = sqlite3_column_bytes(st, col);
        bool ok = false;
        const qint64 v = QByteArrayView(t, len).trimmed().toLongLong(&ok);
        if (ok) {
          out.appendInt(col, v);
          return;
        }
        if (out.fields()[col].type == FieldType::Boolean) {
          const QByteArray b = QByteArray(t, len).trimmed().toLower();
          if (b == "true" || b == "false" || b == "t" || b == "f" || b == "yes" || b == "no") {
            out.appendFromText(col, b.constData(), b.size());
            return;
          }
        }
      }
      // Text or a blob in a numeric column: keep it as text rather than lose it.
      out.changeFieldType(col, FieldType::WideMemo);
      fields_[col].type = FieldType::WideMemo;
      break;
    case StorageKind::Double:
      if (vt == SQLITE_INTEGER || vt == SQLITE_FLOAT) {
        out.appendDouble(col, sqlite3_column_double(st, col));
        return;
      }
      if (vt == SQLITE_TEXT) {
        bool ok = false;
        const double d = QByteArrayView(reinterpret_cast<const char *>(sqlite3_column_text(st, col)),
                                        sqlite3_column_bytes(st, col))
                             .trimmed()
                             .toDouble(&ok);
        if (ok) {
          out.appendDouble(col, d);
          return;
        }
      }
      out.changeFieldType(col, FieldType::WideMemo);
      fields_[col].type = FieldType::WideMemo;
      break;
    default: break;
  }
  if (out.storage(col) == StorageKind::Bytes || vt == SQLITE_BLOB) {
    const void *b = sqlite3_column_blob(st, col);
    out.appendUtf8(col, static_cast<const char *>(b), sqlite3_column_bytes(st, col));
  } else {
    const char *t = reinterpret_cast<const char *>(sqlite3_column_text(st, col));
    out.appendUtf8(col, t, sqlite3_column_bytes(st, col));
  }
}

qint64 SqliteCursor::fetch(RowSet &out, qint64 maxRows, DbError *err) {
  if (!hasRows_ || !stmt_) return 0;
  const int n = int(fields_.size());
  qint64 count = 0;
  while (rowPending_ && (maxRows < 0 || count < maxRows)) {
    for (int c = 0; c < n; ++c) appendValue(out, c);
    out.endRow();
    ++count;
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) continue;
    rowPending_ = false;
    if (rc != SQLITE_DONE) {
      stepError(rc, err);
      return -1;
    }
  }
  return count;
}

bool SqliteCursor::nextResult(DbError *err) {
  if (done_) return false;
  return advance(err);
}

}  // namespace

ConnectionPtr CreateSqliteConnection() { return std::make_unique<SqliteConnection>(); }

}  // namespace qrv::dal
