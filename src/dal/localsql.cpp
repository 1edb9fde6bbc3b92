#include "dal/localsql.h"

#include <sqlite3.h>

#include <map>
#include <mutex>
#include <unordered_map>

#include "dal/sqlite_functions.h"

namespace qrv::dal {

namespace {

const char kModuleName[] = "qrv_memtable";
const char kDecimalCollation[] = "QRV_DECIMAL";

// The tables registered on one connection, by lower-case name.
struct ModuleData {
  std::unordered_map<std::string, std::weak_ptr<MemTable *>> tables;
};

std::mutex gRegistryMutex;
std::map<sqlite3 *, ModuleData *> gRegistry;  // connections that have the module

QString Quoted(const QString &name) {
  QString s = name;
  s.replace(u'"', QStringLiteral("\"\""));
  return u'"' + s + u'"';
}

std::string Key(const QString &name) { return name.toLower().toStdString(); }

struct VTab : sqlite3_vtab {
  std::weak_ptr<MemTable *> table;
  QString name;
  int columns = 0;
  RowSetPtr keepAlive;  // the rows last scanned: text handed out without copying stays valid
};

struct VCursor : sqlite3_vtab_cursor {
  std::shared_ptr<MemTable *> hold;
  const MemTable *t = nullptr;
  const RowSet *rs = nullptr;
  qsizetype base = 0;
  qsizetype pos = 0;
  qsizetype end = 0;
};

void SetVtabError(sqlite3_vtab *vt, const QString &msg) {
  sqlite3_free(vt->zErrMsg);
  vt->zErrMsg = sqlite3_mprintf("%s", msg.toUtf8().constData());
}

QString UniqueColumnName(const QString &name, int index, QStringList &used) {
  QString base = name.isEmpty() ? QStringLiteral("Column%1").arg(index + 1) : name;
  QString n = base;
  for (int k = 1; used.contains(n, Qt::CaseInsensitive); ++k) n = QStringLiteral("%1_%2").arg(base).arg(k);
  used << n;
  return n;
}

int XConnect(sqlite3 *db, void *aux, int argc, const char *const *argv, sqlite3_vtab **out, char **errOut) {
  auto *md = static_cast<ModuleData *>(aux);
  const QString name = argc > 2 ? QString::fromUtf8(argv[2]) : QString();
  auto it = md->tables.find(Key(name));
  std::shared_ptr<MemTable *> h = it == md->tables.end() ? nullptr : it->second.lock();
  if (!h || !*h || !(*h)->active()) {
    *errOut = sqlite3_mprintf("Memory table \"%s\" is not registered or not open", name.toUtf8().constData());
    return SQLITE_ERROR;
  }
  const MemTable &t = **h;
  QString ddl = QStringLiteral("CREATE TABLE x(");
  QStringList used;
  for (int i = 0; i < t.fieldCount(); ++i) {
    const FieldDef &f = t.fields()[i];
    if (i) ddl += QStringLiteral(", ");
    ddl += Quoted(UniqueColumnName(f.name, i, used)) + u' ' + SqliteDeclaredType(f);
    if (f.type == FieldType::BCD || f.type == FieldType::FMTBcd)
      ddl += QStringLiteral(" COLLATE ") + QLatin1String(kDecimalCollation);
  }
  if (t.fieldCount() == 0) ddl += QStringLiteral("\"_\" TEXT HIDDEN");
  ddl += u')';
  const int rc = sqlite3_declare_vtab(db, ddl.toUtf8().constData());
  if (rc != SQLITE_OK) {
    *errOut = sqlite3_mprintf("%s", sqlite3_errmsg(db));
    return rc;
  }
  auto *vt = new VTab();
  vt->table = h;
  vt->name = name;
  vt->columns = t.fieldCount();
  *out = vt;
  return SQLITE_OK;
}

int XDisconnect(sqlite3_vtab *vt) {
  delete static_cast<VTab *>(vt);
  return SQLITE_OK;
}

int XBestIndex(sqlite3_vtab *, sqlite3_index_info *info) {
  // A rowid = value lookup is a direct access; everything else is a full scan.
  for (int i = 0; i < info->nConstraint; ++i) {
    const auto &c = info->aConstraint[i];
    if (c.usable && c.iColumn == -1 && c.op == SQLITE_INDEX_CONSTRAINT_EQ) {
      info->aConstraintUsage[i].argvIndex = 1;
      info->aConstraintUsage[i].omit = 1;
      info->idxNum = 1;
      info->estimatedCost = 1;
      info->estimatedRows = 1;
      info->idxFlags = SQLITE_INDEX_SCAN_UNIQUE;
      return SQLITE_OK;
    }
  }
  info->idxNum = 0;
  info->estimatedCost = 1e6;
  return SQLITE_OK;
}

int XOpen(sqlite3_vtab *, sqlite3_vtab_cursor **out) {
  *out = new VCursor();
  return SQLITE_OK;
}

int XClose(sqlite3_vtab_cursor *c) {
  delete static_cast<VCursor *>(c);
  return SQLITE_OK;
}

int XFilter(sqlite3_vtab_cursor *cur, int idxNum, const char *, int argc, sqlite3_value **argv) {
  auto *c = static_cast<VCursor *>(cur);
  auto *vt = static_cast<VTab *>(cur->pVtab);
  c->hold = vt->table.lock();
  c->t = c->hold ? *c->hold : nullptr;
  if (!c->t || !c->t->active()) {
    SetVtabError(cur->pVtab, QStringLiteral("Memory table \"%1\" is closed").arg(vt->name));
    return SQLITE_ERROR;
  }
  if (c->t->fieldCount() != vt->columns) {
    SetVtabError(cur->pVtab,
                 QStringLiteral("The fields of memory table \"%1\" changed; register it again").arg(vt->name));
    return SQLITE_ERROR;
  }
  vt->keepAlive = c->t->rows();
  c->rs = vt->keepAlive.get();
  c->base = c->rs->rowCount();
  const qsizetype n = c->t->naturalCount();
  c->pos = 0;
  c->end = n;
  if (idxNum == 1 && argc == 1) {
    const int vtp = sqlite3_value_numeric_type(argv[0]);
    const double d = sqlite3_value_double(argv[0]);
    const qint64 r = sqlite3_value_int64(argv[0]);
    if ((vtp == SQLITE_INTEGER || (vtp == SQLITE_FLOAT && d == double(r))) && r >= 0 && r < n) {
      c->pos = r;
      c->end = r + 1;
    } else {
      c->pos = c->end = 0;
    }
  }
  return SQLITE_OK;
}

int XNext(sqlite3_vtab_cursor *cur) {
  ++static_cast<VCursor *>(cur)->pos;
  return SQLITE_OK;
}

int XEof(sqlite3_vtab_cursor *cur) {
  auto *c = static_cast<VCursor *>(cur);
  return c->pos >= c->end || !*c->hold || c->pos >= c->t->naturalCount();
}

void ResultVariant(sqlite3_context *ctx, const FieldDef &f, const QVariant &v) {
  if (!v.isValid() || v.isNull()) {
    sqlite3_result_null(ctx);
    return;
  }
  switch (StorageOf(f.type)) {
    case StorageKind::Int64:
      sqlite3_result_int64(ctx, v.typeId() == QMetaType::Bool ? v.toBool() : v.toLongLong());
      break;
    case StorageKind::Double: sqlite3_result_double(ctx, v.toDouble()); break;
    case StorageKind::Bytes: {
      const QByteArray b = v.toByteArray();
      sqlite3_result_blob64(ctx, b.constData(), sqlite3_uint64(b.size()), SQLITE_TRANSIENT);
      break;
    }
    default: {
      const QByteArray b = v.toString().toUtf8();
      sqlite3_result_text64(ctx, b.constData(), sqlite3_uint64(b.size()), SQLITE_TRANSIENT, SQLITE_UTF8);
    }
  }
}

int XColumn(sqlite3_vtab_cursor *cur, sqlite3_context *ctx, int col) {
  auto *c = static_cast<VCursor *>(cur);
  if (!*c->hold) {
    sqlite3_result_error(ctx, "Memory table was freed", -1);
    return SQLITE_ERROR;
  }
  const qsizetype row = c->t->naturalRow(c->pos);
  if (const QVector<QVariant> *ov = c->t->rowOverlay(row)) {
    ResultVariant(ctx, c->t->fields()[col], ov->value(col));
    return SQLITE_OK;
  }
  const RowSet &rs = *c->rs;
  if (row >= c->base || rs.isNull(row, col)) {
    sqlite3_result_null(ctx);
    return SQLITE_OK;
  }
  switch (rs.storage(col)) {
    case StorageKind::Int64: sqlite3_result_int64(ctx, rs.intValue(row, col)); break;
    case StorageKind::Double: sqlite3_result_double(ctx, rs.doubleValue(row, col)); break;
    case StorageKind::Bytes: {
      const QByteArrayView b = rs.utf8(row, col);
      sqlite3_result_blob64(ctx, b.data() ? b.data() : "", sqlite3_uint64(b.size()), SQLITE_STATIC);
      break;
    }
    default: {
      const QByteArrayView b = rs.utf8(row, col);
      sqlite3_result_text64(ctx, b.data() ? b.data() : "", sqlite3_uint64(b.size()), SQLITE_STATIC, SQLITE_UTF8);
    }
  }
  return SQLITE_OK;
}

int XRowid(sqlite3_vtab_cursor *cur, sqlite3_int64 *rowid) {
  *rowid = static_cast<VCursor *>(cur)->pos;
  return SQLITE_OK;
}

sqlite3_module MakeModule() {
  sqlite3_module m{};
  m.iVersion = 1;
  m.xCreate = XConnect;
  m.xConnect = XConnect;
  m.xBestIndex = XBestIndex;
  m.xDisconnect = XDisconnect;
  m.xDestroy = XDisconnect;
  m.xOpen = XOpen;
  m.xClose = XClose;
  m.xFilter = XFilter;
  m.xNext = XNext;
  m.xEof = XEof;
  m.xColumn = XColumn;
  m.xRowid = XRowid;
  return m;
}

const sqlite3_module kModule = MakeModule();

void DestroyModuleData(void *p) {
  auto *md = static_cast<ModuleData *>(p);
  {
    std::lock_guard<std::mutex> lock(gRegistryMutex);
    for (auto it = gRegistry.begin(); it != gRegistry.end(); ++it)
      if (it->second == md) {
        gRegistry.erase(it);
        break;
      }
  }
  delete md;
}

int DecimalCollation(void *, int n1, const void *a, int n2, const void *b) {
  return CompareDecimalText(QByteArrayView(static_cast<const char *>(a), n1),
                            QByteArrayView(static_cast<const char *>(b), n2));
}

ModuleData *EnsureModule(sqlite3 *db, QString *err) {
  {
    std::lock_guard<std::mutex> lock(gRegistryMutex);
    auto it = gRegistry.find(db);
    if (it != gRegistry.end()) return it->second;
  }
  auto *md = new ModuleData();
  // On failure sqlite3_create_module_v2 calls the destructor itself.
  if (sqlite3_create_module_v2(db, kModuleName, &kModule, md, DestroyModuleData) != SQLITE_OK) {
    if (err) *err = QString::fromUtf8(sqlite3_errmsg(db));
    return nullptr;
  }
  sqlite3_create_collation_v2(db, kDecimalCollation, SQLITE_UTF8, nullptr, DecimalCollation, nullptr);
  std::lock_guard<std::mutex> lock(gRegistryMutex);
  gRegistry[db] = md;
  return md;
}

bool Exec(sqlite3 *db, const QString &sql, QString *err) {
  const QString e = ExecSql(db, sql);
  if (e.isEmpty()) return true;
  if (err) *err = e;
  return false;
}

}  // namespace

QString ExecSql(sqlite3 *db, const QString &sql) {
  char *msg = nullptr;
  if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &msg) == SQLITE_OK) return QString();
  const QString e = QString::fromUtf8(msg ? msg : sqlite3_errmsg(db));
  sqlite3_free(msg);
  return e;
}

