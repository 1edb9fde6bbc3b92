#include "dal/scriptengine.h"

#include <sqlite3.h>

#include <algorithm>
#include <vector>

#include "util/regex.h"

namespace qrv::dal {

ScriptDialect DialectOfDriver(const QString &driverId) {
  static const struct {
    const char *id;
    ScriptDialect dialect;
  } kMap[] = {
      {"SQLite", ScriptDialect::SQLite}, {"PG", ScriptDialect::PostgreSQL}, {"MySQL", ScriptDialect::MySQL},
      {"MSSQL", ScriptDialect::MSSQL},   {"FB", ScriptDialect::Firebird},   {"IB", ScriptDialect::Firebird},
      {"IBLite", ScriptDialect::Firebird}, {"Ora", ScriptDialect::Oracle},
  };
  for (const auto &m : kMap)
    if (driverId.compare(QLatin1String(m.id), Qt::CaseInsensitive) == 0) return m.dialect;
  return ScriptDialect::Generic;
}

namespace {

bool IsIdentChar(QChar c) { return c.isLetterOrNumber() || c == u'_' || c == u'$'; }
// Word characters without "$", which may start a dollar quote or belong to a delimiter such as "$$".
bool IsWordChar(QChar c) { return c.isLetterOrNumber() || c == u'_'; }

// Cuts a script, keeping track of the delimiter, strings and comments of one dialect.
class Splitter {
 public:
  Splitter(const QString &s, ScriptDialect d) : s_(s), d_(d), n_(s.size()) {
    if (d_ != ScriptDialect::MSSQL) delim_ = QStringLiteral(";");
    for (qsizetype i = 0; i < n_; ++i)
      if (s_.at(i) == u'\n') breaks_.push_back(i);
  }

  QList<ScriptStatement> run() {
    qsizetype i = 0;
    while (i < n_) {
      if (i == 0 || s_.at(i - 1) == u'\n') {
        const qsizetype after = lineDirective(i);
        if (after >= 0) {
          i = after;
          continue;
        }
      }
      i = step(i);
    }
    flush(n_);
    return out_;
  }

 private:
  QChar at(qsizetype i) const { return i < n_ ? s_.at(i) : QChar(); }

  qsizetype lineEnd(qsizetype i) const {
    const qsizetype e = s_.indexOf(u'\n', i);
    return e < 0 ? n_ : e;
  }

  int lineOf(qsizetype pos) const {
    return int(std::lower_bound(breaks_.begin(), breaks_.end(), pos) - breaks_.begin()) + 1;
  }

  // A line that is a directive rather than SQL: returns the position after it, or -1.
  qsizetype lineDirective(qsizetype i) {
    const qsizetype e = lineEnd(i);
    const QString line = s_.mid(i, e - i).trimmed();
    if (line.isEmpty()) return -1;
    if (d_ == ScriptDialect::MySQL) {
      static const Regex re(QStringLiteral("^delimiter\\s+(\\S+)"), ReCaseless);
      RegexMatch m;
      if (re.match(line, &m)) {
        flush(i);
        delim_ = m.captured(1);
        return e;
      }
    }
    if (d_ == ScriptDialect::MSSQL || d_ == ScriptDialect::Generic) {
      static const Regex re(QStringLiteral("^go(\\s+\\d+)?$"), ReCaseless);
      if (re.matches(line)) {
        flush(i);
        return e;
      }
    }
    if (d_ == ScriptDialect::Oracle && line == QLatin1String("/")) {
      flush(i);
      return e;
    }
    return -1;
  }

  void markCode(qsizetype i) {
    if (hasCode_) return;
    hasCode_ = true;
    codeStart_ = i;
    if (d_ == ScriptDialect::Oracle) plsql_ = startsPlsqlBlock(i);
  }

  // The words at the start of a statement, upper case.
  QStringList leadingWords(qsizetype i, int count) const {
    QStringList words;
    while (i < n_ && words.size() < count) {
      while (i < n_ && at(i).isSpace()) ++i;
      const qsizetype b = i;
      while (i < n_ && IsIdentChar(at(i))) ++i;
      if (i == b) break;
      words << s_.mid(b, i - b).toUpper();
    }
    return words;
  }

