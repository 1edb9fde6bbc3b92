#include "dal/driver_pg.h"

#include <libpq-fe.h>

#include <QByteArray>
#include <QHash>
#include <cmath>
#include <limits>
#include <mutex>
#include <vector>

#include "dal/dalutil.h"

namespace qrv::dal {

namespace {

// Type OIDs of the built-in types (pg_type.dat).
enum : Oid {
  kBool = 16, kBytea = 17, kChar = 18, kName = 19, kInt8 = 20, kInt2 = 21, kInt4 = 23, kRegproc = 24,
  kText = 25, kOid = 26, kXid = 28, kCid = 29, kJson = 114, kXml = 142, kFloat4 = 700, kFloat8 = 701,
  kMoney = 790, kBpchar = 1042, kVarchar = 1043, kDate = 1082, kTime = 1083, kTimestamp = 1114,
  kTimestamptz = 1184, kInterval = 1186, kTimetz = 1266, kBit = 1560, kVarbit = 1562, kNumeric = 1700,
  kUuid = 2950, kJsonb = 3802
};

FieldDef FieldOf(const PGresult *res, int i) {
  FieldDef f;
  f.name = QString::fromUtf8(PQfname(res, i));
  const Oid t = PQftype(res, i);
  const int mod = PQfmod(res, i);
  switch (t) {
    case kBool: f.type = FieldType::Boolean; break;
    case kInt2: f.type = FieldType::Smallint; break;
    case kInt4: f.type = FieldType::Integer; break;
    case kInt8: f.type = FieldType::Largeint; break;
    case kOid:
    case kXid:
    case kCid:
    case kRegproc: f.type = FieldType::LongWord; break;
    case kFloat4: f.type = FieldType::Single; break;
    case kFloat8: f.type = FieldType::Float; break;
    case kMoney: f.type = FieldType::Currency; break;
    case kNumeric:
      f.type = FieldType::FMTBcd;
      if (mod >= 4) {
        f.precision = ((mod - 4) >> 16) & 0xffff;
        f.scale = (mod - 4) & 0xffff;
      }
      break;
    case kBytea: f.type = FieldType::Blob; break;
    case kChar:
      f.type = FieldType::FixedWideChar;
      f.size = 1;
      break;
    case kName:
      f.type = FieldType::WideString;
      f.size = 63;
      break;
    case kBpchar:
      f.type = FieldType::FixedWideChar;
      f.size = mod >= 4 ? mod - 4 : 1;
      break;
    case kVarchar:
      if (mod >= 4) {
        f.type = FieldType::WideString;
        f.size = mod - 4;
      } else {
        f.type = FieldType::WideMemo;
      }
      break;
    case kText:
    case kJson:
    case kJsonb:
    case kXml: f.type = FieldType::WideMemo; break;
    case kDate: f.type = FieldType::Date; break;
    case kTime:
    case kTimetz: f.type = FieldType::Time; break;
    case kTimestamp: f.type = FieldType::TimeStamp; break;
    case kTimestamptz: f.type = FieldType::TimeStampOffset; break;
    case kInterval:
      f.type = FieldType::WideString;
      f.size = 64;
      break;
    case kUuid:
      f.type = FieldType::Guid;
      f.size = 38;
      break;
    case kBit:
    case kVarbit:
      f.type = FieldType::WideString;
      f.size = mod > 0 ? mod : 64;
      break;
    default: f.type = FieldType::WideMemo; break;  // arrays, ranges, enums, network types, ...
  }
  if (PQftable(res, i) == InvalidOid) {
    f.readOnly = true;  // an expression
  } else {
    f.originTableId = PQftable(res, i);
    f.originColumnId = PQftablecol(res, i);
  }
  return f;
}

int HexVal(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// bytea in hex ("\x0a0b") or escape form.
QByteArray DecodeBytea(const char *v, int len) {
  QByteArray out;
  if (len >= 2 && v[0] == '\\' && v[1] == 'x') {
    out.reserve((len - 2) / 2);
    for (int i = 2; i + 1 < len; i += 2) {
      const int hi = HexVal(v[i]), lo = HexVal(v[i + 1]);
      if (hi < 0 || lo < 0) break;
      out.append(char(hi * 16 + lo));
    }
    return out;
  }
  size_t n = 0;
  unsigned char *b = PQunescapeBytea(reinterpret_cast<const unsigned char *>(v), &n);
  if (b) {
    out = QByteArray(reinterpret_cast<const char *>(b), qsizetype(n));
    PQfreemem(b);
  }
  return out;
}

class PgConnection;

class PgCursor final : public Cursor {
 public:
  explicit PgCursor(PgConnection *conn) : conn_(conn) {}
  ~PgCursor() override;

  // Reads the next result of the command; false at the end (err set on failure).
  bool advance(DbError *err);

  bool hasRows() const override { return hasRows_; }
  const FieldDefs &fields() const override { return fields_; }
  qint64 rowsAffected() const override { return affected_; }
  qint64 fetch(RowSet &out, qint64 maxRows, DbError *err) override;
  bool nextResult(DbError *err) override;

  // Reads and drops everything the server still sends for the command.
  void drain();
  void detach() {
    clearPending();
    conn_ = nullptr;
    done_ = true;
  }

 private:
  void clearPending() {
    if (pending_) PQclear(pending_);
    pending_ = nullptr;
  }
  void appendRow(RowSet &out, const PGresult *res, int row);
  bool fail(const PGresult *res, DbError *err);

  PgConnection *conn_;
  PGresult *pending_ = nullptr;  // a row (single-row result) not yet fetched
  bool inSet_ = false;           // the current result set has rows still to come
  bool hasRows_ = false;
  bool done_ = false;
  qint64 affected_ = -1;
  FieldDefs fields_;
  std::vector<bool> bytea_;  // per column: values in bytea text form
};

class PgConnection final : public Connection {
 public:
  ~PgConnection() override { close(); }

  QString driverId() const override { return QStringLiteral("PG"); }

  bool open(const ConnParams &params, DbError *err) override {
    close();
    std::vector<QByteArray> keys, vals;
    auto add = [&](const char *k, const QString &v) {
      if (v.isEmpty()) return;
      keys.emplace_back(k);
      vals.emplace_back(v.toUtf8());
    };
    add("host", params.value(QStringLiteral("Server")));
    add("port", params.value(QStringLiteral("Port")));
    add("dbname", params.value(QStringLiteral("Database")));
    add("user", params.value(QStringLiteral("User_Name")));
    add("password", params.value(QStringLiteral("Password")));
    QString timeout = params.value(QStringLiteral("LoginTimeout"));
    if (timeout.isEmpty()) timeout = params.value(QStringLiteral("ConnectTimeout"));
    add("connect_timeout", timeout.isEmpty() ? QStringLiteral("15") : timeout);
    add("application_name", params.value(QStringLiteral("ApplicationName"), QStringLiteral("Quorvane")));
    // Dates in ISO form, whatever the server's default.
    QString options = QStringLiteral("-c DateStyle=ISO,YMD -c IntervalStyle=postgres");
    const QString userOptions = params.value(QStringLiteral("options"));
    if (!userOptions.isEmpty()) options += u' ' + userOptions;
    add("options", options);
    add("client_encoding", QStringLiteral("UTF8"));
    // Further parameters that are libpq keywords go through as they are.
    if (PQconninfoOption *defs = PQconndefaults()) {
      for (const auto &kv : params.items()) {
        const QByteArray k = kv.first.trimmed().toLower().toUtf8();
        if (k == "host" || k == "port" || k == "dbname" || k == "user" || k == "password" ||
            k == "connect_timeout" || k == "options" || k == "client_encoding" || k == "application_name")
          continue;
        for (PQconninfoOption *o = defs; o->keyword; ++o)
          if (k == o->keyword) {
            keys.push_back(k);
            vals.push_back(kv.second.toUtf8());
            break;
          }
      }
      PQconninfoFree(defs);
    }
    std::vector<const char *> kp, vp;
    for (size_t i = 0; i < keys.size(); ++i) {
      kp.push_back(keys[i].constData());
      vp.push_back(vals[i].constData());
    }
    kp.push_back(nullptr);
    vp.push_back(nullptr);
    PGconn *c = PQconnectdbParams(kp.data(), vp.data(), 0);
    if (!c || PQstatus(c) != CONNECTION_OK) {
      const QString msg = c ? QString::fromUtf8(PQerrorMessage(c)).trimmed() : QStringLiteral("out of memory");
      SetError(err, msg, 0, QString(), DbErrorKind::ConnectFailed);
      if (c) PQfinish(c);
      return false;
    }
    PQsetNoticeReceiver(c, &PgConnection::onNotice, this);
    std::lock_guard<std::mutex> lk(handleMx_);
    conn_ = c;
    cancel_ = PQgetCancel(c);
    lost_ = false;
    origins_.clear();
    prepared_.clear();
    return true;
  }

  void close() override {
    if (active_) active_->detach();
    active_ = nullptr;
    cmd_.end();
    std::lock_guard<std::mutex> lk(handleMx_);
    if (cancel_) PQfreeCancel(cancel_);
    cancel_ = nullptr;
    if (conn_) PQfinish(conn_);
    conn_ = nullptr;
  }

  bool isOpen() const override { return conn_ != nullptr && !lost_ && PQstatus(conn_) == CONNECTION_OK; }

  std::unique_ptr<Cursor> execute(const QString &sql, DbError *err) override {
    if (!beginCommand(err)) return nullptr;
    if (!PQsendQuery(conn_, sql.toUtf8().constData())) {
      connectionError(err);
      cmd_.end();
      return nullptr;
    }
    return startCursor(err);
  }

  // Each text is prepared once per session under a name of its own; the plan stays with the server.
  std::unique_ptr<Cursor> executeParams(const QString &sql, const QStringList &params, DbError *err) override {
    return runPrepared(sql, params, err, true);
  }

  std::unique_ptr<Cursor> runPrepared(const QString &sql, const QStringList &params, DbError *err, bool mayRetry) {
    if (!beginCommand(err)) return nullptr;
    QByteArray name = prepared_.value(sql);
    if (name.isEmpty()) {
      name = "qrv_p" + QByteArray::number(++preparedCount_);  // never a name given out before
      PGresult *res = PQprepare(conn_, name.constData(), sql.toUtf8().constData(), int(params.size()), nullptr);
      const bool ok = res && PQresultStatus(res) == PGRES_COMMAND_OK;
      if (!ok) {
        resultError(res, err);
        if (res) PQclear(res);
        cmd_.end();
        return nullptr;
      }
      PQclear(res);
      prepared_.insert(sql, name);
    }
    std::vector<QByteArray> values;
    std::vector<const char *> ptrs;
    values.reserve(size_t(params.size()));
    for (const QString &p : params) {
      values.push_back(p.toUtf8());
      ptrs.push_back(p.isNull() ? nullptr : values.back().constData());
    }
    if (!PQsendQueryPrepared(conn_, name.constData(), int(ptrs.size()), ptrs.data(), nullptr, nullptr, 0)) {
      connectionError(err);
      cmd_.end();
      return nullptr;
    }
    DbError e;
    auto cursor = startCursor(&e);
    if (!cursor) {
      // The statement is gone when the session dropped it (DEALLOCATE ALL): prepare it again, at once
      // unless the failure has aborted a transaction of the session.
      if (e.sqlState == QLatin1String("26000")) {
        prepared_.remove(sql);
        if (mayRetry && PQtransactionStatus(conn_) == PQTRANS_IDLE) return runPrepared(sql, params, err, false);
      }
      if (err) *err = e;
    }
    return cursor;
  }

  // Ends the previous command and starts the clock of a new one; false when not connected.
  bool beginCommand(DbError *err) {
    if (!isOpen()) {
      SetError(err, QStringLiteral("The connection is not open"), 0, QString(), DbErrorKind::ConnectionLost);
      return false;
    }
    if (active_) {
      active_->drain();
      active_->detach();
      active_ = nullptr;
      cmd_.end();
    }
    messages_.clear();
    cmd_.begin(commandTimeoutMs_, [this] { sendCancel(); });
    return true;
  }

  // The cursor of the command just sent, positioned on its first result.
  std::unique_ptr<Cursor> startCursor(DbError *err) {
    PQsetSingleRowMode(conn_);
    auto c = std::make_unique<PgCursor>(this);
    active_ = c.get();
    DbError e;
    if (!c->advance(&e) && e.isError()) {
      if (err) *err = e;
      return nullptr;
    }
    return c;
  }

  void cancel() override {
    if (cmd_.requestCancel()) sendCancel();
  }

  QString clientVersion() const override {
    const int v = PQlibVersion();
    return QStringLiteral("%1.%2").arg(v / 10000).arg(v % 10000);
  }
  QString serverVersion() const override {
    if (!conn_) return QString();
    return QString::fromUtf8(PQparameterStatus(conn_, "server_version"));
  }

  QString quoteLiteral(const QVariant &value) const override {
    if (value.isNull() || !value.isValid()) return QStringLiteral("NULL");
    if (value.typeId() == QMetaType::Bool) return value.toBool() ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    if (value.typeId() == QMetaType::QByteArray)
      return QStringLiteral("decode('%1', 'hex')").arg(QString::fromLatin1(value.toByteArray().toHex()));
    if (value.typeId() == QMetaType::QString || value.typeId() == QMetaType::QDate ||
        value.typeId() == QMetaType::QTime || value.typeId() == QMetaType::QDateTime) {
      QString t = value.toString();
      t.replace(u'\'', QLatin1String("''"));
      // E'' reads backslashes as escapes whatever standard_conforming_strings says.
      if (t.contains(u'\\')) return QStringLiteral("E'%1'").arg(t.replace(u'\\', QLatin1String("\\\\")));
      return u'\'' + t + u'\'';
    }
    return Connection::quoteLiteral(value);
  }

  bool resolveOrigins(FieldDefs &fields, DbError *err) override {
    QStringList ask;
    for (const FieldDef &f : fields)
      if (f.originTableId && f.originTable.isEmpty() && !origins_.contains(key(f.originTableId, f.originColumnId)))
        ask << QString::number(f.originTableId);
    if (!ask.isEmpty()) {
      ask.removeDuplicates();
      const QString sql = QStringLiteral(
          "SELECT c.oid, a.attnum, current_database(), n.nspname, c.relname, a.attname, a.attnotnull, "
          "a.attidentity <> '' OR coalesce(pg_get_expr(d.adbin, d.adrelid), '') LIKE 'nextval(%' "
          "FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace "
          "JOIN pg_attribute a ON a.attrelid = c.oid AND a.attnum > 0 AND NOT a.attisdropped "
          "LEFT JOIN pg_attrdef d ON d.adrelid = c.oid AND d.adnum = a.attnum "
          "WHERE c.oid IN (%1)").arg(ask.join(u','));
      DbError e;
      RowSetPtr rs = QueryRows(*this, sql, &e);
      if (!rs) {
        if (err) *err = e;
        return false;
      }
      for (qsizetype r = 0; r < rs->rowCount(); ++r) {
        Origin o{rs->text(r, 2), rs->text(r, 3), rs->text(r, 4), rs->text(r, 5), rs->intValue(r, 6) != 0,
                 rs->intValue(r, 7) != 0};
        origins_.insert(key(quint32(rs->intValue(r, 0)), int(rs->intValue(r, 1))), o);
      }
    }
    for (FieldDef &f : fields) {
      if (!f.originTableId || !f.originTable.isEmpty()) continue;
      const auto it = origins_.constFind(key(f.originTableId, f.originColumnId));
      if (it == origins_.constEnd()) continue;
      f.originCatalog = it->catalog;
      f.originSchema = it->schema;
      f.originTable = it->table;
      f.originColumn = it->column;
      f.nullable = !it->notNull;
      f.autoInc = it->autoInc;
    }
    return true;
  }

  PGconn *pg() const { return conn_; }
  CommandState &cmd() { return cmd_; }
  void cursorGone(PgCursor *c) {
    if (active_ == c) {
      active_->drain();
      active_ = nullptr;
      cmd_.end();
    }
  }
  void commandDone() { cmd_.end(); }

  // The error of a failed result (res) or of the connection (res null).
  void resultError(const PGresult *res, DbError *err) {
    QString msg = QString::fromUtf8(res ? PQresultErrorMessage(res) : PQerrorMessage(conn_)).trimmed();
    const QString state = res ? QString::fromLatin1(PQresultErrorField(res, PG_DIAG_SQLSTATE)) : QString();
    if (msg.isEmpty()) msg = QStringLiteral("Unknown error");
    DbErrorKind kind = DbErrorKind::Other;
    int code = 0;
    static const char *notFound[] = {"42P01", "42704", "42883", "3F000", "3D000", "42703", "42P02"};
    for (const char *s : notFound)
      if (state == QLatin1String(s)) {
        kind = DbErrorKind::ObjectNotFound;
        code = ErrObjectNotFound;
      }
    if (!state.isEmpty()) msg += QStringLiteral(" [SQLSTATE %1]").arg(state);
    // Class 08 and the shutdown states 57P01..57P03 end the session.
    if (PQstatus(conn_) == CONNECTION_BAD || state.startsWith(QLatin1String("08")) ||
        state.startsWith(QLatin1String("57P0"))) {
      kind = DbErrorKind::ConnectionLost;
      lost_ = true;
    }
    SetError(err, msg, code, state, kind);
    // A cancel or time-out shows as such, not as the server's "canceling statement" text.
    if (state == QLatin1String("57014")) cmd_.explainStop(err);
  }

  void connectionError(DbError *err) {
    resultError(nullptr, err);
    if (PQstatus(conn_) == CONNECTION_BAD && err) err->kind = DbErrorKind::ConnectionLost;
  }

 private:
  static void onNotice(void *arg, const PGresult *res) {
    auto *self = static_cast<PgConnection *>(arg);
    self->messages_.append(QString::fromUtf8(PQresultErrorMessage(res)).trimmed());
  }

  void sendCancel() {
    std::lock_guard<std::mutex> lk(handleMx_);
    if (!cancel_) return;
    char buf[256];
    PQcancel(cancel_, buf, sizeof buf);
  }

  PGconn *conn_ = nullptr;
  PGcancel *cancel_ = nullptr;
  std::mutex handleMx_;  // keeps the cancel handle alive while another thread uses it
  CommandState cmd_;
  PgCursor *active_ = nullptr;
  bool lost_ = false;
  struct Origin {
    QString catalog, schema, table, column;
    bool notNull = false, autoInc = false;
  };
  static quint64 key(quint32 table, int column) { return (quint64(table) << 32) | quint32(column); }
  QHash<quint64, Origin> origins_;  // catalog lookups of this session
  QHash<QString, QByteArray> prepared_;  // statement text -> name of its prepared statement in this session
  quint64 preparedCount_ = 0;
};

PgCursor::~PgCursor() {
  clearPending();
  if (conn_) conn_->cursorGone(this);
}

void PgCursor::drain() {
  clearPending();
  if (!conn_ || done_) return;
  PGconn *pg = conn_->pg();
  while (PGresult *r = PQgetResult(pg)) {
    const ExecStatusType st = PQresultStatus(r);
    PQclear(r);
    if (st == PGRES_COPY_IN) PQputCopyEnd(pg, "not supported");
    if (st == PGRES_COPY_OUT) {
      char *buf = nullptr;
      while (PQgetCopyData(pg, &buf, 0) > 0) PQfreemem(buf);
    }
    if (PQstatus(pg) == CONNECTION_BAD) break;
  }
  inSet_ = false;
  done_ = true;
  conn_->commandDone();
}

bool PgCursor::fail(const PGresult *res, DbError *err) {
  DbError e;
  conn_->resultError(res, &e);
  if (err) *err = e;
  drain();
  return false;
}

bool PgCursor::advance(DbError *err) {
  hasRows_ = false;
  affected_ = -1;
  fields_.clear();
  bytea_.clear();
  inSet_ = false;
  if (done_ || !conn_) return false;
  PGconn *pg = conn_->pg();
  for (;;) {
    PGresult *r = PQgetResult(pg);
    if (!r) {
      done_ = true;
      if (PQstatus(pg) == CONNECTION_BAD) {
        DbError e;
        conn_->connectionError(&e);
        if (err) *err = e;
        conn_->commandDone();
        return false;
      }
      conn_->commandDone();
      return false;
    }
    const ExecStatusType st = PQresultStatus(r);
    switch (st) {
      case PGRES_SINGLE_TUPLE:
      case PGRES_TUPLES_OK: {
        hasRows_ = true;
        const int n = PQnfields(r);
        fields_.resize(n);
        bytea_.assign(size_t(n), false);
        for (int i = 0; i < n; ++i) {
          fields_[i] = FieldOf(r, i);
          bytea_[size_t(i)] = PQftype(r, i) == kBytea;
        }
        if (st == PGRES_SINGLE_TUPLE) {
          pending_ = r;
          inSet_ = true;
        } else {
          PQclear(r);  // an empty result set
        }
        return true;
      }
      case PGRES_COMMAND_OK: {
        const char *t = PQcmdTuples(r);
        affected_ = t && *t ? QByteArray(t).toLongLong() : -1;
        PQclear(r);
        return true;
      }
      case PGRES_EMPTY_QUERY: PQclear(r); continue;
      case PGRES_COPY_IN:
      case PGRES_COPY_OUT:
      case PGRES_COPY_BOTH: {
        PQclear(r);
        drain();
        SetError(err, QStringLiteral("COPY to or from the client is not supported"));
        return false;
      }
      default: {
        fail(r, err);
        PQclear(r);
        return false;
      }
    }
  }
}

void PgCursor::appendRow(RowSet &out, const PGresult *res, int row) {
  const int n = int(fields_.size());
  for (int c = 0; c < n; ++c) {
    if (PQgetisnull(res, row, c)) {
      out.appendNull(c);
      continue;
    }
    const char *v = PQgetvalue(res, row, c);
    const int len = PQgetlength(res, row, c);
    switch (out.storage(c)) {
      case StorageKind::Double:
        if (len > 0 && (v[0] == 'N' || v[0] == 'I' || (v[0] == '-' && len > 1 && v[1] == 'I'))) {
          out.appendDouble(c, v[0] == 'N'   ? std::numeric_limits<double>::quiet_NaN()
                              : v[0] == 'I' ? std::numeric_limits<double>::infinity()
                                            : -std::numeric_limits<double>::infinity());
          break;
        }
        out.appendFromText(c, v, len);
        break;
      case StorageKind::Bytes:
        if (bytea_[size_t(c)]) {
          const QByteArray b = DecodeBytea(v, len);
          out.appendBytes(c, b.constData(), b.size());
          break;
        }
        out.appendBytes(c, v, len);
        break;
      default: out.appendFromText(c, v, len); break;
    }
  }
  out.endRow();
}

qint64 PgCursor::fetch(RowSet &out, qint64 maxRows, DbError *err) {
  if (!hasRows_ || !conn_) return 0;
  PGconn *pg = conn_->pg();
  qint64 count = 0;
  while (pending_ && (maxRows < 0 || count < maxRows)) {
    appendRow(out, pending_, 0);
    ++count;
    PQclear(pending_);
    pending_ = nullptr;
    PGresult *r = PQgetResult(pg);
    if (!r) {  // the connection broke
      inSet_ = false;
      fail(nullptr, err);
      return -1;
    }
    const ExecStatusType st = PQresultStatus(r);
    if (st == PGRES_SINGLE_TUPLE) {
      pending_ = r;
      continue;
    }
    inSet_ = false;
    if (st == PGRES_TUPLES_OK) {
      PQclear(r);
      break;
    }
    fail(r, err);
    PQclear(r);
    return -1;
  }
  return count;
}

bool PgCursor::nextResult(DbError *err) {
  if (done_ || !conn_) return false;
  if (inSet_) {
    // Skip the rows of the current set that were not fetched.
    clearPending();
    PGconn *pg = conn_->pg();
    for (;;) {
      PGresult *r = PQgetResult(pg);
      if (!r) {
        inSet_ = false;
        return fail(nullptr, err);
      }
      const ExecStatusType st = PQresultStatus(r);
      if (st == PGRES_SINGLE_TUPLE) {
        PQclear(r);
        continue;
      }
      inSet_ = false;
      if (st == PGRES_TUPLES_OK) {
        PQclear(r);
        break;
      }
      fail(r, err);
      PQclear(r);
      return false;
    }
  }
  return advance(err);
}

}  // namespace

ConnectionPtr CreatePgConnection() { return std::make_unique<PgConnection>(); }

}  // namespace qrv::dal