bool RegisterMemTable(sqlite3 *db, const QString &name, const MemTable &table, QString *err) {
  if (!db) {
    if (err) *err = QStringLiteral("The local SQL connection is not open");
    return false;
  }
  if (!table.active()) {
    if (err) *err = QStringLiteral("Memory table \"%1\" is not open").arg(name);
    return false;
  }
  ModuleData *md = EnsureModule(db, err);
  if (!md) return false;
  if (!Exec(db, QStringLiteral("DROP TABLE IF EXISTS temp.%1").arg(Quoted(name)), err)) return false;
  md->tables[Key(name)] = table.handle();
  if (!Exec(db, QStringLiteral("CREATE VIRTUAL TABLE temp.%1 USING %2").arg(Quoted(name), QLatin1String(kModuleName)),
            err)) {
    md->tables.erase(Key(name));
    return false;
  }
  return true;
}

bool UnregisterMemTable(sqlite3 *db, const QString &name, QString *err) {
  if (!db) return true;
  ModuleData *md = nullptr;
  {
    std::lock_guard<std::mutex> lock(gRegistryMutex);
    auto it = gRegistry.find(db);
    if (it != gRegistry.end()) md = it->second;
  }
  if (!md || !md->tables.count(Key(name))) return true;
  const bool ok = Exec(db, QStringLiteral("DROP TABLE IF EXISTS temp.%1").arg(Quoted(name)), err);
  md->tables.erase(Key(name));
  return ok;
}

