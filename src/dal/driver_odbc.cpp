#include "dal/driver_odbc.h"

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <set>

namespace qrv::dal {

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "SQLWCHAR must be UTF-16");

namespace {

const SQLWCHAR *W(const QString &s) { return reinterpret_cast<const SQLWCHAR *>(s.utf16()); }
QString FromW(const SQLWCHAR *p, qsizetype chars) {
  return QString::fromUtf16(reinterpret_cast<const char16_t *>(p), chars);
}

bool Ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

struct DiagRecord {
  QString state;
  int native = 0;
  QString text;
};

QList<DiagRecord> Diagnostics(SQLSMALLINT type, SQLHANDLE h) {
  QList<DiagRecord> out;
  if (!h) return out;
  for (SQLSMALLINT i = 1; i < 50; ++i) {
    SQLWCHAR state[8] = {0};
    SQLINTEGER native = 0;
    SQLWCHAR text[2048];
    SQLSMALLINT len = 0;
    const SQLRETURN rc = SQLGetDiagRecW(type, h, i, state, &native, text, SQLSMALLINT(std::size(text)), &len);
    if (!Ok(rc)) break;
    DiagRecord r;
    r.state = FromW(state, 5);
    r.native = int(native);
    r.text = FromW(text, qMin<qsizetype>(len, qsizetype(std::size(text)) - 1)).trimmed();
    out << r;
  }
  return out;
}

DbError DiagError(SQLSMALLINT type, SQLHANDLE h, const QString &fallback) {
  DbError e;
  const auto recs = Diagnostics(type, h);
  QStringList lines;
  for (const auto &r : recs) lines << r.text;
  e.message = lines.join(QLatin1Char('\n'));
  if (e.message.isEmpty()) e.message = fallback;
  if (!recs.isEmpty()) {
    e.sqlState = recs.first().state;
    e.code = recs.first().native;
    e.nativeCode = recs.first().native;
  }
  if (e.sqlState == QLatin1String("HY008")) e.kind = DbErrorKind::Cancelled;
  if (e.sqlState == QLatin1String("HYT00")) e.kind = DbErrorKind::TimedOut;
  if (e.sqlState.startsWith(QLatin1String("08"))) e.kind = DbErrorKind::ConnectionLost;
  return e;
}

void SetMessage(DbError *err, const QString &msg, DbErrorKind kind = DbErrorKind::Other) {
  if (!err) return;
  *err = DbError();
  err->message = msg;
  err->kind = kind;
}

// A connection-string value, enclosed in braces when it would otherwise change the string's meaning.
QString Quoted(const QString &v) {
  if (v.isEmpty()) return v;
  if (v.contains(QLatin1Char(';')) || v.contains(QLatin1Char('{')) || v.contains(QLatin1Char('}')) ||
      v.contains(QLatin1Char('=')) || v.front().isSpace() || v.back().isSpace()) {
    QString e = v;
    e.replace(QLatin1String("}"), QLatin1String("}}"));
    return QLatin1Char('{') + e + QLatin1Char('}');
  }
  return v;
}

struct SystemDefaults {
  const char *id;
  const char *driver;  // default ODBC driver name; a name ending in "*" takes the first installed match
  const char *server, *port, *database, *user, *password;  // connection-string keys (nullptr: not passed)
  const char *extra;   // always appended unless ODBCAdvanced sets the same key
};

// Generic keys understood by most drivers.
#define QRV_STD "SERVER", "PORT", "DATABASE", "UID", "PWD"
const SystemDefaults kSystems[] = {
    {"ODBC", "", QRV_STD, ""},
    {"MSSQL", "FreeTDS", QRV_STD, "TDS_Version=7.4"},
    {"DB2", "IBM DB2 ODBC DRIVER", "HOSTNAME", "PORT", "DATABASE", "UID", "PWD", "PROTOCOL=TCPIP"},
    {"Infx", "IBM INFORMIX ODBC DRIVER", "HOST", "SERVICE", "DATABASE", "UID", "PWD", ""},
    {"TData", "Teradata Database ODBC Driver*", "DBCName", nullptr, "Database", "UID", "PWD", ""},
    {"ASA", "SQL Anywhere*", "Host", nullptr, "DatabaseName", "UID", "PWD", ""},
    {"ADS", "Advantage StreamlineSQL ODBC*", nullptr, nullptr, "DataDirectory", "UID", "PWD", ""},
    {"MSAcc", "MDBTools", nullptr, nullptr, "DBQ", nullptr, nullptr, ""},
    {"Ora", "Oracle*", nullptr, nullptr, "DBQ", "UID", "PWD", ""},
    {"Nexus", "NexusDB V4 Driver*", QRV_STD, ""},
};
#undef QRV_STD

const SystemDefaults &DefaultsOf(const QString &id) {
  for (const auto &s : kSystems)
    if (id.compare(QLatin1String(s.id), Qt::CaseInsensitive) == 0) return s;
  return kSystems[0];
}

// The installed driver for a default name (a trailing "*" matches any suffix, the first installed wins).
QString ResolveDefaultDriver(const QString &name) {
  if (!name.endsWith(QLatin1Char('*'))) return name;
  const QString prefix = name.chopped(1);
  for (const QString &d : InstalledOdbcDrivers())
    if (d.startsWith(prefix, Qt::CaseInsensitive)) return d;
  return prefix.trimmed();
}

QString KeyOf(const QString &text) { return text.section(QLatin1Char('='), 0, 0).trimmed(); }

struct Env {
  SQLHENV h = SQL_NULL_HENV;
  Env() {
    if (Ok(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &h)))
      SQLSetEnvAttr(h, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  }
  ~Env() {
    if (h) SQLFreeHandle(SQL_HANDLE_ENV, h);
  }
};

QString FractionText(quint32 nanos) {
  if (!nanos) return QString();
  QString f = QStringLiteral("%1").arg(nanos, 9, 10, QLatin1Char('0'));
  while (f.endsWith(QLatin1Char('0'))) f.chop(1);
  return QLatin1Char('.') + f;
}

QString TwoDigits(int v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); }

}  // namespace

