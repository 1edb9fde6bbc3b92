#include "dal/applyupdates.h"

#include <cmath>

#include "dal/dalutil.h"
#include "dal/storage_formats.h"

namespace qrv::dal {

namespace {

bool Is(const QString &driverId, const char *id) { return driverId.compare(QLatin1String(id), Qt::CaseInsensitive) == 0; }

bool IsBracketSystem(const QString &d) { return Is(d, "MSSQL") || Is(d, "MSAcc"); }

// Systems whose unquoted identifiers are stored in upper or lower case.
enum class Fold { None, Upper, Lower };
Fold FoldOf(const QString &d) {
  if (Is(d, "PG")) return Fold::Lower;
  if (Is(d, "FB") || Is(d, "IB") || Is(d, "IBLite") || Is(d, "Ora") || Is(d, "DB2")) return Fold::Upper;
  return Fold::None;
}

bool HasTransactions(const QString &d) { return Is(d, "SQLite") || Is(d, "PG") || Is(d, "MySQL"); }

bool IsDecimal(const QString &s) {
  qsizetype i = 0;
  if (i < s.size() && (s[i] == u'-' || s[i] == u'+')) ++i;
  bool digits = false, dot = false;
  for (; i < s.size(); ++i) {
    const char16_t c = s[i].unicode();
    if (c >= u'0' && c <= u'9') digits = true;
    else if (c == u'.' && !dot) dot = true;
    else if ((c == u'e' || c == u'E') && digits && i + 1 < s.size()) {
      ++i;
      if (s[i] == u'-' || s[i] == u'+') ++i;
      if (i >= s.size()) return false;
      for (; i < s.size(); ++i)
        if (s[i] < u'0' || s[i] > u'9') return false;
      return true;
    } else return false;
  }
  return digits;
}

bool IsMemoType(FieldType t) {
  return t == FieldType::Memo || t == FieldType::WideMemo || t == FieldType::FmtMemo || t == FieldType::OraClob;
}

// ---- A small tokenizer for SELECT texts ----

struct Tok {
  enum Kind { Ident, QIdent, Str, Num, Punct, End } kind = End;
  QString text;  // identifier name (unquoted for QIdent), punctuation character, literal text
  bool is(const char *kw) const { return kind == Ident && text.compare(QLatin1String(kw), Qt::CaseInsensitive) == 0; }
  bool punct(char c) const { return kind == Punct && text.size() == 1 && text[0] == QLatin1Char(c); }
  bool name() const { return kind == Ident || kind == QIdent; }
};

QList<Tok> Tokenize(const QString &s) {
  QList<Tok> out;
  qsizetype i = 0;
  const qsizetype n = s.size();
  auto isIdStart = [](QChar c) { return c.isLetter() || c == u'_' || c == u'@' || c == u'#'; };
  auto isId = [](QChar c) { return c.isLetterOrNumber() || c == u'_' || c == u'$' || c == u'@' || c == u'#'; };
  while (i < n) {
    const QChar c = s[i];
    if (c.isSpace()) {
      ++i;
    } else if (c == u'-' && i + 1 < n && s[i + 1] == u'-') {
      while (i < n && s[i] != u'\n') ++i;
    } else if (c == u'/' && i + 1 < n && s[i + 1] == u'*') {
      const qsizetype e = s.indexOf(QLatin1String("*/"), i + 2);
      i = e < 0 ? n : e + 2;
    } else if (c == u'\'' || c == u'"' || c == u'`' || c == u'[') {
      const QChar close = c == u'[' ? QChar(u']') : c;
      QString text;
      ++i;
      while (i < n) {
        if (s[i] == close) {
          if (i + 1 < n && s[i + 1] == close && close != u']') {
            text += close;
            i += 2;
            continue;
          }
          break;
        }
        text += s[i++];
      }
      ++i;
      out.push_back({c == u'\'' ? Tok::Str : Tok::QIdent, text});
    } else if (isIdStart(c)) {
      const qsizetype b = i;
      while (i < n && isId(s[i])) ++i;
      out.push_back({Tok::Ident, s.mid(b, i - b)});
    } else if (c.isDigit()) {
      const qsizetype b = i;
      while (i < n && (s[i].isLetterOrNumber() || s[i] == u'.')) ++i;
      out.push_back({Tok::Num, s.mid(b, i - b)});
    } else {
      out.push_back({Tok::Punct, QString(c)});
      ++i;
    }
  }
  out.push_back({Tok::End, {}});
  return out;
}

QString FoldName(const Tok &t, Fold f) {
  if (t.kind != Tok::Ident) return t.text;
  return f == Fold::Lower ? t.text.toLower() : f == Fold::Upper ? t.text.toUpper() : t.text;
}

}  // namespace

QString QuoteIdentifier(const QString &driverId, const QString &name) {
  if (IsBracketSystem(driverId)) {
    QString s = name;
    s.replace(u']', QStringLiteral("]]"));
    return u'[' + s + u']';
  }
  const QChar q = Is(driverId, "MySQL") ? QChar(u'`') : QChar(u'"');
  QString s = name;
  s.replace(q, QString(q) + q);
  return q + s + q;
}

QString QuoteTableName(const QString &driverId, const QString &schema, const QString &table) {
  return schema.isEmpty() ? QuoteIdentifier(driverId, table)
                          : QuoteIdentifier(driverId, schema) + u'.' + QuoteIdentifier(driverId, table);
}

QString SqlLiteral(const QString &driverId, const FieldDef &f, const QVariant &v) {
  if (!v.isValid() || v.isNull()) return QStringLiteral("NULL");
  auto quoted = [&](const QString &s) { return SqlQuoted(s, Is(driverId, "MySQL")); };
  switch (StorageOf(f.type)) {
    case StorageKind::Int64:
      if (f.type == FieldType::Boolean) {
        const bool b = v.typeId() == QMetaType::Bool ? v.toBool() : v.toLongLong() != 0;
        if (Is(driverId, "PG") || Is(driverId, "FB")) return b ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
        return b ? QStringLiteral("1") : QStringLiteral("0");
      }
      return QString::number(v.toLongLong());
    case StorageKind::Double: {
      const double d = v.toDouble();
      const QString t = QString::fromLatin1(storage::DoubleText(d));
      return std::isfinite(d) ? t : quoted(t);
    }
    case StorageKind::Bytes: {
      const QString hex = QString::fromLatin1(v.toByteArray().toHex());
      if (Is(driverId, "PG")) return QStringLiteral("decode('%1', 'hex')").arg(hex);
      if (IsBracketSystem(driverId)) return hex.isEmpty() ? QStringLiteral("0x") : QStringLiteral("0x") + hex;
      if (Is(driverId, "Ora")) return QStringLiteral("HEXTORAW('%1')").arg(hex);
      return QStringLiteral("X'%1'").arg(hex);
    }
    case StorageKind::Text: break;
  }
  const QString s = v.toString();
  if ((f.type == FieldType::BCD || f.type == FieldType::FMTBcd) && IsDecimal(s)) return s;
  return quoted(s);
}

bool ParseSingleTableSelect(const QString &driverId, const QString &sql, SingleTableSelect *out) {
  const QList<Tok> t = Tokenize(sql);
  const Fold fold = FoldOf(driverId);
  qsizetype i = 0;
  if (!t[i].is("SELECT")) return false;
  ++i;
  if (t[i].is("DISTINCT")) return false;
  if (t[i].is("ALL")) ++i;
  // Row limits before the list: TOP n / TOP (n), FIRST n, SKIP n.
  while (t[i].is("TOP") || t[i].is("FIRST") || t[i].is("SKIP")) {
    ++i;
    if (t[i].punct('(')) {
      int depth = 0;
      do {
        if (t[i].punct('(')) ++depth;
        else if (t[i].punct(')')) --depth;
        ++i;
      } while (depth > 0 && t[i].kind != Tok::End);
    } else {
      ++i;
    }
  }
  // The select list.
  QList<QList<Tok>> items(1);
  int depth = 0;
  for (;; ++i) {
    const Tok &k = t[i];
    if (k.kind == Tok::End) return false;
    if (depth == 0 && k.is("FROM")) break;
    if (k.punct('(')) ++depth;
    if (k.punct(')')) --depth;
    if (depth == 0 && k.punct(',')) items.push_back({});
    else items.back().push_back(k);
  }
  ++i;
  // One table name, perhaps qualified.
  QList<Tok> parts;
  if (!t[i].name()) return false;
  parts << t[i++];
  while (t[i].punct('.') && t[i + 1].name()) {
    parts << t[i + 1];
    i += 2;
  }
  static const char *const kClauses[] = {"WHERE", "ORDER", "LIMIT", "OFFSET", "FETCH", "FOR", "ROWS"};
  auto isClause = [&](const Tok &k) {
    for (const char *c : kClauses)
      if (k.is(c)) return true;
    return false;
  };
  static const char *const kStoppers[] = {"JOIN", "INNER", "LEFT", "RIGHT", "FULL", "CROSS", "NATURAL", "UNION",
                                          "INTERSECT", "EXCEPT", "MINUS", "GROUP", "HAVING", "OUTER", "APPLY"};
  // Alias.
  if (t[i].is("AS")) ++i;
  if (t[i].name() && !isClause(t[i])) {
    for (const char *s : kStoppers)
      if (t[i].is(s)) return false;
    ++i;
  }
  if (!(t[i].kind == Tok::End || t[i].punct(';') || isClause(t[i]))) return false;
  // The rest: no second table, union or grouping at the top level; one statement only.
  depth = 0;
  for (; t[i].kind != Tok::End; ++i) {
    if (t[i].punct('(')) ++depth;
    else if (t[i].punct(')')) --depth;
    else if (depth == 0 && t[i].punct(',')) return false;
    else if (depth == 0 && t[i].punct(';')) {
      if (t[i + 1].kind != Tok::End) return false;
    } else if (depth == 0) {
      for (const char *s : kStoppers)
        if (t[i].is(s)) return false;
    }
  }

  SingleTableSelect r;
  r.table = FoldName(parts.back(), fold);
  if (parts.size() >= 2) r.schema = FoldName(parts[parts.size() - 2], fold);
  for (const QList<Tok> &it : items) {
    SingleTableSelect::Item item;
    if (it.isEmpty()) return false;
    if (it.back().punct('*')) {
      r.star = true;
      r.items << item;
      continue;
    }
    // name(.name)* [[AS] alias]
    qsizetype j = 0;
    bool plain = it[0].name();
    QString column;
    if (plain) {
      column = FoldName(it[0], fold);
      j = 1;
      while (j + 1 < it.size() && it[j].punct('.') && it[j + 1].name()) {
        column = FoldName(it[j + 1], fold);
        j += 2;
      }
      if (j < it.size() && it[j].is("AS")) ++j;
      if (j < it.size() && it[j].name() && j + 1 == it.size()) {
        item.alias = FoldName(it[j], fold);
        ++j;
      }
      plain = j == it.size();
    }
    if (plain) {
      item.column = column;
      if (item.alias.isEmpty()) item.alias = column;
    } else if (it.size() >= 2 && it[it.size() - 1].name() && it[it.size() - 2].is("AS")) {
      item.alias = FoldName(it.back(), fold);
    }
    r.items << item;
  }
  *out = r;
  return true;
}

namespace {

bool SameName(const QString &a, const QString &b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

// The field is a column of the table the changes are written to.
bool InTarget(const MemTable &t, const FieldDef &f) {
  if (f.originTable.isEmpty()) return !f.readOnly;
  return SameName(f.originTable, t.updateTable()) &&
         (f.originSchema.isEmpty() || t.updateSchema().isEmpty() || SameName(f.originSchema, t.updateSchema()));
}

bool Writable(const MemTable &t, const FieldDef &f) { return !f.readOnly && InTarget(t, f); }

QString ColumnName(const FieldDef &f) { return f.originColumn.isEmpty() ? f.name : f.originColumn; }

// Whether "column = value" finds the row again on this system.
bool Comparable(const QString &d, const FieldDef &f, const QVariant &original) {
  if (f.type == FieldType::Single || f.type == FieldType::Currency) return false;  // rounded on the way
  if (StorageOf(f.type) == StorageKind::Double && original.isValid() && !std::isfinite(original.toDouble()))
    return false;
  if (IsBinaryType(f.type) || IsMemoType(f.type) || f.type == FieldType::OraBlob)
    return Is(d, "SQLite") || Is(d, "PG") || Is(d, "MySQL");
  return true;
}

QString WhereClause(const MemTable &t, const QString &d, qsizetype row, QString *err) {
  QStringList conds;
  for (int c = 0; c < t.fieldCount(); ++c) {
    const FieldDef &f = t.fields()[c];
    if (!InTarget(t, f)) continue;
    const QVariant v = t.originalValue(row, c);
    if (!Comparable(d, f, v)) continue;
    const QString col = QuoteIdentifier(d, ColumnName(f));
    conds << (v.isValid() ? col + QStringLiteral(" = ") + SqlLiteral(d, f, v) : col + QStringLiteral(" IS NULL"));
  }
  if (conds.isEmpty()) {
    if (err) *err = QStringLiteral("The record has no column by which it can be found");
    return QString();
  }
  return QStringLiteral(" WHERE ") + conds.join(QStringLiteral(" AND "));
}

QString Target(const MemTable &t, const QString &d) { return QuoteTableName(d, t.updateSchema(), t.updateTable()); }

}  // namespace

bool ResolveUpdateTable(MemTable &t, const QString &driverId, const QString &selectSql, QString *err) {
  if (!t.active()) {
    if (err) *err = QStringLiteral("The data set is not open");
    return false;
  }
  FieldDefs &fields = t.rows()->fields();
  auto markOthers = [&]() {
    for (FieldDef &f : fields)
      if (!f.originTable.isEmpty() && !InTarget(t, f)) f.readOnly = true;
  };
  if (!t.updateTable().isEmpty()) {
    markOthers();
    return true;
  }
  for (const FieldDef &f : fields) {
    if (f.originTable.isEmpty()) continue;
    t.setUpdateTable(f.originSchema, f.originTable);
    for (FieldDef &g : fields)
      if (g.originTable.isEmpty() || g.originColumn.isEmpty() || !InTarget(t, g)) g.readOnly = true;
    return true;
  }
  SingleTableSelect s;
  if (!ParseSingleTableSelect(driverId, selectSql, &s) || (!s.star && s.items.size() != fields.size())) {
    if (err) *err = QStringLiteral("The changes cannot be saved: the table the data come from is not known");
    return false;
  }
  t.setUpdateTable(s.schema, s.table);
  for (int c = 0; c < fields.size(); ++c) {
    FieldDef &f = fields[c];
    QString column;
    if (s.star) {
      // Expressions next to * are known by their alias; every other field is a column of the table.
      bool expression = false;
      for (const auto &it : s.items)
        if (it.column.isEmpty() && !it.alias.isEmpty() && SameName(it.alias, f.name)) expression = true;
      if (!expression) column = f.name;
      for (const auto &it : s.items)
        if (!it.column.isEmpty() && SameName(it.alias, f.name)) column = it.column;
    } else {
      column = s.items[c].column;
    }
    if (column.isEmpty()) {
      f.readOnly = true;
      continue;
    }
    f.originSchema = s.schema;
    f.originTable = s.table;
    f.originColumn = column;
  }
  return true;
}

bool ResolveUpdateTable(MemTable &t, Connection &conn, const QString &selectSql, QString *err) {
  if (t.active() && t.updateTable().isEmpty()) {
    DbError e;
    if (!conn.resolveOrigins(t.rows()->fields(), &e)) {
      if (err) *err = e.message;
      return false;
    }
  }
  return ResolveUpdateTable(t, conn.driverId(), selectSql, err);
}

QString BuildInsertSql(const MemTable &t, const QString &d, qsizetype row, QString *) {
  QStringList cols, vals;
  for (int c = 0; c < t.fieldCount(); ++c) {
    const FieldDef &f = t.fields()[c];
    if (!Writable(t, f)) continue;
    const QVariant v = t.rowValue(row, c);
    if (f.autoInc && !v.isValid()) continue;
    cols << QuoteIdentifier(d, ColumnName(f));
    vals << SqlLiteral(d, f, v);
  }
  if (cols.isEmpty())
    return QStringLiteral("INSERT INTO %1 %2").arg(Target(t, d), Is(d, "MySQL") ? QStringLiteral("() VALUES ()")
                                                                               : QStringLiteral("DEFAULT VALUES"));
  return QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
      .arg(Target(t, d), cols.join(QStringLiteral(", ")), vals.join(QStringLiteral(", ")));
}

QString BuildUpdateSql(const MemTable &t, const QString &d, qsizetype row, QString *err) {
  QStringList sets;
  for (int c = 0; c < t.fieldCount(); ++c) {
    const FieldDef &f = t.fields()[c];
    if (!Writable(t, f)) continue;
    const QVariant now = t.rowValue(row, c), was = t.originalValue(row, c);
    if (now == was && now.isValid() == was.isValid()) continue;
    sets << QuoteIdentifier(d, ColumnName(f)) + QStringLiteral(" = ") + SqlLiteral(d, f, now);
  }
  if (sets.isEmpty()) return QString();  // nothing to write
  const QString where = WhereClause(t, d, row, err);
  if (where.isEmpty()) return QString();
  return QStringLiteral("UPDATE %1 SET %2%3").arg(Target(t, d), sets.join(QStringLiteral(", ")), where);
}

QString BuildDeleteSql(const MemTable &t, const QString &d, qsizetype row, QString *err) {
  const QString where = WhereClause(t, d, row, err);
  if (where.isEmpty()) return QString();
  return QStringLiteral("DELETE FROM %1%2").arg(Target(t, d), where);
}

ApplyResult ApplyUpdates(MemTable &t, Connection &conn) {
  ApplyResult res;
  std::vector<qsizetype> failed;
  t.post();
  const QString d = conn.driverId();
  const bool tx = HasTransactions(d);
  auto run = [&](const QString &sql, DbError *e) -> qint64 {
    std::unique_ptr<Cursor> cur = conn.execute(sql, e);
    if (e->isError() || !cur) {
      if (!e->isError()) e->message = QStringLiteral("The statement could not be executed");
      return -2;
    }
    return cur->rowsAffected();
  };
  for (const MemTable::PendingChange &ch : t.pendingChanges()) {
    QString err;
    QString sql;
    switch (ch.kind) {
      case UpdateStatus::Inserted: sql = BuildInsertSql(t, d, ch.row, &err); break;
      case UpdateStatus::Modified: sql = BuildUpdateSql(t, d, ch.row, &err); break;
      default: sql = BuildDeleteSql(t, d, ch.row, &err); break;
    }
    const qsizetype recNo = t.recordNumberOfRow(ch.row);
    auto fail = [&](const QString &msg) {
      failed.push_back(ch.row);
      ++res.failed;
      res.errors << QStringLiteral("Record %1: %2").arg(recNo).arg(msg);
    };
    if (sql.isEmpty()) {
      if (err.isEmpty()) ++res.applied;  // an edit that changed nothing in the end
      else fail(err);
      continue;
    }
    DbError e;
    if (tx) {
      run(Is(d, "MySQL") ? QStringLiteral("START TRANSACTION") : QStringLiteral("BEGIN"), &e);
      if (e.isError()) {
        fail(e.message);
        continue;
      }
    }
    const qint64 n = run(sql, &e);
    QString problem;
    if (e.isError()) problem = e.message;
    else if (n == 0) problem = QStringLiteral("The record was not found: another user changed or deleted it");
    else if (n > 1)
      problem = tx ? QStringLiteral("The statement would change %1 records instead of one; nothing was changed").arg(n)
                   : QStringLiteral("The statement changed %1 records instead of one").arg(n);
    if (tx) {
      DbError e2;
      run(problem.isEmpty() ? QStringLiteral("COMMIT") : QStringLiteral("ROLLBACK"), &e2);
      if (problem.isEmpty() && e2.isError()) problem = e2.message;
    }
    if (problem.isEmpty()) ++res.applied;
    else fail(problem);
  }
  t.mergeChangeLog(failed);
  return res;
}

}  // namespace qrv::dal
