#include "dal/driver_mysql.h"

#include <mysql.h>

#include <QByteArray>
#include <mutex>
#include <vector>

#include "dal/dalutil.h"

namespace qrv::dal {

namespace {

constexpr unsigned kBinaryCharset = 63;

void LibraryInit() {
  static std::once_flag once;
  std::call_once(once, [] { mysql_library_init(0, nullptr, nullptr); });
}

// Everything needed to open a connection, kept for the second connection that stops a query.
struct Login {
  QByteArray host, user, password, database;
  unsigned port = 0;
  unsigned timeout = 15;
};

// Opens a client handle; nullptr with err set on failure.
MYSQL *Connect(const Login &l, bool withDatabase, DbError *err) {
  LibraryInit();
  MYSQL *m = mysql_init(nullptr);
  if (!m) {
    SetError(err, QStringLiteral("Out of memory"), 0, QString(), DbErrorKind::ConnectFailed);
    return nullptr;
  }
  unsigned timeout = l.timeout;
  mysql_optionsv(m, MYSQL_OPT_CONNECT_TIMEOUT, &timeout);
  mysql_optionsv(m, MYSQL_SET_CHARSET_NAME, "utf8mb4");
  unsigned noInfile = 0;
  mysql_optionsv(m, MYSQL_OPT_LOCAL_INFILE, &noInfile);
  const unsigned long flags = CLIENT_MULTI_STATEMENTS | CLIENT_MULTI_RESULTS;
  if (!mysql_real_connect(m, l.host.isEmpty() ? "localhost" : l.host.constData(), l.user.constData(),
                          l.password.constData(),
                          withDatabase && !l.database.isEmpty() ? l.database.constData() : nullptr, l.port,
                          nullptr, flags)) {
    const unsigned code = mysql_errno(m);
    SetError(err, QStringLiteral("%1 [Error %2, SQLSTATE %3]")
                      .arg(QString::fromUtf8(mysql_error(m)))
                      .arg(code)
                      .arg(QString::fromLatin1(mysql_sqlstate(m))),
             int(code), QString::fromLatin1(mysql_sqlstate(m)),
             code == 1049 ? DbErrorKind::ObjectNotFound : DbErrorKind::ConnectFailed, int(code));
    if (code == 1049 && err) err->code = ErrObjectNotFound;
    mysql_close(m);
    return nullptr;
  }
  return m;
}

class MySqlConnection;

class MySqlCursor final : public Cursor {
 public:
  explicit MySqlCursor(MySqlConnection *conn) : conn_(conn) {}
  ~MySqlCursor() override;

  // Takes up the result of the statement the server has just run; false with err set on failure.
  bool load(DbError *err);

  bool hasRows() const override { return hasRows_; }
  const FieldDefs &fields() const override { return fields_; }
  qint64 rowsAffected() const override { return affected_; }
  qint64 fetch(RowSet &out, qint64 maxRows, DbError *err) override;
  bool nextResult(DbError *err) override;

  // Reads and drops the rest of the command.
  void drain();
  void detach() {
    if (res_) mysql_free_result(res_);
    conn_ = nullptr;
    res_ = nullptr;
    done_ = true;
  }

 private:
  bool fail(DbError *err);
  void finishSet();

  MySqlConnection *conn_;
  MYSQL_RES *res_ = nullptr;
  bool hasRows_ = false;
  bool done_ = false;
  qint64 affected_ = -1;
  FieldDefs fields_;
  std::vector<quint8> bits_;  // per column: BIT values arrive as big-endian bytes
};

class MySqlConnection final : public Connection {
 public:
  ~MySqlConnection() override { close(); }

  QString driverId() const override { return QStringLiteral("MySQL"); }

  bool open(const ConnParams &params, DbError *err) override {
    close();
    Login l;
    l.host = params.value(QStringLiteral("Server")).toUtf8();
    l.user = params.value(QStringLiteral("User_Name")).toUtf8();
    l.password = params.value(QStringLiteral("Password")).toUtf8();
    l.database = params.value(QStringLiteral("Database")).toUtf8();
    l.port = params.value(QStringLiteral("Port")).toUInt();
    bool ok = false;
    const unsigned t = params.value(QStringLiteral("LoginTimeout")).toUInt(&ok);
    if (ok && t > 0) l.timeout = t;
    MYSQL *m = Connect(l, true, err);
    if (!m) return false;
    MY_CHARSET_INFO cs;
    mysql_get_character_set_info(m, &cs);
    mbMax_ = cs.mbmaxlen > 0 ? int(cs.mbmaxlen) : 4;
    std::lock_guard<std::mutex> lk(handleMx_);
    my_ = m;
    login_ = l;
    threadId_ = mysql_thread_id(m);
    lost_ = false;
    return true;
  }