// ------------------------------------------------------------------------------------- public helpers

QString DefaultOdbcDriver(const QString &driverId) {
  return ResolveDefaultDriver(QString::fromLatin1(DefaultsOf(driverId).driver));
}

QStringList InstalledOdbcDrivers() {
  Env env;
  QStringList out;
  if (!env.h) return out;
  SQLWCHAR desc[512];
  SQLWCHAR attrs[2048];
  SQLSMALLINT dl = 0, al = 0;
  SQLUSMALLINT dir = SQL_FETCH_FIRST;
  while (Ok(SQLDriversW(env.h, dir, desc, SQLSMALLINT(std::size(desc)), &dl, attrs, SQLSMALLINT(std::size(attrs)),
                        &al))) {
    out << FromW(desc, qMin<qsizetype>(dl, qsizetype(std::size(desc)) - 1));
    dir = SQL_FETCH_NEXT;
  }
  return out;
}

QString BuildOdbcConnectionString(const QString &driverId, const ConnParams &params, DbError *err) {
  const SystemDefaults &sys = DefaultsOf(driverId);
  const QString dsn = params.value(QStringLiteral("DataSource")).trimmed();
  QString driver = params.value(QStringLiteral("ODBCDriver")).trimmed();
  QStringList parts;
  if (!dsn.isEmpty()) {
    parts << QStringLiteral("DSN=") + Quoted(dsn);
  } else {
    if (driver.isEmpty()) driver = ResolveDefaultDriver(QString::fromLatin1(sys.driver));
    if (driver.isEmpty()) {
      SetMessage(err,
                 QStringLiteral("No ODBC data source or driver given: set DataSource to a DSN or ODBCDriver to the "
                                "name of an installed ODBC driver"),
                 DbErrorKind::ConnectFailed);
      return QString();
    }
    QString d = driver;
    if (d.startsWith(QLatin1Char('{')) && d.endsWith(QLatin1Char('}'))) d = d.mid(1, d.size() - 2);
    d.replace(QLatin1String("}"), QLatin1String("}}"));
    parts << QStringLiteral("DRIVER={%1}").arg(d);
  }
  const QString server = params.value(QStringLiteral("Server")).trimmed();
  const QString port = params.value(QStringLiteral("Port")).trimmed();
  QString database = params.value(QStringLiteral("Database"));
  const bool ora = driverId.compare(QLatin1String("Ora"), Qt::CaseInsensitive) == 0;
  const bool hostPort = QLatin1String(sys.port).isNull() && !QLatin1String(sys.server).isNull();
  if (ora && !server.isEmpty())  // Oracle: DBQ=host[:port]/service
    database = server + (port.isEmpty() ? QString() : QLatin1Char(':') + port) + QLatin1Char('/') + database;
  if (sys.server && !server.isEmpty())
    parts << QString::fromLatin1(sys.server) + QLatin1Char('=') +
                 Quoted(hostPort && !port.isEmpty() ? server + QLatin1Char(':') + port : server);
  if (sys.port && !port.isEmpty()) parts << QString::fromLatin1(sys.port) + QLatin1Char('=') + Quoted(port);
  if (sys.database && !database.isEmpty())
    parts << QString::fromLatin1(sys.database) + QLatin1Char('=') + Quoted(database);
  const QString user = params.value(QStringLiteral("User_Name"));
  if (sys.user && !user.isEmpty()) parts << QString::fromLatin1(sys.user) + QLatin1Char('=') + Quoted(user);
  const QString pwd = params.value(QStringLiteral("Password"));
  if (sys.password && !pwd.isEmpty())
    parts << QString::fromLatin1(sys.password) + QLatin1Char('=') + Quoted(pwd);
  const QString advanced = params.value(QStringLiteral("ODBCAdvanced")).trimmed();
  const QString extra = QString::fromLatin1(sys.extra);
  if (!extra.isEmpty() && dsn.isEmpty()) {
    bool overridden = false;
    for (const QString &a : advanced.split(QLatin1Char(';'), Qt::SkipEmptyParts))
      if (KeyOf(a).compare(KeyOf(extra), Qt::CaseInsensitive) == 0) overridden = true;
    if (!overridden) parts << extra;
  }
  QString s = parts.join(QLatin1Char(';'));
  if (!advanced.isEmpty()) s += QLatin1Char(';') + advanced;
  return s;
}