QString SqliteDeclaredType(const FieldDef &f) {
  QString affinity;
  switch (StorageOf(f.type)) {
    case StorageKind::Int64: affinity = QStringLiteral("INTEGER"); break;
    case StorageKind::Double: affinity = QStringLiteral("REAL"); break;
    case StorageKind::Bytes: affinity = QStringLiteral("BLOB"); break;
    default:
      affinity = (f.type == FieldType::BCD || f.type == FieldType::FMTBcd) ? QStringLiteral("NUMERIC")
                                                                           : QStringLiteral("TEXT");
  }
  QString name = FieldTypeName(f.type);
  // SQLite takes the affinity from words inside the whole type text ("INT" first): keep the type name
  // only where it does not change the affinity.
  const QString up = name.toUpper();
  const bool clash = (up.contains(QLatin1String("INT")) && affinity != u"INTEGER") ||
                     ((up.contains(QLatin1String("CHAR")) || up.contains(QLatin1String("CLOB")) ||
                       up.contains(QLatin1String("TEXT"))) && affinity != u"TEXT") ||
                     (up.contains(QLatin1String("BLOB")) && affinity != u"BLOB") ||
                     ((up.contains(QLatin1String("REAL")) || up.contains(QLatin1String("FLOA")) ||
                       up.contains(QLatin1String("DOUB"))) && affinity != u"REAL");
  QString s = clash ? affinity : name + u' ' + affinity;
  if (f.type == FieldType::BCD || f.type == FieldType::FMTBcd) {
    if (f.precision > 0) s += QStringLiteral("(%1,%2)").arg(f.precision).arg(f.scale);
  } else if (f.size > 0 && (affinity == u"TEXT" || affinity == u"BLOB")) {
    s += QStringLiteral("(%1)").arg(f.size);
  }
  return s;
}