  void close() override {
    if (active_) active_->detach();
    active_ = nullptr;
    cmd_.end();
    std::lock_guard<std::mutex> lk(handleMx_);
    if (my_) mysql_close(my_);
    my_ = nullptr;
  }

  bool isOpen() const override { return my_ != nullptr && !lost_; }

  std::unique_ptr<Cursor> execute(const QString &sql, DbError *err) override {
    if (!my_ || lost_) {
      SetError(err, QStringLiteral("The connection is not open"), 0, QString(), DbErrorKind::ConnectionLost);
      return nullptr;
    }
    if (active_) {
      active_->drain();
      active_->detach();
      active_ = nullptr;
    }
    messages_.clear();
    cmd_.begin(commandTimeoutMs_, [this] { kill(); });
    const QByteArray q = sql.toUtf8();
    auto c = std::make_unique<MySqlCursor>(this);
    active_ = c.get();
    if (mysql_real_query(my_, q.constData(), q.size()) != 0) {
      DbError e;
      error(&e);
      if (err) *err = e;
      active_ = nullptr;
      cmd_.end();
      return nullptr;
    }
    DbError e;
    if (!c->load(&e)) {
      if (err) *err = e;
      return nullptr;
    }
    return c;
  }

  void cancel() override {
    if (cmd_.requestCancel()) kill();
  }

  QString clientVersion() const override { return QString::fromLatin1(mysql_get_client_info()); }
  QString serverVersion() const override {
    return my_ ? QString::fromLatin1(mysql_get_server_info(my_)) : QString();
  }

  QString quoteLiteral(const QVariant &value) const override {
    if (!my_ || value.isNull() || !value.isValid() ||
        (value.typeId() != QMetaType::QString && value.typeId() != QMetaType::QDate &&
         value.typeId() != QMetaType::QTime && value.typeId() != QMetaType::QDateTime))
      return Connection::quoteLiteral(value);
    // The client escapes as the session's sql_mode wants (backslashes, or only quotes).
    const QByteArray in = value.toString().toUtf8();
    QByteArray out(in.size() * 2 + 1, Qt::Uninitialized);
    const unsigned long n = mysql_real_escape_string(my_, out.data(), in.constData(), in.size());
    if (n == static_cast<unsigned long>(-1)) return Connection::quoteLiteral(value);
    out.truncate(qsizetype(n));
    return u'\'' + QString::fromUtf8(out) + u'\'';
  }
  QString quoteIdentifier(const QString &name) const override {
    QString s = name;
    s.replace(u'`', QLatin1String("``"));
    return u'`' + s + u'`';
  }

  MYSQL *my() const { return my_; }
  int mbMax() const { return mbMax_; }
  CommandState &cmd() { return cmd_; }
  void cursorGone(MySqlCursor *c) {
    if (active_ == c) {
      active_->drain();
      active_ = nullptr;
      cmd_.end();
    }
  }
  void commandDone() {
    cmd_.end();
  }

  void error(DbError *err) {
    const unsigned code = mysql_errno(my_);
    const QString state = QString::fromLatin1(mysql_sqlstate(my_));
    DbErrorKind kind = DbErrorKind::Other;
    int shown = int(code);
    switch (code) {
      case 1146: case 1049: case 1051: case 1054: case 1305: case 1091:
        kind = DbErrorKind::ObjectNotFound;
        shown = ErrObjectNotFound;
        break;
      case 2006: case 2013: case 2055: case 1927:
        kind = DbErrorKind::ConnectionLost;
        lost_ = true;
        break;
      default: break;
    }
    SetError(err, QStringLiteral("%1 [Error %2, SQLSTATE %3]").arg(QString::fromUtf8(mysql_error(my_))).arg(code).arg(state),
             shown, state, kind, int(code));
    if (kind != DbErrorKind::ConnectionLost) cmd_.explainStop(err);
  }

  // After the last result of a command: the warnings of its last statement become messages.
  void collectWarnings() {
    if (!my_ || mysql_warning_count(my_) == 0) return;
    if (mysql_query(my_, "SHOW WARNINGS") != 0) return;
    if (MYSQL_RES *r = mysql_store_result(my_)) {
      while (MYSQL_ROW row = mysql_fetch_row(r))
        if (mysql_num_fields(r) >= 3)
          messages_.append(QStringLiteral("%1 %2: %3")
                               .arg(QString::fromUtf8(row[0] ? row[0] : ""), QString::fromUtf8(row[1] ? row[1] : ""),
                                    QString::fromUtf8(row[2] ? row[2] : "")));
      mysql_free_result(r);
    }
  }