// ---------------------------------------------------------------------------------------- connection

class OdbcCursor;

class OdbcConnection : public Connection {
 public:
  explicit OdbcConnection(QString id) : id_(std::move(id)) {}
  ~OdbcConnection() override { close(); }

  QString driverId() const override { return id_; }
  bool open(const ConnParams &params, DbError *err) override;
  void close() override;
  bool isOpen() const override { return dbc_ != SQL_NULL_HDBC; }
  std::unique_ptr<Cursor> execute(const QString &sql, DbError *err) override;
  void cancel() override;
  QString clientVersion() const override { return clientVersion_; }
  QString serverVersion() const override { return serverVersion_; }

  std::unique_ptr<Cursor> catalog(OdbcCatalogCall call, const QString &catalog, const QString &schema,
                                  const QString &object, const QString &extra, DbError *err);
  QString info(SQLUSMALLINT what) const;
  QString currentCatalog() const;

  void addMessages(SQLSMALLINT type, SQLHANDLE h) {
    for (const auto &r : Diagnostics(type, h)) messages_ << r.text;
  }
  void setRunning(SQLHSTMT h) { running_ = h; }
  void cursorGone(OdbcCursor *c) {
    std::lock_guard<std::mutex> lk(mx_);
    cursors_.erase(c);
  }

 private:
  SQLHSTMT newStatement(DbError *err);
  std::unique_ptr<Cursor> wrap(SQLHSTMT h, DbError *err);

  QString id_;
  std::unique_ptr<Env> env_;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  std::atomic<SQLHSTMT> running_{SQL_NULL_HSTMT};
  std::mutex mx_;  // guards cursors_ and the statement handle that cancel() uses
  std::set<OdbcCursor *> cursors_;
  QString clientVersion_, serverVersion_;
  QString escape_;

  friend class OdbcCursor;
};

class OdbcCursor : public Cursor {
 public:
  OdbcCursor(OdbcConnection *c, SQLHSTMT h) : conn_(c), h_(h) {}
  ~OdbcCursor() override {
    release();
    if (conn_) conn_->cursorGone(this);
  }
  // Describes the current result; false with err set on failure.
  bool describe(DbError *err);
  void release() {
    if (h_) {
      if (conn_) {
        std::lock_guard<std::mutex> lk(conn_->mx_);
        if (conn_->running_ == h_) conn_->running_ = SQL_NULL_HSTMT;
      }
      SQLFreeHandle(SQL_HANDLE_STMT, h_);
      h_ = SQL_NULL_HSTMT;
    }
  }
  void detach() {
    release();
    conn_ = nullptr;
  }

  bool hasRows() const override { return cols_ > 0; }
  const FieldDefs &fields() const override { return fields_; }
  qint64 rowsAffected() const override { return affected_; }
  qint64 fetch(RowSet &out, qint64 maxRows, DbError *err) override;
  bool nextResult(DbError *err) override;

 private:
  bool readCell(RowSet &out, int col, DbError *err);
  bool readChunks(SQLSMALLINT cType, int col, QByteArray *data, bool *isNull, DbError *err);

  OdbcConnection *conn_;
  SQLHSTMT h_;
  SQLSMALLINT cols_ = 0;
  std::vector<SQLSMALLINT> sqlTypes_;
  FieldDefs fields_;
  qint64 affected_ = -1;
  bool atEnd_ = false;
};

