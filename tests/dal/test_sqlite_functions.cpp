// REGEXP and DoFindRegEx on SQLite connections.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QTemporaryDir>
#include <random>
#include <string>

#include "dal/driver_sqlite.h"
#include "dal/sqlite_functions.h"
#include "testsupport.h"

using namespace qrv::dal;

namespace {

// An in-memory database with the program's functions.
class MemDb {
 public:
  MemDb() {
    EXPECT_EQ(sqlite3_open(":memory:", &db_), SQLITE_OK);
    RegisterProgramFunctions(db_);
  }
  ~MemDb() { sqlite3_close(db_); }
  sqlite3 *db() const { return db_; }

  void exec(const char *sql) {
    char *err = nullptr;
    const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, &err);
    ASSERT_EQ(rc, SQLITE_OK) << (err ? err : "") << " in " << sql;
  }

  // Runs a statement with text parameters and returns the first column of every row as text.
  // Fails the test on any SQL error.
  QStringList column(const QString &sql, const QList<QVariant> &params = {}) {
    QStringList out;
    sqlite3_stmt *st = nullptr;
    const QByteArray u = sql.toUtf8();
    if (sqlite3_prepare_v2(db_, u.constData(), -1, &st, nullptr) != SQLITE_OK) {
      ADD_FAILURE() << sqlite3_errmsg(db_) << " in " << u.constData();
      return out;
    }
    for (int i = 0; i < params.size(); ++i) {
      const QVariant &p = params[i];
      if (p.isNull())
        sqlite3_bind_null(st, i + 1);
      else if (p.typeId() == QMetaType::Int || p.typeId() == QMetaType::Bool)
        sqlite3_bind_int(st, i + 1, p.toInt());
      else {
        const QString s = p.toString();
        sqlite3_bind_text16(st, i + 1, s.utf16(), int(s.size() * 2), SQLITE_TRANSIENT);
      }
    }
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
      const void *t = sqlite3_column_text16(st, 0);
      out << (t ? QString::fromUtf16(static_cast<const char16_t *>(t), sqlite3_column_bytes16(st, 0) / 2)
                : QStringLiteral("<null>"));
    }
    if (rc != SQLITE_DONE) ADD_FAILURE() << sqlite3_errmsg(db_) << " in " << u.constData();
    sqlite3_finalize(st);
    return out;
  }

 private:
  sqlite3 *db_ = nullptr;
};

struct FindCase {
  const char *label;
  QString search;
  QString text;
  bool caseSensitive;
  bool regex;
  bool wholeWord;
  int expected;
};

const FindCase kFindCases[] = {
    {"escaped dot does not match any char", "a.b", "axb", false, false, false, 0},
    {"escaped dot matches itself", "a.b", "xa.bx", false, false, false, 1},
    {"regex dot matches any char", "a.b", "axb", false, true, false, 1},
    {"unbalanced parenthesis is no match", "(ab", "(ab", false, true, false, 0},
    {"unbalanced parenthesis as plain text", "(ab", "x(abx", false, false, false, 1},
    {"bracket as plain text", "a[1", "a[1]", false, false, false, 1},
    {"case ignored", "ABC", "xabcx", false, false, false, 1},
    {"case respected", "ABC", "xabcx", true, false, false, 0},
    {"case respected, same case", "abc", "xabcx", true, false, false, 1},
    {"non-ASCII case ignored", QString::fromUtf8("ÄRGER"), QString::fromUtf8("ärger"), false, false, false, 1},
    {"whole word inside a word", "cat", "concatenate", false, false, true, 0},
    {"whole word alone", "cat", "the cat sat", false, false, true, 1},
    {"part of a word without whole word", "cat", "concatenate", false, false, false, 1},
    {"whole word has no effect in regex mode", "cat", "concatenate", false, true, true, 1},
    {"regex is multi-line", "^b$", "a\nb\nc", false, true, false, 1},
    {"regex dot matches line breaks", "a.b", "a\nb", false, true, false, 1},
    {"CR LF in plain text", "x\r\ny", "1 x\r\ny 2", false, false, false, 1},
    {"CR LF needs both characters", "x\r\ny", "x\ny", false, false, false, 0},
    {"apostrophe", "it's", "so it's done", false, false, false, 1},
    {"emoji", QString::fromUtf8("🙂 ok"), QString::fromUtf8("fine 🙂 ok"), false, false, false, 1},
    {"no match", "zzz", "abc", false, false, false, 0},
    {"regex alternation", "foo|ba[rz]", "xbaz", false, true, false, 1},
};

}  // namespace

