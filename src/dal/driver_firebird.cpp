#include "dal/driver_firebird.h"

#include <ibase.h>

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>

namespace qrv::dal {

namespace {

// ---------------------------------------------------------------------------------------------- errors

DbError StatusToError(const ISC_STATUS *status) {
  DbError e;
  char buf[1024];
  const ISC_STATUS *pv = status;
  QStringList lines;
  while (fb_interpret(buf, sizeof buf, &pv) > 0) lines << QString::fromUtf8(buf);
  e.message = lines.join(QLatin1Char('\n'));
  if (e.message.isEmpty()) e.message = QStringLiteral("Unknown Firebird error");
  e.code = int(status[1]);
  e.nativeCode = int(status[1]);
  if (status[1] == isc_cancelled) e.kind = DbErrorKind::Cancelled;
  char state[8] = {0};
  fb_sqlstate(state, status);
  e.sqlState = QString::fromLatin1(state);
  return e;
}

void SetError(DbError *err, const ISC_STATUS *status) {
  if (err) *err = StatusToError(status);
}

void SetError(DbError *err, const QString &msg) {
  if (err) {
    *err = DbError();
    err->message = msg;
  }
}

// ------------------------------------------------------------------------------------- parameter blocks

class ParamBlock {
 public:
  explicit ParamBlock(char version) { b_.append(version); }
  void addString(char tag, const QByteArray &v) {
    const QByteArray s = v.left(255);
    b_.append(tag);
    b_.append(char(s.size()));
    b_.append(s);
  }
  void addInt(char tag, int v) {
    b_.append(tag);
    b_.append(char(4));
    for (int i = 0; i < 4; ++i) b_.append(char((v >> (8 * i)) & 0xFF));
  }
  const QByteArray &bytes() const { return b_; }

 private:
  QByteArray b_;
};

// ------------------------------------------------------------------------------------------- XSQLDA

struct Sqlda {
  XSQLDA *da = nullptr;
  std::vector<QByteArray> buffers;
  std::vector<short> inds;

  explicit Sqlda(int n = 20) { allocate(n); }
  ~Sqlda() { std::free(da); }
  Sqlda(const Sqlda &) = delete;
  Sqlda &operator=(const Sqlda &) = delete;