bool FieldFromDeclaredType(const QString &declType, FieldDef *f) {
  QString t = declType.trimmed();
  if (t.isEmpty()) return false;
  QList<int> nums;
  const qsizetype open = t.indexOf(u'(');
  if (open >= 0) {
    const qsizetype close = t.indexOf(u')', open);
    for (const QString &p : t.mid(open + 1, close < 0 ? -1 : close - open - 1).split(u','))
      nums << p.trimmed().toInt();
    t = t.left(open).trimmed();
  }
  const QStringList words = t.split(u' ', Qt::SkipEmptyParts);
  FieldType ft = FieldType::Unknown;
  if (words.size() >= 2) ft = FieldTypeFromName(words[0]);
  if (ft == FieldType::Unknown) {
    const QString u = t.toUpper();
    if (u.contains(QLatin1String("BOOL"))) ft = FieldType::Boolean;
    else if (u.contains(QLatin1String("INT"))) ft = FieldType::Largeint;
    else if (u.contains(QLatin1String("CHAR")) || u.contains(QLatin1String("CLOB")) || u.contains(QLatin1String("TEXT")))
      ft = nums.isEmpty() ? FieldType::WideMemo : FieldType::WideString;
    else if (u.contains(QLatin1String("BLOB"))) ft = FieldType::Blob;
    else if (u.contains(QLatin1String("REAL")) || u.contains(QLatin1String("FLOA")) || u.contains(QLatin1String("DOUB")))
      ft = FieldType::Float;
    else if (u.contains(QLatin1String("DATETIME")) || u.contains(QLatin1String("TIMESTAMP"))) ft = FieldType::DateTime;
    else if (u.contains(QLatin1String("DATE"))) ft = FieldType::Date;
    else if (u.contains(QLatin1String("TIME"))) ft = FieldType::Time;
    else if (u.contains(QLatin1String("NUM")) || u.contains(QLatin1String("DEC"))) ft = FieldType::FMTBcd;
    else return false;
  }
  f->type = ft;
  if (ft == FieldType::BCD || ft == FieldType::FMTBcd) {
    f->precision = nums.value(0);
    f->scale = nums.value(1);
  } else if (!nums.isEmpty()) {
    f->size = nums[0];
  }
  return true;
}