// Every case through SQL (the search and text bound as parameters, the flags as 1/0) and through the
// C++ helper: both must agree with the expected result.
TEST(SqliteFunctions, DoFindRegExCases) {
  MemDb db;
  for (const FindCase &c : kFindCases) {
    SCOPED_TRACE(c.label);
    const QStringList r = db.column(QStringLiteral("SELECT DoFindRegEx(?1, ?2, ?3, ?4, ?5)"),
                                    {c.search, c.text, int(c.caseSensitive), int(c.regex), int(c.wholeWord)});
    ASSERT_EQ(r.size(), 1);
    EXPECT_EQ(r[0].toInt(), c.expected);
    EXPECT_EQ(DoFindRegEx(c.search, c.text, c.caseSensitive, c.regex, c.wholeWord), c.expected == 1);
  }
}

// The flags arrive in several spellings from the SQL the program builds: TRUE/FALSE keywords, 1/0 and
// quoted texts.
TEST(SqliteFunctions, DoFindRegExFlagSpellings) {
  MemDb db;
  EXPECT_EQ(db.column("SELECT DoFindRegEx('ABC', 'abc', True, False, False)"), QStringList{"0"});
  EXPECT_EQ(db.column("SELECT DoFindRegEx('ABC', 'abc', False, False, False)"), QStringList{"1"});
  EXPECT_EQ(db.column("SELECT DoFindRegEx('ABC', 'abc', 'True', 'False', 'False')"), QStringList{"0"});
  EXPECT_EQ(db.column("SELECT DoFindRegEx('ABC', 'abc', 'false', '0', 'no')"), QStringList{"1"});
  EXPECT_EQ(db.column("SELECT DoFindRegEx('a.b', 'axb', 0, '1', 0)"), QStringList{"1"});
}

TEST(SqliteFunctions, NullArgumentsGiveZero) {
  MemDb db;
  EXPECT_EQ(db.column("SELECT DoFindRegEx('a', NULL, 0, 0, 0) || DoFindRegEx(NULL, 'a', 0, 0, 0) || "
                      "REGEXP(NULL, 'a') || REGEXP('a', NULL)"),
            QStringList{"0000"});
}

// The operator form "text REGEXP pattern" in a WHERE clause, an invalid pattern (no rows, no error)
// and a pattern that differs from row to row.
TEST(SqliteFunctions, RegexpInWhereClause) {
  MemDb db;
  db.exec("CREATE TABLE t (id INT, name TEXT, pat TEXT);"
          "INSERT INTO t VALUES (1, 'alpha', '^a'), (2, 'beta', 'z$'), (3, 'Alpine', 'ne$'),"
          " (4, 'gamma', '(unclosed'), (5, NULL, 'x');");
  EXPECT_EQ(db.column("SELECT id FROM t WHERE name REGEXP '^a' ORDER BY id"), QStringList{"1"});
  EXPECT_EQ(db.column("SELECT id FROM t WHERE name REGEXP '(?i)^al' ORDER BY id"), (QStringList{"1", "3"}));
  EXPECT_EQ(db.column("SELECT id FROM t WHERE name REGEXP '([a-' ORDER BY id"), QStringList{});
  EXPECT_EQ(db.column("SELECT count(*) FROM t WHERE NOT name REGEXP '([a-'"), QStringList{"5"});
  // The pattern is a column: each row is matched with its own pattern, none with a stale one.
  EXPECT_EQ(db.column("SELECT id FROM t WHERE name REGEXP pat ORDER BY id"), (QStringList{"1", "3"}));
}