  bool startsPlsqlBlock(qsizetype i) const {
    QStringList w = leadingWords(i, 6);
    if (w.isEmpty()) return false;
    if (w[0] == QLatin1String("DECLARE") || w[0] == QLatin1String("BEGIN")) return true;
    if (w[0] != QLatin1String("CREATE")) return false;
    int k = 1;
    if (w.value(k) == QLatin1String("OR") && w.value(k + 1) == QLatin1String("REPLACE")) k += 2;
    static const QStringList editions = {QStringLiteral("EDITIONABLE"), QStringLiteral("NONEDITIONABLE"),
                                         QStringLiteral("EDITIONING")};
    if (editions.contains(w.value(k))) ++k;
    static const QStringList blocks = {QStringLiteral("FUNCTION"), QStringLiteral("PROCEDURE"),
                                       QStringLiteral("PACKAGE"),  QStringLiteral("TRIGGER"),
                                       QStringLiteral("TYPE"),     QStringLiteral("LIBRARY"),
                                       QStringLiteral("JAVA")};
    return blocks.contains(w.value(k));
  }

  // Position after a quoted token starting at i with the quote character q (closing character close).
  qsizetype skipQuoted(qsizetype i, QChar close, bool backslashEscapes) const {
    qsizetype j = i + 1;
    while (j < n_) {
      const QChar c = s_.at(j);
      if (backslashEscapes && c == u'\\') {
        j += 2;
        continue;
      }
      if (c == close) {
        if (at(j + 1) == close) {
          j += 2;
          continue;
        }
        return j + 1;
      }
      ++j;
    }
    return n_;
  }

  // Length of a dollar-quote tag ($$ or $tag$) at i, 0 when none.
  qsizetype dollarTag(qsizetype i) const {
    if (i > 0 && IsIdentChar(s_.at(i - 1))) return 0;
    qsizetype j = i + 1;
    if (j < n_ && (at(j).isLetter() || at(j) == u'_')) {
      ++j;
      while (j < n_ && (at(j).isLetterOrNumber() || at(j) == u'_')) ++j;
    }
    return at(j) == u'$' ? j - i + 1 : 0;
  }

  bool atDelimiter(qsizetype i) const {
    if (delim_.isEmpty() || QStringView(s_).mid(i, delim_.size()) != delim_) return false;
    if (d_ == ScriptDialect::Oracle && plsql_) return false;
    if (d_ == ScriptDialect::SQLite && hasCode_ && delim_ == QLatin1String(";")) {
      // Inside CREATE TRIGGER ... BEGIN ... END the semicolons belong to the trigger body.
      const QByteArray text = s_.mid(codeStart_, i + 1 - codeStart_).toUtf8();
      return sqlite3_complete(text.constData()) != 0;
    }
    return true;
  }

  // Processes the token at i; returns the position after it.
  qsizetype step(qsizetype i) {
    const QChar c = s_.at(i);
    const QChar next = at(i + 1);
    // Comments
    if (c == u'-' && next == u'-') {
      if (d_ != ScriptDialect::MySQL || i + 2 >= n_ || at(i + 2).unicode() <= 32) return lineEnd(i);
    }
    if (c == u'#' && d_ == ScriptDialect::MySQL) return lineEnd(i);
    if (c == u'/' && next == u'*') {
      if (d_ == ScriptDialect::MySQL && at(i + 2) == u'!') markCode(i);  // executable comment
      int depth = 1;
      qsizetype j = i + 2;
      while (j < n_ && depth > 0) {
        if (s_.at(j) == u'*' && at(j + 1) == u'/') {
          --depth;
          j += 2;
        } else if (d_ == ScriptDialect::PostgreSQL && s_.at(j) == u'/' && at(j + 1) == u'*') {
          ++depth;
          j += 2;
        } else {
          ++j;
        }
      }
      return j;
    }
    if (atDelimiter(i)) {
      flush(i);
      return i + delim_.size();
    }
    if (c.isSpace()) return i + 1;
    markCode(i);
    const bool mysql = d_ == ScriptDialect::MySQL;
    if (c == u'\'') {
      bool escapes = mysql;
      if (d_ == ScriptDialect::PostgreSQL && i > 0 && (s_.at(i - 1) == u'e' || s_.at(i - 1) == u'E') &&
          (i < 2 || !IsIdentChar(s_.at(i - 2))))
        escapes = true;
      return skipQuoted(i, c, escapes);
    }
    if (c == u'"') return skipQuoted(i, c, mysql);
    if (c == u'`' && (mysql || d_ == ScriptDialect::SQLite || d_ == ScriptDialect::Generic))
      return skipQuoted(i, c, false);
    if (c == u'[' && (d_ == ScriptDialect::MSSQL || d_ == ScriptDialect::SQLite)) return skipQuoted(i, u']', false);
    if (c == u'$' && d_ == ScriptDialect::PostgreSQL) {
      const qsizetype len = dollarTag(i);
      if (len > 0) {
        const qsizetype close = s_.indexOf(QStringView(s_).mid(i, len), i + len);
        return close < 0 ? n_ : close + len;
      }
    }
    if (IsWordChar(c)) {  // a whole word at once, so a delimiter is never found inside a name
      qsizetype j = i + 1;
      while (j < n_ && IsWordChar(s_.at(j))) ++j;
      return j;
    }
    return i + 1;
  }