  void allocate(int n) {
    std::free(da);
    da = static_cast<XSQLDA *>(std::calloc(1, XSQLDA_LENGTH(n)));
    da->version = SQLDA_VERSION1;
    da->sqln = short(n);
  }
  // Gives every described column a buffer and a null indicator.
  void bind() {
    const int n = da->sqld;
    buffers.assign(size_t(n), QByteArray());
    inds.assign(size_t(n), 0);
    for (int i = 0; i < n; ++i) {
      XSQLVAR &v = da->sqlvar[i];
      int len = v.sqllen;
      if ((v.sqltype & ~1) == SQL_VARYING) len += 2;
      buffers[size_t(i)] = QByteArray(qMax(len, 8) + 8, '\0');
      v.sqldata = buffers[size_t(i)].data();
      v.sqltype |= 1;  // always ask for the null indicator
      v.sqlind = &inds[size_t(i)];
    }
  }
};

// ------------------------------------------------------------------------------------ value conversion

int BytesPerChar(const QByteArray &charset) {
  const QByteArray c = charset.toUpper();
  if (c == "UTF8" || c == "UNICODE_FSS") return c == "UTF8" ? 4 : 3;
  return 1;
}

QString ScaledToText(qint64 v, int scale) {
  if (scale >= 0) return QString::number(v);
  const bool neg = v < 0;
  // Work on the magnitude as unsigned to survive the smallest 64-bit value.
  quint64 m = neg ? quint64(0) - quint64(v) : quint64(v);
  QString digits = QString::number(m);
  const int s = -scale;
  if (digits.size() <= s) digits = QString(s - digits.size() + 1, QLatin1Char('0')) + digits;
  QString r = digits.left(digits.size() - s) + QLatin1Char('.') + digits.right(s);
  return neg ? QLatin1Char('-') + r : r;
}

QString FractionText(int tenThousandths) {
  if (tenThousandths <= 0) return QString();
  QString f = QStringLiteral("%1").arg(tenThousandths, 4, 10, QLatin1Char('0'));
  while (f.endsWith(QLatin1Char('0'))) f.chop(1);
  return QLatin1Char('.') + f;
}

QString DateText(ISC_DATE d) {
  tm t{};
  isc_decode_sql_date(&d, &t);
  return QStringLiteral("%1-%2-%3")
      .arg(t.tm_year + 1900, 4, 10, QLatin1Char('0'))
      .arg(t.tm_mon + 1, 2, 10, QLatin1Char('0'))
      .arg(t.tm_mday, 2, 10, QLatin1Char('0'));
}

QString TimeText(ISC_TIME tv) {
  tm t{};
  isc_decode_sql_time(&tv, &t);
  return QStringLiteral("%1:%2:%3")
             .arg(t.tm_hour, 2, 10, QLatin1Char('0'))
             .arg(t.tm_min, 2, 10, QLatin1Char('0'))
             .arg(t.tm_sec, 2, 10, QLatin1Char('0')) +
         FractionText(int(tv % ISC_TIME_SECONDS_PRECISION));
}

FieldDef DescribeVar(const XSQLVAR &v, int bytesPerChar) {
  FieldDef f;
  f.name = QString::fromUtf8(v.aliasname, v.aliasname_length);
  if (f.name.isEmpty()) f.name = QString::fromUtf8(v.sqlname, v.sqlname_length);
  f.originTable = QString::fromUtf8(v.relname, v.relname_length);
  f.originColumn = QString::fromUtf8(v.sqlname, v.sqlname_length);
  f.nullable = (v.sqltype & 1) != 0;
  const int type = v.sqltype & ~1;
  const bool octets = (v.sqlsubtype & 0xFF) == 1;  // character set OCTETS
  switch (type) {
    case SQL_TEXT:
      f.type = octets ? FieldType::Bytes : FieldType::FixedWideChar;
      f.size = octets ? v.sqllen : v.sqllen / bytesPerChar;
      break;
    case SQL_VARYING:
      f.type = octets ? FieldType::VarBytes : FieldType::WideString;
      f.size = octets ? v.sqllen : v.sqllen / bytesPerChar;
      break;
    case SQL_SHORT:
    case SQL_LONG:
    case SQL_INT64:
      if (v.sqlscale < 0) {
        f.type = FieldType::FMTBcd;
        f.precision = type == SQL_SHORT ? 4 : type == SQL_LONG ? 9 : 18;
        f.scale = -v.sqlscale;
      } else {
        f.type = type == SQL_SHORT ? FieldType::Smallint : type == SQL_LONG ? FieldType::Integer : FieldType::Largeint;
      }
      break;
    case SQL_FLOAT:
      f.type = FieldType::Single;
      break;
    case SQL_DOUBLE:
    case SQL_D_FLOAT:
      f.type = FieldType::Float;
      break;
    case SQL_TIMESTAMP:
      f.type = FieldType::DateTime;
      break;
    case SQL_TYPE_DATE:
      f.type = FieldType::Date;
      break;
    case SQL_TYPE_TIME:
      f.type = FieldType::Time;
      break;
    case SQL_BOOLEAN:
      f.type = FieldType::Boolean;
      break;
    case SQL_BLOB:
      f.type = v.sqlsubtype == 1 ? FieldType::WideMemo : FieldType::Blob;
      break;
    case SQL_NULL:
      f.type = FieldType::WideString;
      f.size = 1;
      break;
    default:
      f.type = FieldType::Unknown;
      break;
  }
  return f;
}

}  // namespace

// ---------------------------------------------------------------------------------------- connection

class FbConnection;

class FbCursor : public Cursor {
 public:
  FbCursor(FbConnection *conn, isc_tr_handle tr, isc_stmt_handle stmt, std::unique_ptr<Sqlda> out, bool isSelect,
           bool singleRowReady, qint64 affected, FieldDefs fields);
  ~FbCursor() override;