bool OdbcConnection::open(const ConnParams &params, DbError *err) {
  close();
  if (err) err->clear();
  const QString connStr = BuildOdbcConnectionString(id_, params, err);
  if (connStr.isEmpty()) return false;
  const QString dsn = params.value(QStringLiteral("DataSource")).trimmed();
  QString driver = params.value(QStringLiteral("ODBCDriver")).trimmed();
  if (driver.isEmpty()) driver = DefaultOdbcDriver(id_);
  auto notInstalled = [&] {
    SetMessage(err,
               QStringLiteral("The ODBC driver \"%1\" is not installed. Install it, or set ODBCDriver in the "
                              "connection definition to the name of an installed ODBC driver (installed: %2).")
                   .arg(driver, InstalledOdbcDrivers().join(QStringLiteral(", "))),
               DbErrorKind::ConnectFailed);
    if (err) err->sqlState = QStringLiteral("IM002");
  };
  if (dsn.isEmpty() && !driver.contains(QLatin1Char('/'))) {
    QString bare = driver;
    if (bare.startsWith(QLatin1Char('{')) && bare.endsWith(QLatin1Char('}'))) bare = bare.mid(1, bare.size() - 2);
    if (!InstalledOdbcDrivers().contains(bare, Qt::CaseInsensitive)) {
      notInstalled();
      return false;
    }
  }

  env_ = std::make_unique<Env>();
  if (!env_->h) {
    SetMessage(err, QStringLiteral("The ODBC driver manager could not be initialised"), DbErrorKind::ConnectFailed);
    return false;
  }
  SQLHDBC dbc = SQL_NULL_HDBC;
  if (!Ok(SQLAllocHandle(SQL_HANDLE_DBC, env_->h, &dbc))) {
    if (err) *err = DiagError(SQL_HANDLE_ENV, env_->h, QStringLiteral("Cannot allocate an ODBC connection"));
    return false;
  }
  bool ok = false;
  int loginTimeout = params.value(QStringLiteral("LoginTimeout")).toInt(&ok);
  if (!ok || loginTimeout <= 0) loginTimeout = 15;
  SQLSetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(SQLULEN(loginTimeout)), 0);
  SQLWCHAR outStr[1024];
  SQLSMALLINT outLen = 0;
  const SQLRETURN rc = SQLDriverConnectW(dbc, nullptr, const_cast<SQLWCHAR *>(W(connStr)), SQL_NTS, outStr,
                                         SQLSMALLINT(std::size(outStr)), &outLen, SQL_DRIVER_NOPROMPT);
  if (!Ok(rc)) {
    DbError e = DiagError(SQL_HANDLE_DBC, dbc, QStringLiteral("Cannot connect through ODBC"));
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    env_.reset();
    if (e.sqlState == QLatin1String("IM002") && dsn.isEmpty()) {
      notInstalled();
      return false;
    }
    if (e.sqlState == QLatin1String("IM002"))
      e.message = QStringLiteral("The ODBC data source \"%1\" is not defined (check DataSource in the connection "
                                 "definition and the odbc.ini files)\n%2")
                      .arg(dsn, e.message);
    e.kind = DbErrorKind::ConnectFailed;
    if (err) *err = e;
    return false;
  }
  dbc_ = dbc;
  messages_.clear();
  if (rc == SQL_SUCCESS_WITH_INFO) addMessages(SQL_HANDLE_DBC, dbc_);
  clientVersion_ = QStringLiteral("unixODBC %1; %2 %3").arg(info(SQL_DM_VER), info(SQL_DRIVER_NAME), info(SQL_DRIVER_VER));
  serverVersion_ = (info(SQL_DBMS_NAME) + QLatin1Char(' ') + info(SQL_DBMS_VER)).trimmed();
  escape_ = info(SQL_SEARCH_PATTERN_ESCAPE);
  return true;
}

void OdbcConnection::close() {
  std::set<OdbcCursor *> open;
  {
    std::lock_guard<std::mutex> lk(mx_);
    open.swap(cursors_);
  }
  for (OdbcCursor *c : open) c->detach();
  if (dbc_) {
    SQLDisconnect(dbc_);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    dbc_ = SQL_NULL_HDBC;
  }
  env_.reset();
}

void OdbcConnection::cancel() {
  std::lock_guard<std::mutex> lk(mx_);
  SQLHSTMT h = running_;
  if (h) SQLCancel(h);
}

QString OdbcConnection::info(SQLUSMALLINT what) const {
  if (!dbc_) return QString();
  SQLWCHAR buf[512];
  SQLSMALLINT len = 0;
  if (!Ok(SQLGetInfoW(dbc_, what, buf, SQLSMALLINT(sizeof buf), &len))) return QString();
  return FromW(buf, qMin<qsizetype>(len / qsizetype(sizeof(SQLWCHAR)), qsizetype(std::size(buf)) - 1));
}

QString OdbcConnection::currentCatalog() const {
  if (!dbc_) return QString();
  SQLWCHAR buf[512];
  SQLINTEGER len = 0;
  if (!Ok(SQLGetConnectAttrW(dbc_, SQL_ATTR_CURRENT_CATALOG, buf, SQLINTEGER(sizeof buf), &len)) || len <= 0)
    return QString();
  return FromW(buf, qMin<qsizetype>(len / qsizetype(sizeof(SQLWCHAR)), qsizetype(std::size(buf)) - 1));
}