// A pattern that is the same for every row is compiled once for the statement; flags that change from
// row to row with the same search text still give each row its own options.
TEST(SqliteFunctions, PatternCompiledOncePerStatement) {
  MemDb db;
  db.exec("CREATE TABLE t (v TEXT, cs INT);"
          "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2000) "
          "INSERT INTO t SELECT CASE WHEN i % 10 = 0 THEN 'xABCx' ELSE 'row ' || i END, i % 20 = 0 FROM n;");
  quint64 before = CompiledPatternCount();
  EXPECT_EQ(db.column("SELECT count(*) FROM t WHERE DoFindRegEx('abc', v, 0, 0, 0)"), QStringList{"200"});
  EXPECT_EQ(CompiledPatternCount() - before, 1u);

  before = CompiledPatternCount();
  EXPECT_EQ(db.column("SELECT count(*) FROM t WHERE v REGEXP ?1", {QStringLiteral("^x[A-Z]+x$")}),
            QStringList{"200"});
  EXPECT_EQ(CompiledPatternCount() - before, 1u);

  // Case-sensitive on every 20th row: those rows hold 'xABCx' and must not match 'abc'.
  EXPECT_EQ(db.column("SELECT count(*) FROM t WHERE DoFindRegEx('abc', v, cs, 0, 0)"), QStringList{"100"});
}

// The SQL text built for callers quotes the search text, so an apostrophe neither breaks the
// statement nor changes the search.
TEST(SqliteFunctions, BuiltCallQuotesSearchText) {
  EXPECT_EQ(DoFindRegExSql("it's", "[Name]", false, false, true), "DoFindRegEx('it''s', [Name], 0, 0, 1)");
  MemDb db;
  db.exec("CREATE TABLE t (Name TEXT); INSERT INTO t VALUES ('it''s'), ('its'), ('''); DROP TABLE t; --');");
  for (const QString &search : {QStringLiteral("it's"), QStringLiteral("'); DROP TABLE t; --")}) {
    const QString sql = QStringLiteral("SELECT Name FROM t WHERE ") + DoFindRegExSql(search, "Name", true, false, false);
    EXPECT_EQ(db.column(sql), QStringList{search});
  }
  EXPECT_EQ(db.column("SELECT count(*) FROM t"), QStringList{"3"});
}

// A user's SQLite connection opened through the driver has the functions too.
TEST(SqliteFunctions, UserConnectionHasFunctions) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  ConnectionPtr conn = CreateSqliteConnection();
  ConnParams params;
  params.set("Database", dir.filePath("user.db"));
  DbError err;
  ASSERT_TRUE(conn->open(params, &err)) << err.message.toStdString();
  auto run = [&](const QString &sql) {
    RowSet rows;
    DbError e;
    std::unique_ptr<Cursor> cur = conn->execute(sql, &e);
    EXPECT_FALSE(e.isError()) << e.message.toStdString();
    QStringList out;
    if (!cur) return out;
    if (cur->hasRows()) {
      rows = RowSet(cur->fields());
      EXPECT_GE(cur->fetch(rows, -1, &e), 0) << e.message.toStdString();
      for (qsizetype r = 0; r < rows.rowCount(); ++r) out << rows.text(r, 0);
    }
    return out;
  };
  run("CREATE TABLE city (name TEXT)");
  run("INSERT INTO city VALUES ('Oslo'), ('Osaka'), ('Lima'), ('osijek')");
  EXPECT_EQ(run("SELECT name FROM city WHERE name REGEXP '^Os' ORDER BY name"), (QStringList{"Osaka", "Oslo"}));
  EXPECT_EQ(run("SELECT name FROM city WHERE DoFindRegEx('OS', name, 0, 0, 0) ORDER BY name"),
            (QStringList{"Osaka", "Oslo", "osijek"}));
  EXPECT_EQ(run("SELECT count(*) FROM city WHERE name REGEXP 'a)'"), QStringList{"0"});
}