  void flush(qsizetype end) {
    if (hasCode_) {
      const QString text = s_.mid(codeStart_, end - codeStart_).trimmed();
      static const Regex setTerm(QStringLiteral("^SET\\s+TERM\\s+(\\S+)$"), ReCaseless);
      RegexMatch m;
      if (d_ == ScriptDialect::Firebird && setTerm.match(text, &m))
        delim_ = m.captured(1);
      else if (!text.isEmpty())
        out_.append({text, lineOf(codeStart_)});
    }
    hasCode_ = false;
    plsql_ = false;
    codeStart_ = -1;
  }

  const QString &s_;
  const ScriptDialect d_;
  const qsizetype n_;
  QString delim_;
  std::vector<qsizetype> breaks_;
  QList<ScriptStatement> out_;
  bool hasCode_ = false;
  bool plsql_ = false;
  qsizetype codeStart_ = -1;
};

bool IsLargeType(FieldType t) {
  switch (t) {
    case FieldType::Blob: case FieldType::Memo: case FieldType::Graphic: case FieldType::FmtMemo:
    case FieldType::ParadoxOle: case FieldType::DBaseOle: case FieldType::TypedBinary: case FieldType::OraBlob:
    case FieldType::OraClob: case FieldType::WideMemo:
      return true;
    default:
      return false;
  }
}

// UTF-8 bytes cut to at most max bytes, on a character boundary.
QByteArrayView CutUtf8(QByteArrayView v, int max, bool *cut) {
  *cut = v.size() > max;
  if (!*cut) return v;
  qsizetype len = max;
  while (len > 0 && (quint8(v.at(len)) & 0xC0) == 0x80) --len;
  return v.first(len);
}

}  // namespace

QList<ScriptStatement> SplitScript(const QString &script, ScriptDialect dialect) {
  return Splitter(script, dialect).run();
}

ScriptEngine::ScriptEngine(Connection *conn, OutputFn output)
    : ScriptEngine(conn, std::move(output), conn ? DialectOfDriver(conn->driverId()) : ScriptDialect::Generic) {}

ScriptEngine::ScriptEngine(Connection *conn, OutputFn output, ScriptDialect dialect)
    : conn_(conn), out_(std::move(output)), dialect_(dialect) {}

void ScriptEngine::abort() {
  abort_.store(true);
  if (Connection *c = conn_) c->cancel();
}

void ScriptEngine::emitLines(ScriptOutputKind kind, const QString &text) {
  if (!out_) return;
  QString t = text;
  t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  t.replace(u'\r', u'\n');
  for (const QString &line : t.split(u'\n')) out_(kind, line);
}

void ScriptEngine::echo(const QString &sql) {
  QString shown = sql;
  if (shown.size() > opts_.echoLimit) shown = shown.left(std::max(0, opts_.echoLimit - 3)) + QStringLiteral("...");
  emitLines(ScriptOutputKind::Echo, shown);
}

void ScriptEngine::flushMessages() {
  if (!conn_) return;
  for (const QString &m : conn_->takeMessages()) emitLines(ScriptOutputKind::Message, m);
}

QString ScriptEngine::cellText(const RowSet &rs, qsizetype row, int col) const {
  if (rs.isNull(row, col)) return QStringLiteral("(null)");
  const FieldType t = rs.fields().at(col).type;
  const bool large = IsLargeType(t);
  QString text;
  if (IsBinaryType(t) || rs.storage(col) == StorageKind::Bytes) {
    const QByteArrayView all = rs.bytes(row, col);
    const bool cut = large && all.size() > opts_.largeValueBytes;
    const QByteArrayView v = cut ? all.first(opts_.largeValueBytes) : all;
    text = QStringLiteral("0x") + QString::fromLatin1(v.toByteArray().toHex().toUpper());
    if (cut) text += QStringLiteral("...");
  } else if (large && rs.storage(col) == StorageKind::Text) {
    bool cut = false;
    const QByteArrayView v = CutUtf8(rs.utf8(row, col), opts_.largeValueBytes, &cut);
    text = QString::fromUtf8(v);
    if (cut) text += QStringLiteral("...");
  } else {
    text = rs.text(row, col);
  }
  text.replace(QLatin1String("\r\n"), QLatin1String(" "));
  text.replace(u'\r', u' ');
  text.replace(u'\n', u' ');
  text.replace(u'\t', u' ');
  return text;
}

bool ScriptEngine::printRows(Cursor &cur, DbError *err) {
  const FieldDefs fields = cur.fields();
  const int nf = int(fields.size());
  const int pageSize = std::max(1, opts_.pageSize);
  qint64 total = 0;
  for (bool first = true;; first = false) {
    if (abort_.load()) break;
    RowSet page(fields);
    const qint64 got = cur.fetch(page, pageSize, err);
    if (got < 0) return false;
    if (got == 0 && !first) break;
    std::vector<QStringList> cells(size_t(page.rowCount()));
    QList<int> widths(nf);
    for (int c = 0; c < nf; ++c) widths[c] = int(fields[c].name.size());
    for (qsizetype r = 0; r < page.rowCount(); ++r) {
      QStringList &line = cells[size_t(r)];
      for (int c = 0; c < nf; ++c) {
        line << cellText(page, r, c);
        widths[c] = std::max(widths[c], int(line.last().size()));
      }
    }
    auto format = [&](const QStringList &values, bool header) {
      QString s;
      for (int c = 0; c < nf; ++c) {
        if (c) s += QStringLiteral(" | ");
        const bool right = !header && IsRightAlignedType(page.fields()[c].type);
        s += right ? values[c].rightJustified(widths[c]) : values[c].leftJustified(widths[c]);
      }
      while (s.endsWith(u' ')) s.chop(1);
      return s;
    };
    QStringList names;
    QString rule;
    for (int c = 0; c < nf; ++c) {
      names << fields[c].name;
      if (c) rule += QStringLiteral("-+-");
      rule += QString(widths[c], u'-');
    }
    if (!first) emitLines(ScriptOutputKind::Rows, QString());
    emitLines(ScriptOutputKind::Rows, format(names, true));
    emitLines(ScriptOutputKind::Rows, rule);
    for (const QStringList &line : cells) emitLines(ScriptOutputKind::Rows, format(line, false));
    total += got;
    if (got == 0) break;
  }
  emitLines(ScriptOutputKind::Info, QStringLiteral("%1 rows selected.").arg(total));
  return true;
}

ScriptEngine::Result ScriptEngine::run(const QString &script) {
  Result res;
  abort_.store(false);
  const QList<ScriptStatement> statements = SplitScript(script, dialect_);
  auto reportError = [&](const DbError &e) {
    ++res.errors;
    emitLines(ScriptOutputKind::Error, QStringLiteral("Error: ") + e.message);
  };
  for (const ScriptStatement &st : statements) {
    if (abort_.load()) {
      res.aborted = true;
      break;
    }
    if (&st != &statements.first()) emitLines(ScriptOutputKind::Info, QString());  // a blank line between statements
    echo(st.sql);
    if (!conn_ || !conn_->isOpen()) {
      ++res.errors;
      emitLines(ScriptOutputKind::Error, QStringLiteral("Error: Not connected"));
      if (opts_.stopOnError) break;
      continue;
    }
    ++res.statements;
    DbError err;
    std::unique_ptr<Cursor> cur = conn_->execute(st.sql, &err);
    bool failed = false;
    if (!cur) {
      if (!err.isError()) err.message = QStringLiteral("The statement returned no result");
      flushMessages();
      reportError(err);
      failed = true;
    } else {
      for (;;) {
        if (cur->hasRows()) {
          DbError fe;
          if (!printRows(*cur, &fe)) {
            flushMessages();
            reportError(fe);
            failed = true;
            break;
          }
        } else if (cur->rowsAffected() >= 0) {
          emitLines(ScriptOutputKind::Info, QStringLiteral("%1 rows affected.").arg(cur->rowsAffected()));
        }
        flushMessages();
        if (abort_.load()) break;
        DbError ne;
        if (!cur->nextResult(&ne)) {
          if (ne.isError()) {
            reportError(ne);
            failed = true;
          }
          break;
        }
      }
      cur.reset();
      flushMessages();
    }
    if (abort_.load()) {
      res.aborted = true;
      emitLines(ScriptOutputKind::Info, QStringLiteral("Script aborted."));
      break;
    }
    if (failed && opts_.stopOnError) break;
  }
  return res;
}

}  // namespace qrv::dal