SQLHSTMT OdbcConnection::newStatement(DbError *err) {
  if (!dbc_) {
    SetMessage(err, QStringLiteral("The connection is not open"));
    return SQL_NULL_HSTMT;
  }
  SQLHSTMT h = SQL_NULL_HSTMT;
  if (!Ok(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &h))) {
    if (err) *err = DiagError(SQL_HANDLE_DBC, dbc_, QStringLiteral("Cannot allocate an ODBC statement"));
    return SQL_NULL_HSTMT;
  }
  if (commandTimeoutMs_ > 0) {
    const SQLULEN secs = SQLULEN((commandTimeoutMs_ + 999) / 1000);
    SQLSetStmtAttr(h, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(secs), 0);
  }
  return h;
}

std::unique_ptr<Cursor> OdbcConnection::wrap(SQLHSTMT h, DbError *err) {
  auto c = std::make_unique<OdbcCursor>(this, h);
  {
    std::lock_guard<std::mutex> lk(mx_);
    cursors_.insert(c.get());
  }
  if (!c->describe(err)) return nullptr;
  return c;
}

std::unique_ptr<Cursor> OdbcConnection::execute(const QString &sql, DbError *err) {
  if (err) err->clear();
  messages_.clear();
  SQLHSTMT h = newStatement(err);
  if (!h) return nullptr;
  {
    std::lock_guard<std::mutex> lk(mx_);
    running_ = h;
  }
  const SQLRETURN rc = SQLExecDirectW(h, const_cast<SQLWCHAR *>(W(sql)), SQLINTEGER(sql.size()));
  if (!Ok(rc) && rc != SQL_NO_DATA) {
    DbError e = DiagError(SQL_HANDLE_STMT, h, QStringLiteral("The statement failed"));
    {
      std::lock_guard<std::mutex> lk(mx_);
      running_ = SQL_NULL_HSTMT;
    }
    SQLFreeHandle(SQL_HANDLE_STMT, h);
    if (e.kind == DbErrorKind::TimedOut)
      e.message = QStringLiteral("The command was stopped after the execution time-out of %1 ms\n%2")
                      .arg(commandTimeoutMs_)
                      .arg(e.message);
    if (err) *err = e;
    return nullptr;
  }
  if (rc == SQL_SUCCESS_WITH_INFO) addMessages(SQL_HANDLE_STMT, h);
  return wrap(h, err);
}

std::unique_ptr<Cursor> OdbcConnection::catalog(OdbcCatalogCall call, const QString &catalog,
                                                const QString &schema, const QString &object,
                                                const QString &extra, DbError *err) {
  if (err) err->clear();
  SQLHSTMT h = newStatement(err);
  if (!h) return nullptr;
  // Literal names in pattern arguments: escape "_" and "%".
  auto pat = [&](const QString &s) {
    if (escape_.isEmpty()) return s;
    QString r;
    for (QChar ch : s) {
      if (ch == QLatin1Char('_') || ch == QLatin1Char('%') || QString(ch) == escape_) r += escape_;
      r += ch;
    }
    return r;
  };
  // Empty texts are passed as null arguments ("any").
  struct Arg {
    QString text;
    bool null;
    SQLWCHAR *p() { return null ? nullptr : const_cast<SQLWCHAR *>(W(text)); }
    SQLSMALLINT n() const { return null ? 0 : SQLSMALLINT(text.size()); }
  };
  auto arg = [](const QString &s) { return Arg{s, s.isEmpty()}; };
  Arg cat = arg(catalog), sch = arg(schema), obj = arg(object);
  SQLRETURN rc = SQL_ERROR;
  switch (call) {
    case OdbcCatalogCall::Catalogs: {
      Arg all{QStringLiteral(SQL_ALL_CATALOGS), false}, empty{QStringLiteral(""), false};
      rc = SQLTablesW(h, all.p(), all.n(), empty.p(), 0, empty.p(), 0, empty.p(), 0);
      break;
    }
    case OdbcCatalogCall::Schemas: {
      Arg all{QStringLiteral(SQL_ALL_SCHEMAS), false}, empty{QStringLiteral(""), false};
      rc = SQLTablesW(h, empty.p(), 0, all.p(), all.n(), empty.p(), 0, empty.p(), 0);
      break;
    }
    case OdbcCatalogCall::Tables: {
      Arg s = arg(pat(schema)), o = arg(object.isEmpty() ? QStringLiteral("%") : pat(object)), t = arg(extra);
      rc = SQLTablesW(h, cat.p(), cat.n(), s.p(), s.n(), o.p(), o.n(), t.p(), t.n());
      break;
    }
    case OdbcCatalogCall::Columns: {
      Arg s = arg(pat(schema)), o = arg(pat(object)), c = arg(QString());
      rc = SQLColumnsW(h, cat.p(), cat.n(), s.p(), s.n(), o.p(), o.n(), c.p(), 0);
      break;
    }
    case OdbcCatalogCall::Statistics:
      rc = SQLStatisticsW(h, cat.p(), cat.n(), sch.p(), sch.n(), obj.p(), obj.n(), SQL_INDEX_ALL, SQL_QUICK);
      break;
    case OdbcCatalogCall::PrimaryKeys:
      rc = SQLPrimaryKeysW(h, cat.p(), cat.n(), sch.p(), sch.n(), obj.p(), obj.n());
      break;
    case OdbcCatalogCall::ForeignKeys: {
      Arg none = arg(QString());
      rc = SQLForeignKeysW(h, none.p(), 0, none.p(), 0, none.p(), 0, cat.p(), cat.n(), sch.p(), sch.n(), obj.p(),
                           obj.n());
      break;
    }
    case OdbcCatalogCall::Procedures: {
      Arg s = arg(pat(schema)), o = arg(object.isEmpty() ? QStringLiteral("%") : pat(object));
      rc = SQLProceduresW(h, cat.p(), cat.n(), s.p(), s.n(), o.p(), o.n());
      break;
    }
    case OdbcCatalogCall::ProcedureColumns: {
      Arg s = arg(pat(schema)), o = arg(pat(object)), c = arg(QString());
      rc = SQLProcedureColumnsW(h, cat.p(), cat.n(), s.p(), s.n(), o.p(), o.n(), c.p(), 0);
      break;
    }
  }
  if (!Ok(rc)) {
    if (err) *err = DiagError(SQL_HANDLE_STMT, h, QStringLiteral("The catalog function failed"));
    SQLFreeHandle(SQL_HANDLE_STMT, h);
    return nullptr;
  }
  return wrap(h, err);
}

