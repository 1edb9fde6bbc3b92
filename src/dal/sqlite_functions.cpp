#include "dal/sqlite_functions.h"

#include <sqlite3.h>

#include <atomic>
#include <cstdint>
#include <cstring>

#include "dal/dalutil.h"
#include "util/regex.h"

namespace qrv::dal {

namespace {

// A compiled pattern kept by SQLite as auxiliary data of the pattern argument, so that a statement
// compiles each distinct pattern once. The key guards against flag arguments that change from row to
// row while the pattern argument stays the same.
struct CachedRegex {
  QString key;
  unsigned options = 0;
  Regex re;
};

std::atomic<quint64> g_compiled{0};

void deleteCachedRegex(void *p) { delete static_cast<CachedRegex *>(p); }

QString argText(sqlite3_value *v) {
  const void *p = sqlite3_value_text16(v);
  if (!p) return QString();
  const int bytes = sqlite3_value_bytes16(v);
  return QString::fromUtf16(static_cast<const char16_t *>(p), bytes / 2);
}

// Flags come as 1/0, TRUE/FALSE (integers in SQLite) or, from hand-written SQL, as texts.
bool argBool(sqlite3_value *v) {
  switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER:
      return sqlite3_value_int64(v) != 0;
    case SQLITE_FLOAT:
      return sqlite3_value_double(v) != 0.0;
    case SQLITE_TEXT: {
      const QString t = argText(v).trimmed();
      if (t.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0) return true;
      bool ok = false;
      const double d = t.toDouble(&ok);
      return ok && d != 0.0;
    }
    default:
      return false;
  }
}

// The compiled pattern for this row: the one kept on argument 0 when its key and options agree,
// otherwise a newly compiled one, which is then kept for the next rows.
const Regex &regexFor(sqlite3_context *ctx, const QString &key, const QString &pattern, unsigned options) {
  auto *cached = static_cast<CachedRegex *>(sqlite3_get_auxdata(ctx, 0));
  if (cached && cached->options == options && cached->key == key) return cached->re;
  g_compiled.fetch_add(1, std::memory_order_relaxed);
  auto *fresh = new CachedRegex{key, options, Regex(pattern, options)};
  // SQLite owns the object from here; it may free it at once (when the argument is not constant), so
  // it is read back before use.
  sqlite3_set_auxdata(ctx, 0, fresh, deleteCachedRegex);
  cached = static_cast<CachedRegex *>(sqlite3_get_auxdata(ctx, 0));
  if (cached == fresh) return fresh->re;
  // Not kept: fall back to a per-call object owned by a thread-local slot.
  thread_local Regex scratch;
  scratch = Regex(pattern, options);
  return scratch;
}

void regexpFunc(sqlite3_context *ctx, int argc, sqlite3_value **argv) {
  if (argc != 2 || sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
    sqlite3_result_int(ctx, 0);
    return;
  }
  const QString pattern = argText(argv[0]);
  const Regex &re = regexFor(ctx, pattern, pattern, ReNone);
  sqlite3_result_int(ctx, re.isValid() && re.matches(argText(argv[1])) ? 1 : 0);
}

void doFindRegExFunc(sqlite3_context *ctx, int argc, sqlite3_value **argv) {
  if (argc != 5 || sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
    sqlite3_result_int(ctx, 0);
    return;
  }
  const QString search = argText(argv[0]);
  const bool caseSensitive = argBool(argv[2]);
  const bool regularExpression = argBool(argv[3]);
  const bool wholeWord = argBool(argv[4]);
  const QString pattern = DoFindRegExPattern(search, regularExpression, wholeWord);
  const Regex &re = regexFor(ctx, pattern, pattern, DoFindRegExOptions(caseSensitive));
  sqlite3_result_int(ctx, re.isValid() && re.matches(argText(argv[1])) ? 1 : 0);
}

}  // namespace

QString DoFindRegExPattern(const QString &search, bool regularExpression, bool wholeWord) {
  if (regularExpression) return search;
  const QString escaped = Regex::escape(search);
  return wholeWord ? QStringLiteral("\\b") + escaped + QStringLiteral("\\b") : escaped;
}

unsigned DoFindRegExOptions(bool caseSensitive) {
  return ReMultiline | ReDotAll | (caseSensitive ? 0u : unsigned(ReCaseless));
}

bool DoFindRegEx(const QString &search, const QString &text, bool caseSensitive, bool regularExpression,
                 bool wholeWord) {
  const Regex re(DoFindRegExPattern(search, regularExpression, wholeWord), DoFindRegExOptions(caseSensitive));
  return re.isValid() && re.matches(text);
}

QString DoFindRegExSql(const QString &search, const QString &textExpr, bool caseSensitive,
                       bool regularExpression, bool wholeWord) {
  auto flag = [](bool b) { return b ? QStringLiteral("1") : QStringLiteral("0"); };
  return QStringLiteral("DoFindRegEx(%1, %2, %3, %4, %5)")
      .arg(SqlQuoted(search), textExpr, flag(caseSensitive), flag(regularExpression), flag(wholeWord));
}

quint64 CompiledPatternCount() { return g_compiled.load(std::memory_order_relaxed); }

void RegisterProgramFunctions(sqlite3 *db) {
  if (!db) return;
  const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
  sqlite3_create_function_v2(db, "REGEXP", 2, flags, nullptr, regexpFunc, nullptr, nullptr, nullptr);
  sqlite3_create_function_v2(db, "DoFindRegEx", 5, flags, nullptr, doFindRegExFunc, nullptr, nullptr, nullptr);
}

namespace {

// SQLite's NOCASE folds only the ASCII letters.
inline unsigned Fold(unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32u : c; }

// Whether a word of 8 bytes holds a zero byte.
inline bool HasZeroByte(std::uint64_t v) { return ((v - 0x0101010101010101ull) & ~v & 0x8080808080808080ull) != 0; }

int noCaseCompare(void *, int n1, const void *p1, int n2, const void *p2) {
  const auto *a = static_cast<const unsigned char *>(p1);
  const auto *b = static_cast<const unsigned char *>(p2);
  const int n = n1 < n2 ? n1 : n2;
  int i = 0;
  // Equal bytes compare equal folded too: skip them a word at a time, up to the first difference or
  // zero byte (where the byte loop below stops, as SQLite's own does).
  while (i + 8 <= n) {
    std::uint64_t x, y;
    std::memcpy(&x, a + i, 8);
    std::memcpy(&y, b + i, 8);
    if (x != y || HasZeroByte(x)) break;
    i += 8;
  }
  for (; i < n; ++i) {
    if (a[i] != 0 && Fold(a[i]) == Fold(b[i])) continue;
    // Stopped at a difference or at a zero byte: equal there (two zero bytes) goes by length.
    const int r = int(Fold(a[i])) - int(Fold(b[i]));
    return r != 0 ? r : n1 - n2;
  }
  return n1 - n2;
}

}  // namespace

void RegisterFastNoCase(sqlite3 *db) {
  if (db) sqlite3_create_collation_v2(db, "NOCASE", SQLITE_UTF8, nullptr, noCaseCompare, nullptr);
}

}  // namespace qrv::dal