RowSetPtr ReadSqliteRows(sqlite3 *db, sqlite3_stmt *st, QString *err) {
  const int nc = sqlite3_column_count(st);
  FieldDefs defs(nc);
  std::vector<bool> known(size_t(nc), false);
  int unknown = 0;
  for (int i = 0; i < nc; ++i) {
    defs[i].name = QString::fromUtf8(sqlite3_column_name(st, i));
    const char *dt = sqlite3_column_decltype(st, i);
    known[size_t(i)] = dt && FieldFromDeclaredType(QString::fromUtf8(dt), &defs[i]);
    if (!known[size_t(i)]) ++unknown;
  }
  // Rows are held back while a column's type is still open (no declared type, only NULLs so far).
  std::vector<QVector<QVariant>> pending;
  RowSetPtr rs;
  auto cellVariant = [&](int i) -> QVariant {
    switch (sqlite3_column_type(st, i)) {
      case SQLITE_INTEGER: return QVariant(qint64(sqlite3_column_int64(st, i)));
      case SQLITE_FLOAT: return QVariant(sqlite3_column_double(st, i));
      case SQLITE_TEXT:
        return QVariant(QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(st, i)),
                                          sqlite3_column_bytes(st, i)));
      case SQLITE_BLOB: {
        const char *p = static_cast<const char *>(sqlite3_column_blob(st, i));
        return QVariant(QByteArray(p ? p : "", sqlite3_column_bytes(st, i)));
      }
      default: return QVariant();
    }
  };
  auto appendVariant = [](RowSet &r, int col, const QVariant &v) {
    if (!v.isValid()) r.appendNull(col);
    else if (v.typeId() == QMetaType::LongLong) r.appendInt(col, v.toLongLong());
    else if (v.typeId() == QMetaType::Double) r.appendDouble(col, v.toDouble());
    else if (v.typeId() == QMetaType::QByteArray) {
      const QByteArray b = v.toByteArray();
      r.appendBytes(col, b.constData(), b.size());
    } else r.appendText(col, v.toString());
  };
  auto build = [&]() {
    for (int i = 0; i < nc; ++i)
      if (!known[size_t(i)]) defs[i].type = FieldType::WideString;
    rs = std::make_shared<RowSet>(defs);
    for (const auto &row : pending) {
      for (int i = 0; i < nc; ++i) appendVariant(*rs, i, row[i]);
      rs->endRow();
    }
    pending.clear();
  };
  if (unknown == 0) build();
  int rc;
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    if (!rs) {
      QVector<QVariant> row(nc);
      for (int i = 0; i < nc; ++i) {
        row[i] = cellVariant(i);
        if (!known[size_t(i)] && row[i].isValid()) {
          switch (sqlite3_column_type(st, i)) {
            case SQLITE_INTEGER: defs[i].type = FieldType::Largeint; break;
            case SQLITE_FLOAT: defs[i].type = FieldType::Float; break;
            case SQLITE_BLOB: defs[i].type = FieldType::Blob; break;
            default: defs[i].type = FieldType::WideMemo;
          }
          known[size_t(i)] = true;
          --unknown;
        }
      }
      pending.push_back(std::move(row));
      if (unknown == 0) build();
      continue;
    }
    RowSet &r = *rs;
    for (int i = 0; i < nc; ++i) {
      switch (sqlite3_column_type(st, i)) {
        case SQLITE_NULL: r.appendNull(i); break;
        case SQLITE_INTEGER: r.appendInt(i, sqlite3_column_int64(st, i)); break;
        case SQLITE_FLOAT: r.appendDouble(i, sqlite3_column_double(st, i)); break;
        case SQLITE_TEXT:
          r.appendUtf8(i, reinterpret_cast<const char *>(sqlite3_column_text(st, i)), sqlite3_column_bytes(st, i));
          break;
        default: {
          const char *p = static_cast<const char *>(sqlite3_column_blob(st, i));
          r.appendBytes(i, p ? p : "", sqlite3_column_bytes(st, i));
        }
      }
    }
    r.endRow();
  }
  if (rc != SQLITE_DONE) {
    if (err) *err = QString::fromUtf8(sqlite3_errmsg(db));
    return nullptr;
  }
  if (!rs) build();
  return rs;
}