// -------------------------------------------------------------------------------------------- cursor

bool OdbcCursor::describe(DbError *err) {
  fields_.clear();
  sqlTypes_.clear();
  affected_ = -1;
  atEnd_ = false;
  cols_ = 0;
  if (!Ok(SQLNumResultCols(h_, &cols_))) {
    if (err) *err = DiagError(SQL_HANDLE_STMT, h_, QStringLiteral("Cannot describe the result"));
    return false;
  }
  if (cols_ <= 0) {
    cols_ = 0;
    SQLLEN n = -1;
    if (Ok(SQLRowCount(h_, &n))) affected_ = n;
    return true;
  }
  for (SQLSMALLINT i = 1; i <= cols_; ++i) {
    SQLWCHAR name[512];
    SQLSMALLINT nameLen = 0, type = 0, digits = 0, nullable = SQL_NULLABLE_UNKNOWN;
    SQLULEN size = 0;
    if (!Ok(SQLDescribeColW(h_, i, name, SQLSMALLINT(std::size(name)), &nameLen, &type, &size, &digits,
                            &nullable))) {
      if (err) *err = DiagError(SQL_HANDLE_STMT, h_, QStringLiteral("Cannot describe the result"));
      return false;
    }
    FieldDef f;
    f.name = FromW(name, qMin<qsizetype>(nameLen, qsizetype(std::size(name)) - 1));
    f.nullable = nullable != SQL_NO_NULLS;
    const int sz = size > SQLULEN(0x7FFFFFFF) ? 0x7FFFFFFF : int(size);
    switch (type) {
      case SQL_CHAR: case SQL_WCHAR:
        f.type = FieldType::FixedWideChar; f.size = sz; break;
      case SQL_VARCHAR: case SQL_WVARCHAR:
        f.type = (sz <= 0 || sz > 65535) ? FieldType::WideMemo : FieldType::WideString; f.size = sz; break;
      case SQL_LONGVARCHAR: case SQL_WLONGVARCHAR:
        f.type = FieldType::WideMemo; break;
      case SQL_DECIMAL: case SQL_NUMERIC:
        f.type = FieldType::FMTBcd; f.precision = sz; f.scale = digits; break;
      case SQL_TINYINT: f.type = FieldType::Shortint; break;
      case SQL_SMALLINT: f.type = FieldType::Smallint; break;
      case SQL_INTEGER: f.type = FieldType::Integer; break;
      case SQL_BIGINT: f.type = FieldType::Largeint; break;
      case SQL_BIT: f.type = FieldType::Boolean; break;
      case SQL_REAL: f.type = FieldType::Single; break;
      case SQL_FLOAT: case SQL_DOUBLE: f.type = FieldType::Float; break;
      case SQL_TYPE_DATE: case SQL_DATE: f.type = FieldType::Date; break;
      case SQL_TYPE_TIME: case SQL_TIME: f.type = FieldType::Time; break;
      case SQL_TYPE_TIMESTAMP: case SQL_TIMESTAMP: f.type = FieldType::DateTime; break;
      case SQL_BINARY: f.type = FieldType::Bytes; f.size = sz; break;
      case SQL_VARBINARY:
        f.type = (sz <= 0 || sz > 65535) ? FieldType::Blob : FieldType::VarBytes; f.size = sz; break;
      case SQL_LONGVARBINARY: f.type = FieldType::Blob; break;
      case SQL_GUID: f.type = FieldType::Guid; f.size = 38; break;
      default: f.type = FieldType::WideMemo; break;
    }
    SQLWCHAR buf[256];
    SQLSMALLINT len = 0;
    if (Ok(SQLColAttributeW(h_, i, SQL_DESC_BASE_TABLE_NAME, buf, SQLSMALLINT(sizeof buf), &len, nullptr)))
      f.originTable = FromW(buf, qMin<qsizetype>(len / qsizetype(sizeof(SQLWCHAR)), 255));
    if (Ok(SQLColAttributeW(h_, i, SQL_DESC_BASE_COLUMN_NAME, buf, SQLSMALLINT(sizeof buf), &len, nullptr)))
      f.originColumn = FromW(buf, qMin<qsizetype>(len / qsizetype(sizeof(SQLWCHAR)), 255));
    fields_.append(f);
    sqlTypes_.push_back(type);
  }
  return true;
}