// The fast NOCASE must order and match exactly like SQLite's own: an index written through one is
// read through the other. Pairs share long prefixes and mix case, zero bytes, bytes above 127 and
// the characters around the ASCII letters.
TEST(FastNoCase, SameOrderAsTheBuiltInCollation) {
  sqlite3 *plain = nullptr, *fast = nullptr;
  ASSERT_EQ(sqlite3_open(":memory:", &plain), SQLITE_OK);
  ASSERT_EQ(sqlite3_open(":memory:", &fast), SQLITE_OK);
  RegisterFastNoCase(fast);
  const char *sql = "SELECT (?1 < ?2 COLLATE NOCASE) + 2 * (?1 = ?2 COLLATE NOCASE)";
  sqlite3_stmt *p = nullptr, *f = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(plain, sql, -1, &p, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_prepare_v2(fast, sql, -1, &f, nullptr), SQLITE_OK);
  auto compare = [](sqlite3_stmt *st, const std::string &a, const std::string &b) {
    sqlite3_reset(st);
    sqlite3_bind_text(st, 1, a.data(), int(a.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 2, b.data(), int(b.size()), SQLITE_TRANSIENT);
    EXPECT_EQ(sqlite3_step(st), SQLITE_ROW);
    return sqlite3_column_int(st, 0);
  };
  const std::string alphabet("aAzZ@[`{~ >\0\xC3\xBC" "b", 15);
  std::mt19937 rng(7);
  auto pick = [&](int maxLen) {
    std::string s(rng() % (maxLen + 1), ' ');
    for (char &c : s) c = alphabet[rng() % alphabet.size()];
    return s;
  };
  int unequal = 0, equalFolded = 0;
  for (int i = 0; i < 20000; ++i) {
    const std::string prefix = pick(i % 3 == 0 ? 0 : 40);
    std::string a = prefix + pick(12), b = prefix + pick(12);
    if (i % 4 == 0)  // the same text in another case
      for (char &c : b = a) c = (c >= 'a' && c <= 'z') ? char(c - 32) : c;
    const int want = compare(p, a, b), got = compare(f, a, b);
    ASSERT_EQ(got, want) << "[" << a << "] vs [" << b << "]";
    ASSERT_EQ(compare(f, b, a), compare(p, b, a)) << "[" << b << "] vs [" << a << "]";
    (want == 2 ? equalFolded : unequal)++;
  }
  EXPECT_GT(equalFolded, 1000);
  EXPECT_GT(unequal, 1000);
  sqlite3_finalize(p);
  sqlite3_finalize(f);

  // An index filled through the fast collation passes the integrity check of the built-in one.
  QTemporaryDir dir;
  const QByteArray file = dir.filePath("nocase.db").toUtf8();
  sqlite3 *w = nullptr, *r = nullptr;
  ASSERT_EQ(sqlite3_open(file.constData(), &w), SQLITE_OK);
  RegisterFastNoCase(w);
  ASSERT_EQ(sqlite3_exec(w, "CREATE TABLE t (v TEXT); CREATE INDEX ix ON t (v COLLATE NOCASE); BEGIN", nullptr,
                         nullptr, nullptr),
            SQLITE_OK);
  sqlite3_stmt *ins = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(w, "INSERT INTO t VALUES (?1)", -1, &ins, nullptr), SQLITE_OK);
  for (int i = 0; i < 5000; ++i) {
    const std::string v = "Server > Db > " + pick(30);
    sqlite3_reset(ins);
    sqlite3_bind_text(ins, 1, v.data(), int(v.size()), SQLITE_TRANSIENT);
    ASSERT_EQ(sqlite3_step(ins), SQLITE_DONE);
  }
  sqlite3_finalize(ins);
  ASSERT_EQ(sqlite3_exec(w, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(w);
  ASSERT_EQ(sqlite3_open(file.constData(), &r), SQLITE_OK);
  sqlite3_stmt *check = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(r, "PRAGMA integrity_check", -1, &check, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(check), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char *>(sqlite3_column_text(check, 0)), "ok");
  sqlite3_finalize(check);
  sqlite3_close(r);
  sqlite3_close(plain);
  sqlite3_close(fast);
}