  bool hasRows() const override { return hasRows_; }
  const FieldDefs &fields() const override { return fields_; }
  qint64 rowsAffected() const override { return affected_; }
  qint64 fetch(RowSet &out, qint64 maxRows, DbError *err) override;
  bool nextResult(DbError *) override { return false; }

  // Ends the statement and its transaction (commit on success, rollback after an error).
  void finish(bool commit);
  // The connection closes: end everything and forget it.
  void detach() {
    finish(false);
    conn_ = nullptr;
  }

 private:
  bool appendRow(RowSet &out, DbError *err);
  bool readBlob(ISC_QUAD id, QByteArray *data, DbError *err);

  FbConnection *conn_;
  isc_tr_handle tr_;
  isc_stmt_handle stmt_;
  std::unique_ptr<Sqlda> out_;
  bool isSelect_;
  bool singleRow_;  // EXECUTE PROCEDURE: one row already in the buffers
  bool hasRows_;
  bool done_ = false;
  qint64 affected_;
  FieldDefs fields_;
};

class FbConnection : public Connection {
 public:
  explicit FbConnection(QString id) : id_(std::move(id)) {}
  ~FbConnection() override { close(); }

  QString driverId() const override { return id_; }
  bool open(const ConnParams &params, DbError *err) override;
  void close() override;
  bool isOpen() const override { return db_ != 0; }
  std::unique_ptr<Cursor> execute(const QString &sql, DbError *err) override;
  void cancel() override;
  QString clientVersion() const override;
  QString serverVersion() const override { return serverVersion_; }

  isc_db_handle *db() { return &db_; }
  const QByteArray &charset() const { return charset_; }
  bool utf8() const { return BytesPerChar(charset_) > 1; }
  QString decode(const char *p, qsizetype n) const {
    return utf8() ? QString::fromUtf8(p, n) : QString::fromLatin1(p, n);
  }
  QByteArray encode(const QString &s) const { return utf8() ? s.toUtf8() : s.toLatin1(); }

  void cursorGone(FbCursor *c) {
    std::lock_guard<std::mutex> lk(cursorMx_);
    cursors_.erase(c);
  }

  // Runs fn while a watchdog cancels the command once the command time-out has passed.
  template <class Fn>
  auto guarded(Fn fn) {
    struct Busy {
      FbConnection *c;
      explicit Busy(FbConnection *c) : c(c) { c->busy_ = true; c->startWatch(); }
      ~Busy() { c->stopWatch(); c->busy_ = false; }
    } busy(this);
    return fn();
  }

 private:
  void startWatch();
  void stopWatch();

 public:
  // Marks a cancelled command's error as a time-out when the watchdog stopped it.
  void explain(DbError *err) const {
    if (err && err->kind == DbErrorKind::Cancelled && timedOut_) {
      err->kind = DbErrorKind::TimedOut;
      err->message = QStringLiteral("The command was stopped after the execution time-out of %1 ms\n%2")
                         .arg(commandTimeoutMs_)
                         .arg(err->message);
    }
  }

 private:

  QString id_;
  isc_db_handle db_ = 0;
  std::atomic<isc_db_handle> cancelDb_{0};
  std::atomic<bool> busy_{false};
  std::atomic<bool> timedOut_{false};
  QByteArray charset_ = "UTF8";
  QString serverVersion_;
  std::mutex cursorMx_;
  std::set<FbCursor *> cursors_;

  std::thread watch_;
  std::mutex watchMx_;
  std::condition_variable watchCv_;
  bool watchStop_ = false;