bool OdbcCursor::readChunks(SQLSMALLINT cType, int col, QByteArray *data, bool *isNull, DbError *err) {
  char buf[32768];
  *isNull = false;
  for (;;) {
    SQLLEN ind = 0;
    const SQLRETURN rc = SQLGetData(h_, SQLUSMALLINT(col + 1), cType, buf, sizeof buf, &ind);
    if (rc == SQL_NO_DATA) break;
    if (!Ok(rc)) {
      if (err) *err = DiagError(SQL_HANDLE_STMT, h_, QStringLiteral("Cannot read a value"));
      return false;
    }
    if (ind == SQL_NULL_DATA) {
      *isNull = true;
      return true;
    }
    const qsizetype terminator = cType == SQL_C_WCHAR ? 2 : cType == SQL_C_CHAR ? 1 : 0;
    qsizetype got;
    if (ind == SQL_NO_TOTAL || ind > SQLLEN(sizeof buf) - terminator)
      got = qsizetype(sizeof buf) - terminator;
    else
      got = qsizetype(ind);
    if (cType == SQL_C_WCHAR) got &= ~qsizetype(1);
    data->append(buf, got);
    if (rc == SQL_SUCCESS) break;
  }
  return true;
}

bool OdbcCursor::readCell(RowSet &out, int col, DbError *err) {
  const FieldDef &f = fields_[col];
  SQLLEN ind = 0;
  auto failed = [&] {
    if (err) *err = DiagError(SQL_HANDLE_STMT, h_, QStringLiteral("Cannot read a value"));
    return false;
  };
  switch (f.type) {
    case FieldType::Shortint: case FieldType::Smallint: case FieldType::Integer: case FieldType::Largeint:
    case FieldType::Boolean: {
      SQLBIGINT v = 0;
      if (!Ok(SQLGetData(h_, SQLUSMALLINT(col + 1), SQL_C_SBIGINT, &v, sizeof v, &ind))) return failed();
      if (ind == SQL_NULL_DATA) out.appendNull(col); else out.appendInt(col, v);
      return true;
    }
    case FieldType::Single: case FieldType::Float: {
      double v = 0;
      if (!Ok(SQLGetData(h_, SQLUSMALLINT(col + 1), SQL_C_DOUBLE, &v, sizeof v, &ind))) return failed();
      if (ind == SQL_NULL_DATA) out.appendNull(col); else out.appendDouble(col, v);
      return true;
    }
    case FieldType::Date: {
      SQL_DATE_STRUCT d{};
      if (!Ok(SQLGetData(h_, SQLUSMALLINT(col + 1), SQL_C_TYPE_DATE, &d, sizeof d, &ind))) return failed();
      if (ind == SQL_NULL_DATA) out.appendNull(col);
      else out.appendText(col, QStringLiteral("%1-%2-%3").arg(d.year, 4, 10, QLatin1Char('0')).arg(TwoDigits(d.month), TwoDigits(d.day)));
      return true;
    }
    case FieldType::Time: {
      SQL_TIME_STRUCT t{};
      if (!Ok(SQLGetData(h_, SQLUSMALLINT(col + 1), SQL_C_TYPE_TIME, &t, sizeof t, &ind))) return failed();
      if (ind == SQL_NULL_DATA) out.appendNull(col);
      else out.appendText(col, TwoDigits(t.hour) + QLatin1Char(':') + TwoDigits(t.minute) + QLatin1Char(':') + TwoDigits(t.second));
      return true;
    }
    case FieldType::DateTime: {
      SQL_TIMESTAMP_STRUCT t{};
      if (!Ok(SQLGetData(h_, SQLUSMALLINT(col + 1), SQL_C_TYPE_TIMESTAMP, &t, sizeof t, &ind))) return failed();
      if (ind == SQL_NULL_DATA) out.appendNull(col);
      else
        out.appendText(col, QStringLiteral("%1-%2-%3 %4:%5:%6")
                                .arg(t.year, 4, 10, QLatin1Char('0'))
                                .arg(TwoDigits(t.month), TwoDigits(t.day), TwoDigits(t.hour), TwoDigits(t.minute),
                                     TwoDigits(t.second)) +
                                FractionText(t.fraction));
      return true;
    }
    case FieldType::Bytes: case FieldType::VarBytes: case FieldType::Blob: {
      QByteArray data;
      bool isNull = false;
      if (!readChunks(SQL_C_BINARY, col, &data, &isNull, err)) return false;
      if (isNull) out.appendNull(col); else out.appendBytes(col, data.constData(), data.size());
      return true;
    }
    case FieldType::FMTBcd: {
      QByteArray data;
      bool isNull = false;
      if (!readChunks(SQL_C_CHAR, col, &data, &isNull, err)) return false;
      if (isNull) out.appendNull(col); else out.appendUtf8(col, data.constData(), data.size());
      return true;
    }
    default: {
      QByteArray data;
      bool isNull = false;
      if (!readChunks(SQL_C_WCHAR, col, &data, &isNull, err)) return false;
      if (isNull) out.appendNull(col);
      else out.appendText(col, QStringView(reinterpret_cast<const char16_t *>(data.constData()), data.size() / 2));
      return true;
    }
  }
}