// ---- LocalSql ----

LocalSql::~LocalSql() { close(); }

bool LocalSql::open(QString *err) {
  close();
  if (sqlite3_open(":memory:", &db_) != SQLITE_OK) {
    if (err) *err = QString::fromUtf8(db_ ? sqlite3_errmsg(db_) : "out of memory");
    sqlite3_close(db_);
    db_ = nullptr;
    return false;
  }
  RegisterProgramFunctions(db_);
  return true;
}

void LocalSql::close() {
  if (db_) sqlite3_close_v2(db_);
  db_ = nullptr;
}

bool LocalSql::registerTable(const QString &name, const MemTable &table, QString *err) {
  return RegisterMemTable(db_, name, table, err);
}

bool LocalSql::unregisterTable(const QString &name, QString *err) { return UnregisterMemTable(db_, name, err); }

namespace {
// Runs the statements of sql one by one; onRows is called for the first statement with result columns
// and ends the walk. Returns false with err on failure.
template <typename F>
bool WalkStatements(sqlite3 *db, const QString &sql, QString *err, F onRows, bool *sawRows) {
  if (!db) {
    if (err) *err = QStringLiteral("The local SQL connection is not open");
    return false;
  }
  const QByteArray text = sql.toUtf8();
  const char *p = text.constData();
  const char *end = p + text.size();
  while (p < end) {
    sqlite3_stmt *st = nullptr;
    const char *tail = nullptr;
    if (sqlite3_prepare_v2(db, p, int(end - p), &st, &tail) != SQLITE_OK) {
      if (err) *err = QString::fromUtf8(sqlite3_errmsg(db));
      return false;
    }
    p = tail;
    if (!st) continue;  // blank or comment
    if (sqlite3_column_count(st) > 0 && sawRows) {
      const bool ok = onRows(st);
      sqlite3_finalize(st);
      *sawRows = true;
      return ok;
    }
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE) {
      if (err) *err = QString::fromUtf8(sqlite3_errmsg(db));
      sqlite3_finalize(st);
      return false;
    }
    sqlite3_finalize(st);
  }
  return true;
}
}  // namespace

RowSetPtr LocalSql::query(const QString &sql, QString *err) {
  RowSetPtr out;
  bool saw = false;
  const bool ok = WalkStatements(
      db_, sql, err,
      [&](sqlite3_stmt *st) {
        out = ReadSqliteRows(db_, st, err);
        return bool(out);
      },
      &saw);
  if (ok && !saw) {
    if (err) *err = QStringLiteral("The statement returns no rows");
    return nullptr;
  }
  return ok ? out : nullptr;
}

bool LocalSql::exec(const QString &sql, QString *err) {
  return WalkStatements(db_, sql, err, [](sqlite3_stmt *) { return true; }, nullptr);
}

QVariant LocalSql::scalar(const QString &sql, QString *err) {
  RowSetPtr r = query(sql, err);
  if (!r || r->rowCount() == 0 || r->fieldCount() == 0) return QVariant();
  return r->value(0, 0);
}

}  // namespace qrv::dal