  friend class FbCursor;
};

void FbConnection::startWatch() {
  timedOut_ = false;
  if (commandTimeoutMs_ <= 0) return;
  {
    std::lock_guard<std::mutex> lk(watchMx_);
    watchStop_ = false;
  }
  const int ms = commandTimeoutMs_;
  watch_ = std::thread([this, ms] {
    std::unique_lock<std::mutex> lk(watchMx_);
    if (!watchCv_.wait_for(lk, std::chrono::milliseconds(ms), [this] { return watchStop_; })) {
      timedOut_ = true;
      cancel();
    }
  });
}

void FbConnection::stopWatch() {
  if (!watch_.joinable()) return;
  {
    std::lock_guard<std::mutex> lk(watchMx_);
    watchStop_ = true;
  }
  watchCv_.notify_all();
  watch_.join();
}

bool FbConnection::open(const ConnParams &params, DbError *err) {
  close();
  QString database = params.value(QStringLiteral("Database")).trimmed();
  const QString server = params.value(QStringLiteral("Server")).trimmed();
  const QString port = params.value(QStringLiteral("Port")).trimmed();
  if (database.isEmpty()) {
    SetError(err, QStringLiteral("No database given: set the Database parameter to a file path or an alias"));
    if (err) err->kind = DbErrorKind::ConnectFailed;
    return false;
  }
  QString target = database;
  if (!server.isEmpty()) {
    QString host = server;
    if (!port.isEmpty() && !host.contains(QLatin1Char('/'))) host += QLatin1Char('/') + port;
    target = host + QLatin1Char(':') + database;
  }
  const QString cs = params.value(QStringLiteral("CharacterSet")).trimmed();
  charset_ = cs.isEmpty() ? QByteArray("UTF8") : cs.toUpper().toLatin1();

  ParamBlock dpb(isc_dpb_version1);
  const QString user = params.value(QStringLiteral("User_Name"));
  if (!user.isEmpty()) dpb.addString(isc_dpb_user_name, user.toUtf8());
  const QString pwd = params.value(QStringLiteral("Password"));
  if (!pwd.isEmpty()) dpb.addString(isc_dpb_password, pwd.toUtf8());
  dpb.addString(isc_dpb_lc_ctype, charset_);
  const QString role = params.value(QStringLiteral("RoleName"));
  if (!role.isEmpty()) dpb.addString(isc_dpb_sql_role_name, role.toUtf8());
  bool ok = false;
  int loginTimeout = params.value(QStringLiteral("LoginTimeout")).toInt(&ok);
  if (!ok || loginTimeout <= 0) loginTimeout = 15;
  dpb.addInt(isc_dpb_connect_timeout, loginTimeout);

  const QByteArray block = dpb.bytes();

  ISC_STATUS_ARRAY st;
  const QByteArray name = target.toUtf8();
  isc_db_handle db = 0;
  if (isc_attach_database(st, 0, name.constData(), &db, short(block.size()), block.constData())) {
    SetError(err, st);
    if (err) err->kind = DbErrorKind::ConnectFailed;
    return false;
  }
  db_ = db;
  cancelDb_ = db;

  // Server version from the attachment's info.
  char item = isc_info_firebird_version;
  char res[512];
  serverVersion_.clear();
  if (!isc_database_info(st, &db_, 1, &item, sizeof res, res) && res[0] == isc_info_firebird_version) {
    const int n = isc_vax_integer(res + 1, 2);
    const char *p = res + 3;
    const int count = quint8(p[0]);
    ++p;
    QStringList parts;
    for (int i = 0; i < count && p < res + 3 + n; ++i) {
      const int l = quint8(p[0]);
      parts << QString::fromLatin1(p + 1, l);
      p += 1 + l;
    }
    serverVersion_ = parts.isEmpty() ? QString() : parts.first();
  }
  return true;
}

void FbConnection::close() {
  std::set<FbCursor *> open;
  {
    std::lock_guard<std::mutex> lk(cursorMx_);
    open.swap(cursors_);
  }
  for (FbCursor *c : open) c->detach();
  if (db_) {
    cancelDb_ = 0;
    ISC_STATUS_ARRAY st;
    isc_detach_database(st, &db_);
    db_ = 0;
  }
}

void FbConnection::cancel() {
  isc_db_handle db = cancelDb_;
  if (!db || !busy_) return;
  ISC_STATUS_ARRAY st;
  fb_cancel_operation(st, &db, fb_cancel_raise);
}

QString FbConnection::clientVersion() const {
  char buf[256] = {0};
  isc_get_client_version(buf);
  return QString::fromLatin1(buf);
}

std::unique_ptr<Cursor> FbConnection::execute(const QString &sqlText, DbError *err) {
  if (err) *err = DbError();
  if (!db_) {
    SetError(err, QStringLiteral("The connection is not open"));
    return nullptr;
  }
  // One statement at a time: a final terminator is not part of the statement.
  QString sql = sqlText.trimmed();
  while (sql.endsWith(QLatin1Char(';'))) {
    sql.chop(1);
    sql = sql.trimmed();
  }
  if (sql.isEmpty()) {
    SetError(err, QStringLiteral("Empty statement"));
    return nullptr;
  }

  ISC_STATUS_ARRAY st;
  isc_tr_handle tr = 0;
  static const char tpb[] = {isc_tpb_version3, isc_tpb_write, isc_tpb_read_committed, isc_tpb_rec_version,
                             isc_tpb_wait};
  if (isc_start_transaction(st, &tr, 1, &db_, short(sizeof tpb), tpb)) {
    SetError(err, st);
    return nullptr;
  }
  isc_stmt_handle stmt = 0;
  auto fail = [&](const ISC_STATUS *s) -> std::unique_ptr<Cursor> {
    SetError(err, s);
    explain(err);
    ISC_STATUS_ARRAY st2;
    if (stmt) isc_dsql_free_statement(st2, &stmt, DSQL_drop);
    if (tr) isc_rollback_transaction(st2, &tr);
    return nullptr;
  };
  if (isc_dsql_allocate_statement(st, &db_, &stmt)) return fail(st);

  auto out = std::make_unique<Sqlda>(20);
  const QByteArray text = encode(sql);
  if (guarded([&] {
        return isc_dsql_prepare(st, &tr, &stmt, 0, text.constData(), SQL_DIALECT_V6, out->da);
      }))
    return fail(st);
  if (out->da->sqld > out->da->sqln) {
    out->allocate(out->da->sqld);
    if (isc_dsql_describe(st, &stmt, SQLDA_VERSION1, out->da)) return fail(st);
  }
  const int bpc = BytesPerChar(charset_);
  FieldDefs fields;
  for (int i = 0; i < out->da->sqld; ++i) fields.append(DescribeVar(out->da->sqlvar[i], bpc));
  out->bind();

  char typeItem = isc_info_sql_stmt_type;
  char typeRes[16];
  if (isc_dsql_sql_info(st, &stmt, 1, &typeItem, sizeof typeRes, typeRes)) return fail(st);
  int stmtType = 0;
  if (typeRes[0] == isc_info_sql_stmt_type) {
    const int l = isc_vax_integer(typeRes + 1, 2);
    stmtType = isc_vax_integer(typeRes + 3, short(l));
  }

  if (stmtType == isc_info_sql_stmt_commit || stmtType == isc_info_sql_stmt_rollback ||
      stmtType == isc_info_sql_stmt_start_trans) {
    // Every statement commits on its own; transaction statements have nothing left to do.
    ISC_STATUS_ARRAY st2;
    isc_dsql_free_statement(st2, &stmt, DSQL_drop);
    isc_commit_transaction(st2, &tr);
    auto c = std::make_unique<FbCursor>(this, 0, 0, nullptr, false, false, -1, FieldDefs());
    c->finish(true);
    return c;
  }

  const bool isSelect = stmtType == isc_info_sql_stmt_select || stmtType == isc_info_sql_stmt_select_for_upd;
  const bool procRow = stmtType == isc_info_sql_stmt_exec_procedure && out->da->sqld > 0;
  ISC_STATUS rc;
  if (procRow)
    rc = guarded([&] { return isc_dsql_execute2(st, &tr, &stmt, SQLDA_VERSION1, nullptr, out->da); });
  else
    rc = guarded([&] { return isc_dsql_execute(st, &tr, &stmt, SQLDA_VERSION1, nullptr); });
  if (rc) return fail(st);

  qint64 affected = -1;
  if (!isSelect) {
    char item = isc_info_sql_records;
    char res[64];
    if (!isc_dsql_sql_info(st, &stmt, 1, &item, sizeof res, res) && res[0] == isc_info_sql_records) {
      qint64 sum = 0;
      bool any = false;
      const char *p = res + 3;
      while (p < res + sizeof res && *p != isc_info_end) {
        const char tag = *p;
        const int l = isc_vax_integer(p + 1, 2);
        const qint64 n = isc_vax_integer(p + 3, short(l));
        if (tag == isc_info_req_insert_count || tag == isc_info_req_update_count ||
            tag == isc_info_req_delete_count) {
          sum += n;
          any = true;
        }
        p += 3 + l;
      }
      if (stmtType == isc_info_sql_stmt_insert || stmtType == isc_info_sql_stmt_update ||
          stmtType == isc_info_sql_stmt_delete || (any && sum > 0))
        affected = sum;
    }
  }

  auto c = std::make_unique<FbCursor>(this, tr, stmt, std::move(out), isSelect, procRow, affected,
                                      (isSelect || procRow) ? fields : FieldDefs());
  {
    std::lock_guard<std::mutex> lk(cursorMx_);
    cursors_.insert(c.get());
  }
  if (!isSelect && !procRow) {
    c->finish(true);
  }
  return c;
}

// -------------------------------------------------------------------------------------------- cursor

FbCursor::FbCursor(FbConnection *conn, isc_tr_handle tr, isc_stmt_handle stmt, std::unique_ptr<Sqlda> out,
                   bool isSelect, bool singleRowReady, qint64 affected, FieldDefs fields)
    : conn_(conn),
      tr_(tr),
      stmt_(stmt),
      out_(std::move(out)),
      isSelect_(isSelect),
      singleRow_(singleRowReady),
      hasRows_(isSelect || singleRowReady),
      affected_(affected),
      fields_(std::move(fields)) {}

FbCursor::~FbCursor() {
  finish(true);
  if (conn_) conn_->cursorGone(this);
}

void FbCursor::finish(bool commit) {
  if (done_) return;
  done_ = true;
  ISC_STATUS_ARRAY st;
  if (stmt_) isc_dsql_free_statement(st, &stmt_, DSQL_drop);
  if (tr_) {
    if (commit) {
      if (isc_commit_transaction(st, &tr_)) isc_rollback_transaction(st, &tr_);
    } else {
      isc_rollback_transaction(st, &tr_);
    }
  }
  stmt_ = 0;
  tr_ = 0;
}

qint64 FbCursor::fetch(RowSet &out, qint64 maxRows, DbError *err) {
  if (err) *err = DbError();
  if (done_ || !hasRows_ || !conn_) return 0;
  qint64 n = 0;
  if (singleRow_) {
    singleRow_ = false;
    if (!appendRow(out, err)) {
      finish(false);
      return -1;
    }
    finish(true);
    return 1;
  }
  return conn_->guarded([&]() -> qint64 {
    ISC_STATUS_ARRAY st;
    while (maxRows < 0 || n < maxRows) {
      const ISC_STATUS rc = isc_dsql_fetch(st, &stmt_, SQLDA_VERSION1, out_->da);
      if (rc == 100) {
        finish(true);
        break;
      }
      if (rc) {
        SetError(err, st);
        conn_->explain(err);
        finish(false);
        return -1;
      }
      if (!appendRow(out, err)) {
        finish(false);
        return -1;
      }
      ++n;
    }
    return n;
  });
}

bool FbCursor::readBlob(ISC_QUAD id, QByteArray *data, DbError *err) {
  ISC_STATUS_ARRAY st;
  isc_blob_handle blob = 0;
  if (isc_open_blob2(st, conn_->db(), &tr_, &blob, &id, 0, nullptr)) {
    SetError(err, st);
    return false;
  }
  char seg[16384];
  for (;;) {
    unsigned short len = 0;
    const ISC_STATUS rc = isc_get_segment(st, &blob, &len, sizeof seg, seg);
    if (rc && rc != isc_segment) {
      if (rc == isc_segstr_eof) break;
      SetError(err, st);
      ISC_STATUS_ARRAY st2;
      isc_close_blob(st2, &blob);
      return false;
    }
    data->append(seg, len);
  }
  isc_close_blob(st, &blob);
  return true;
}

bool FbCursor::appendRow(RowSet &out, DbError *err) {
  XSQLDA *da = out_->da;
  for (int i = 0; i < da->sqld; ++i) {
    const XSQLVAR &v = da->sqlvar[i];
    if (v.sqlind && *v.sqlind < 0) {
      out.appendNull(i);
      continue;
    }
    const char *p = v.sqldata;
    const FieldDef &f = fields_[i];
    // Exact integers of any width; a negative scale makes them decimals, kept as text.
    auto appendExact = [&](auto x) {
      std::memcpy(&x, p, sizeof x);
      if (v.sqlscale < 0)
        out.appendText(i, ScaledToText(x, v.sqlscale));
      else
        out.appendInt(i, x);
    };
    switch (v.sqltype & ~1) {
      case SQL_TEXT: {
        if (f.type == FieldType::Bytes) {
          out.appendBytes(i, p, v.sqllen);
        } else {
          QString s = conn_->decode(p, v.sqllen);
          // The buffer holds the value padded to its byte length: keep the declared characters.
          if (f.size > 0 && s.size() > f.size) s.truncate(f.size);
          out.appendText(i, s);
        }
        break;
      }
      case SQL_VARYING: {
        short len;
        std::memcpy(&len, p, 2);
        if (f.type == FieldType::VarBytes)
          out.appendBytes(i, p + 2, len);
        else if (conn_->utf8())
          out.appendUtf8(i, p + 2, len);
        else
          out.appendText(i, conn_->decode(p + 2, len));
        break;
      }
      case SQL_SHORT:
        appendExact(ISC_SHORT{});
        break;
      case SQL_LONG:
        appendExact(ISC_LONG{});
        break;
      case SQL_INT64:
        appendExact(ISC_INT64{});
        break;
      case SQL_FLOAT: {
        float x;
        std::memcpy(&x, p, sizeof x);
        out.appendDouble(i, double(x));
        break;
      }
      case SQL_DOUBLE:
      case SQL_D_FLOAT: {
        double x;
        std::memcpy(&x, p, sizeof x);
        out.appendDouble(i, x);
        break;
      }
      case SQL_TYPE_DATE: {
        ISC_DATE d;
        std::memcpy(&d, p, sizeof d);
        out.appendText(i, DateText(d));
        break;
      }
      case SQL_TYPE_TIME: {
        ISC_TIME t;
        std::memcpy(&t, p, sizeof t);
        out.appendText(i, TimeText(t));
        break;
      }
      case SQL_TIMESTAMP: {
        ISC_TIMESTAMP ts;
        std::memcpy(&ts, p, sizeof ts);
        out.appendText(i, DateText(ts.timestamp_date) + QLatin1Char(' ') + TimeText(ts.timestamp_time));
        break;
      }
      case SQL_BOOLEAN:
        out.appendInt(i, *reinterpret_cast<const unsigned char *>(p) ? 1 : 0);
        break;
      case SQL_BLOB: {
        ISC_QUAD id;
        std::memcpy(&id, p, sizeof id);
        QByteArray data;
        if (!readBlob(id, &data, err)) return false;
        if (f.type == FieldType::WideMemo && !conn_->utf8())
          out.appendText(i, conn_->decode(data.constData(), data.size()));
        else
          out.appendUtf8(i, data.constData(), data.size());
        break;
      }
      default:
        out.appendNull(i);
        break;
    }
  }
  out.endRow();
  return true;
}

ConnectionPtr CreateFirebirdConnection(const QString &driverId) {
  return std::make_unique<FbConnection>(driverId.isEmpty() ? QStringLiteral("FB") : driverId);
}

}  // namespace qrv::dal