qint64 OdbcCursor::fetch(RowSet &out, qint64 maxRows, DbError *err) {
  if (err) err->clear();
  if (!h_ || cols_ == 0 || atEnd_) return 0;
  if (conn_) conn_->setRunning(h_);
  qint64 n = 0;
  while (maxRows < 0 || n < maxRows) {
    const SQLRETURN rc = SQLFetch(h_);
    if (rc == SQL_NO_DATA) {
      atEnd_ = true;
      break;
    }
    if (!Ok(rc)) {
      if (err) *err = DiagError(SQL_HANDLE_STMT, h_, QStringLiteral("Cannot fetch a row"));
      atEnd_ = true;
      return -1;
    }
    if (rc == SQL_SUCCESS_WITH_INFO && conn_) conn_->addMessages(SQL_HANDLE_STMT, h_);
    for (int c = 0; c < cols_; ++c) {
      if (!readCell(out, c, err)) {
        // Keep the row set consistent: the rest of the row becomes null.
        for (int r = c; r < cols_; ++r) out.appendNull(r);
        out.endRow();
        atEnd_ = true;
        return -1;
      }
    }
    out.endRow();
    ++n;
  }
  return n;
}

bool OdbcCursor::nextResult(DbError *err) {
  if (err) err->clear();
  if (!h_) return false;
  const SQLRETURN rc = SQLMoreResults(h_);
  if (rc == SQL_NO_DATA) return false;
  if (!Ok(rc)) {
    if (err) *err = DiagError(SQL_HANDLE_STMT, h_, QStringLiteral("Cannot read the next result"));
    return false;
  }
  if (rc == SQL_SUCCESS_WITH_INFO && conn_) conn_->addMessages(SQL_HANDLE_STMT, h_);
  return describe(err);
}

// ---------------------------------------------------------------------------------------- factories

ConnectionPtr CreateOdbcConnection(const QString &driverId) {
  return std::make_unique<OdbcConnection>(driverId.isEmpty() ? QStringLiteral("ODBC") : driverId);
}

bool IsOdbcConnection(const Connection &c) { return dynamic_cast<const OdbcConnection *>(&c) != nullptr; }

std::unique_ptr<Cursor> OdbcCatalog(Connection &c, OdbcCatalogCall call, const QString &catalog,
                                    const QString &schema, const QString &object, DbError *err,
                                    const QString &extra) {
  auto *o = dynamic_cast<OdbcConnection *>(&c);
  if (!o) {
    SetMessage(err, QStringLiteral("Not an ODBC connection"));
    return nullptr;
  }
  return o->catalog(call, catalog, schema, object, extra, err);
}

QString OdbcCurrentCatalog(Connection &c) {
  auto *o = dynamic_cast<OdbcConnection *>(&c);
  return o ? o->currentCatalog() : QString();
}

QString OdbcDbmsName(Connection &c) {
  auto *o = dynamic_cast<OdbcConnection *>(&c);
  return o ? o->info(SQL_DBMS_NAME) : QString();
}

}  // namespace qrv::dal