 private:
  // Stops the running statement from a second connection.
  void kill() {
    Login l;
    unsigned long id;
    {
      std::lock_guard<std::mutex> lk(handleMx_);
      if (!my_) return;
      l = login_;
      id = threadId_;
    }
    l.timeout = 5;
    DbError e;
    MYSQL *k = Connect(l, false, &e);
    if (!k) return;
    const QByteArray q = "KILL QUERY " + QByteArray::number(quint64(id));
    mysql_query(k, q.constData());
    mysql_close(k);
  }

  MYSQL *my_ = nullptr;
  Login login_;
  unsigned long threadId_ = 0;
  int mbMax_ = 4;
  bool lost_ = false;
  std::mutex handleMx_;
  CommandState cmd_;
  MySqlCursor *active_ = nullptr;
};

FieldDef FieldOf(const MYSQL_FIELD &m, int mbMax) {
  FieldDef f;
  f.name = QString::fromUtf8(m.name, int(m.name_length));
  const bool isUnsigned = m.flags & UNSIGNED_FLAG;
  const bool binary = m.charsetnr == kBinaryCharset;
  const int chars = int(m.length / unsigned(mbMax > 0 ? mbMax : 1));
  switch (m.type) {
    case MYSQL_TYPE_TINY:
      f.type = m.length == 1 ? FieldType::Boolean : isUnsigned ? FieldType::Byte : FieldType::Shortint;
      break;
    case MYSQL_TYPE_SHORT: f.type = isUnsigned ? FieldType::Word : FieldType::Smallint; break;
    case MYSQL_TYPE_INT24:
    case MYSQL_TYPE_LONG: f.type = isUnsigned ? FieldType::LongWord : FieldType::Integer; break;
    case MYSQL_TYPE_LONGLONG:
      if (isUnsigned) {
        // Values above the signed range would not fit an integer: keep them exact as text.
        f.type = FieldType::FMTBcd;
        f.precision = 20;
      } else {
        f.type = FieldType::Largeint;
      }
      break;
    case MYSQL_TYPE_YEAR: f.type = FieldType::Smallint; break;
    case MYSQL_TYPE_FLOAT: f.type = FieldType::Single; break;
    case MYSQL_TYPE_DOUBLE: f.type = FieldType::Float; break;
    case MYSQL_TYPE_DECIMAL:
    case MYSQL_TYPE_NEWDECIMAL:
      f.type = FieldType::FMTBcd;
      f.scale = int(m.decimals);
      f.precision = int(m.length) - (m.decimals > 0 ? 1 : 0) - (isUnsigned ? 0 : 1);
      if (f.precision < f.scale) f.precision = f.scale;
      break;
    case MYSQL_TYPE_DATE:
    case MYSQL_TYPE_NEWDATE: f.type = FieldType::Date; break;
    case MYSQL_TYPE_TIME: f.type = FieldType::Time; break;
    case MYSQL_TYPE_DATETIME: f.type = FieldType::DateTime; break;
    case MYSQL_TYPE_TIMESTAMP: f.type = FieldType::TimeStamp; break;
    case MYSQL_TYPE_BIT:
      f.type = m.length == 1 ? FieldType::Boolean : FieldType::Largeint;
      break;
    case MYSQL_TYPE_VARCHAR:
    case MYSQL_TYPE_VAR_STRING:
      if (binary) {
        f.type = FieldType::VarBytes;
        f.size = int(m.length);
      } else {
        f.type = FieldType::WideString;
        f.size = chars;
      }
      break;
    case MYSQL_TYPE_STRING:
      if (binary) {
        f.type = FieldType::Bytes;
        f.size = int(m.length);
      } else if (m.flags & (ENUM_FLAG | SET_FLAG)) {
        f.type = FieldType::WideString;
        f.size = chars;
      } else {
        f.type = FieldType::FixedWideChar;
        f.size = chars;
      }
      break;
    case MYSQL_TYPE_ENUM:
    case MYSQL_TYPE_SET:
      f.type = FieldType::WideString;
      f.size = chars;
      break;
    case MYSQL_TYPE_TINY_BLOB:
    case MYSQL_TYPE_MEDIUM_BLOB:
    case MYSQL_TYPE_LONG_BLOB:
    case MYSQL_TYPE_BLOB:
      f.type = binary ? FieldType::Blob : FieldType::WideMemo;
      break;
    case MYSQL_TYPE_JSON: f.type = FieldType::WideMemo; break;
    case MYSQL_TYPE_GEOMETRY: f.type = FieldType::Blob; break;
    case MYSQL_TYPE_NULL:
      f.type = FieldType::WideString;
      f.size = 1;
      break;
    default: f.type = binary ? FieldType::Blob : FieldType::WideMemo; break;
  }
  f.nullable = !(m.flags & NOT_NULL_FLAG);
  f.autoInc = m.flags & AUTO_INCREMENT_FLAG;
  if (m.org_table && m.org_table_length > 0) {
    f.originCatalog = QString::fromUtf8(m.db, int(m.db_length));
    f.originTable = QString::fromUtf8(m.org_table, int(m.org_table_length));
    f.originColumn = QString::fromUtf8(m.org_name, int(m.org_name_length));
  } else {
    f.readOnly = true;  // an expression
  }
  return f;
}

MySqlCursor::~MySqlCursor() {
  if (conn_) conn_->cursorGone(this);
}

bool MySqlCursor::fail(DbError *err) {
  DbError e;
  conn_->error(&e);
  if (err) *err = e;
  drain();
  return false;
}

void MySqlCursor::finishSet() {
  if (res_) mysql_free_result(res_);  // reads the rows not fetched
  res_ = nullptr;
}

void MySqlCursor::drain() {
  if (!conn_ || done_) return;
  MYSQL *m = conn_->my();
  finishSet();
  while (mysql_more_results(m) && mysql_next_result(m) == 0)
    if (MYSQL_RES *r = mysql_use_result(m)) mysql_free_result(r);
  done_ = true;
  conn_->commandDone();
}

bool MySqlCursor::load(DbError *err) {
  MYSQL *m = conn_->my();
  hasRows_ = false;
  affected_ = -1;
  fields_.clear();
  bits_.clear();
  // A stopped SLEEP() and the like return normally; the stop is still an error.
  if (conn_->cmd().cancelled() || conn_->cmd().timedOut()) {
    if (mysql_field_count(m) > 0)
      if (MYSQL_RES *r = mysql_use_result(m)) mysql_free_result(r);
    DbError e;
    conn_->cmd().explainStop(&e);
    if (err) *err = e;
    drain();
    return false;
  }
  if (mysql_field_count(m) > 0) {
    res_ = mysql_use_result(m);
    if (!res_) return fail(err);
    hasRows_ = true;
    const unsigned n = mysql_num_fields(res_);
    const MYSQL_FIELD *fs = mysql_fetch_fields(res_);
    fields_.resize(int(n));
    bits_.assign(n, 0);
    for (unsigned i = 0; i < n; ++i) {
      fields_[int(i)] = FieldOf(fs[i], conn_->mbMax());
      bits_[i] = fs[i].type == MYSQL_TYPE_BIT;
    }
  } else {
    const my_ulonglong a = mysql_affected_rows(m);
    affected_ = a == my_ulonglong(-1) ? -1 : qint64(a);
    if (!mysql_more_results(m)) {
      conn_->collectWarnings();
      done_ = true;
      conn_->commandDone();
    }
  }
  return true;
}

qint64 MySqlCursor::fetch(RowSet &out, qint64 maxRows, DbError *err) {
  if (!hasRows_ || !res_ || !conn_) return 0;
  MYSQL *m = conn_->my();
  const int n = int(fields_.size());
  qint64 count = 0;
  while (maxRows < 0 || count < maxRows) {
    MYSQL_ROW row = mysql_fetch_row(res_);
    if (!row) {
      const bool failed = mysql_errno(m) != 0;
      if (failed) {
        DbError e;
        conn_->error(&e);
        finishSet();
        drain();
        if (err) *err = e;
        return -1;
      }
      finishSet();
      if (conn_->cmd().cancelled() || conn_->cmd().timedOut()) {
        DbError e;
        conn_->cmd().explainStop(&e);
        drain();
        if (err) *err = e;
        return -1;
      }
      if (!mysql_more_results(m)) {
        conn_->collectWarnings();
        done_ = true;
        conn_->commandDone();
      }
      break;
    }
    const unsigned long *lens = mysql_fetch_lengths(res_);
    for (int c = 0; c < n; ++c) {
      if (!row[c]) {
        out.appendNull(c);
      } else if (bits_[size_t(c)]) {
        quint64 v = 0;
        for (unsigned long i = 0; i < lens[c]; ++i) v = (v << 8) | quint8(row[c][i]);
        out.appendInt(c, qint64(v));
      } else if (out.storage(c) == StorageKind::Bytes) {
        out.appendBytes(c, row[c], qsizetype(lens[c]));
      } else {
        out.appendFromText(c, row[c], qsizetype(lens[c]));
      }
    }
    out.endRow();
    ++count;
  }
  return count;
}

bool MySqlCursor::nextResult(DbError *err) {
  if (done_ || !conn_) return false;
  MYSQL *m = conn_->my();
  finishSet();
  if (!mysql_more_results(m)) {
    conn_->collectWarnings();
    done_ = true;
    conn_->commandDone();
    return false;
  }
  const int rc = mysql_next_result(m);
  if (rc > 0) return fail(err);
  if (rc < 0) {
    done_ = true;
    conn_->commandDone();
    return false;
  }
  return load(err);
}

}  // namespace

ConnectionPtr CreateMySqlConnection() { return std::make_unique<MySqlConnection>(); }

}  // namespace qrv::dal
