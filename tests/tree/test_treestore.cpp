// The Tree table and its operations: storage, look-up, subtree deletion, start state, path helpers.
#include <gtest/gtest.h>

#include <QFile>

#include "testsupport.h"
#include "tree/treekinds.h"
#include "tree/treestore.h"
#include "treestore_fixture.h"

using qrvtest::TreeDb;

// The tables have the columns the rest of the program inserts by position; creating them again, or on
// the delivered database, changes nothing.
TEST(TreeStore, TablesHaveTheirColumnsInOrder) {
  TreeDb t;
  EXPECT_EQ(t.rows("SELECT name || ':' || type FROM pragma_table_info('Tree') ORDER BY cid"),
            (QStringList{"Name:TEXT", "FullName:TEXT", "Visible:INT", "Type:INT", "Level:INT", "Expanded:INT",
                         "Info:TEXT"}));
  EXPECT_EQ(t.rows("SELECT name FROM pragma_table_info('FilterRes') ORDER BY cid"),
            (QStringList{"FullName", "Type", "Name", "Info"}));
  t.exec("INSERT INTO Tree VALUES ('x', 'R > x', 1, 1, 1, 0, '')");
  EXPECT_EQ(t.store().ensureTables(), QString());
  EXPECT_EQ(t.rows("SELECT count(*) FROM Tree"), QStringList{"1"});

  // The delivered schema: its indexes are kept, none appears twice.
  TreeDb delivered;
  delivered.exec("DROP TABLE Tree; DROP TABLE FilterRes;");
  QFile sql(qrvtest::SourceDir() + "/resources/qrv.sql");
  ASSERT_TRUE(sql.open(QIODevice::ReadOnly)) << sql.fileName().toStdString();
  delivered.exec(QString::fromUtf8(sql.readAll()));
  EXPECT_EQ(delivered.store().ensureTables(), QString());
  EXPECT_EQ(delivered.rows("SELECT name FROM sqlite_master WHERE type = 'index' AND tbl_name = 'Tree' ORDER BY name"),
            (QStringList{"IX_Tree_FullName", "IX_Tree_Shown", "IX_Tree_Top"}));
}

// Names of any script, with quotes, wildcards or emoji, go in and come out unchanged and are found;
// the look-up ignores case but nothing else.
TEST(TreeStore, AppendAndFindKeepTextsUnchanged) {
  TreeDb t;
  const QStringList names = {
      "O'Brien's \"db\"",
      QString::fromUtf8("Продажи"),
      QString::fromUtf8("販売データ"),
      QString::fromUtf8("emoji 🚀🙂"),
      "100% _done_ \\ [x]",
      "'; DROP TABLE Tree; --",
  };
  for (const QString &n : names) {
    SCOPED_TRACE(n.toStdString());
    const QString full = "PostgreSQL > conn > " + n;
    ASSERT_TRUE(t.store().AppendRecordToTree(n, full, true, qrv::TreeKind::Database, 2, false, n + " (1)"));
    EXPECT_EQ(t.rows("SELECT Name, Info, Visible, Type, Level, Expanded FROM Tree WHERE FullName = ?1", {full}),
              QStringList{n + "|" + n + " (1)|1|2|2|0"});
    EXPECT_TRUE(t.store().FindTreeId(full));
  }
  t.store().AppendRecordToTree("PostgreSQL", "PostgreSQL", true, qrv::TreeKind::Rdbms, 0, true, QString());

  struct Lookup {
    QString fullName;
    bool found;
  };
  const Lookup lookups[] = {
      {"postgresql", true},
      {"POSTGRESQL > CONN > o'brien's \"DB\"", true},
      {"PostgreSQL ", false},
      {"Postgre", false},
      {"PostgreSQL > conn > O'Brien", false},
      {"PostgreSQL > conn > 100% _done_ \\ [y]", false},
      {"PostgreSQL > conn > 100_ %done% \\ [x]", false},
      {"%", false},
      {"", false},
  };
  for (const Lookup &l : lookups) {
    QString error;
    EXPECT_EQ(t.store().FindTreeId(l.fullName, &error), l.found) << l.fullName.toStdString();
    EXPECT_EQ(error, QString());
  }
  EXPECT_EQ(t.rows("SELECT count(*) FROM Tree"), QStringList{QString::number(names.size() + 1)});
}

TEST(TreeStore, ErrorsOfLookupAndDeleteReachTheCaller) {
  TreeDb t;
  t.exec("DROP TABLE Tree");
  QString error;
  EXPECT_FALSE(t.store().FindTreeId("A", &error));
  EXPECT_TRUE(error.contains("Tree")) << error.toStdString();
  EXPECT_TRUE(t.store().DeleteFromTreeById("A").contains("Tree"));
  // The insert swallows its error.
  EXPECT_FALSE(t.store().AppendRecordToTree("A", "A", true, 0, 0, true, QString()));
}

namespace {
// Rows around the item "A > B": same prefix in other cases, longer sibling names, siblings sorting
// between "A > B > " and "A > B >!", quotes and emoji.
const QStringList kDeleteRows = {
    "A",
    "A > B",
    "a > b > C",
    "A > B > C > D",
    "A > b > x'y",
    "A > BC",
    "A > Bb",
    "A > B>",
    "A > B  > C",
    "A > B !",
    "A > B > ",
    "A > B > > deep",
    "A > B",  // an exact duplicate
    "AB",
    "B > A > B",
    QString::fromUtf8("A > B😀 > C"),
    QString::fromUtf8("😀 > É > x"),
    QString::fromUtf8("😀 > é > x"),
    QString::fromUtf8("😀 > É"),
    "O'Hara > db",
    "O'Hara > db > s",
    "o'hara > DB2",
};
}  // namespace

// The subtree deletion gives the same result as comparing the first (length + 3) characters of
// FullName || ' > ' with the item's name and " > " ignoring case, for every item of a table of names.
TEST(TreeStore, DeleteMatchesPrefixComparison) {
  const QStringList targets = {"A > B",          "a > b",      "A",           "A > B > C", "A > BC",
                               "A > B > ",        "O'Hara",     "o'hara > DB", "AB",        "missing",
                               QString::fromUtf8("😀"), QString::fromUtf8("😀 > É"), ""};
  for (const QString &target : targets) {
    SCOPED_TRACE(target.toStdString());
    TreeDb t;
    for (const QString &r : kDeleteRows) t.add(r);
    t.exec("CREATE TABLE Ref AS SELECT * FROM Tree");
    const int len = int(target.toUcs4().size());
    t.rows(QStringLiteral("DELETE FROM Ref WHERE SUBSTRING(FullName || ' > ', 1, %1) = ?1 COLLATE NOCASE").arg(len + 3),
           {target + " > "});
    const QStringList expected = t.fullNames("Ref");
    qint64 removed = -1;
    EXPECT_EQ(t.store().DeleteFromTreeById(target, &removed), QString());
    EXPECT_EQ(t.fullNames(), expected);
    EXPECT_EQ(removed, kDeleteRows.size() - expected.size());
  }
}

// The headline case spelled out, and the one name the plain prefix comparison gets wrong: deleting
// "A > B" must not take the sibling "B >" (full name "A > B >") with it.
TEST(TreeStore, DeleteRemovesItemAndDescendantsOnly) {
  TreeDb t;
  for (const char *r : {"A", "A > B", "a > b > C", "A > BC", "A > BC > D", "A > B >"}) t.add(r);
  t.exec("CREATE TABLE Ref AS SELECT * FROM Tree;"
         "DELETE FROM Ref WHERE SUBSTRING(FullName || ' > ', 1, 8) = 'A > B > ' COLLATE NOCASE");
  EXPECT_EQ(t.fullNames("Ref"), (QStringList{"A", "A > BC", "A > BC > D"}));
  EXPECT_EQ(t.store().DeleteFromTreeById("A > B"), QString());
  EXPECT_EQ(t.fullNames(), (QStringList{"A", "A > B >", "A > BC", "A > BC > D"}));
  EXPECT_FALSE(t.store().FindTreeId("a > b > c"));
  EXPECT_TRUE(t.store().FindTreeId("A > BC"));
}

namespace {
// Counts full-table-scan steps of the store's own statements since the previous call.
qint64 fullScanSteps(sqlite3 *db) {
  qint64 n = 0;
  for (sqlite3_stmt *st = sqlite3_next_stmt(db, nullptr); st; st = sqlite3_next_stmt(db, st))
    n += sqlite3_stmt_status(st, SQLITE_STMTSTATUS_FULLSCAN_STEP, 1);
  return n;
}
}  // namespace

// Look-up and deletion of one item go through the FullName index, not a scan of the table.
TEST(TreeStore, LookupAndDeleteUseTheIndex) {
  TreeDb t;
  t.exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 5000) "
         "INSERT INTO Tree SELECT 't' || i, 'PG > c > d > s > Tables > t' || i, 0, 4, 5, 0, '' FROM n");
  t.add("PG > c > d > s > Tables > t77 > Columns > id", 9);
  t.add("PG > c > d > s > Tables > t77 > Columns > name", 9);
  fullScanSteps(t.db());
  EXPECT_TRUE(t.store().FindTreeId("pg > C > d > s > tables > T4000"));
  qint64 removed = 0;
  EXPECT_EQ(t.store().DeleteFromTreeById("PG > c > d > s > Tables > t77", &removed), QString());
  EXPECT_EQ(removed, 3);
  EXPECT_EQ(fullScanSteps(t.db()), 0);
  EXPECT_EQ(t.rows("SELECT count(*) FROM Tree"), QStringList{"4999"});
}

// The start state equals the three plain updates, for every level and for odd flag values.
TEST(TreeStore, StartStateResetMatchesPlainUpdates) {
  TreeDb t;
  t.exec("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 299) "
         "INSERT INTO Tree SELECT 'n' || i, 'x' || i, "
         " CASE i % 4 WHEN 0 THEN 0 WHEN 1 THEN 1 WHEN 2 THEN NULL ELSE 5 END, 4, "
         " CASE WHEN i % 11 = 10 THEN NULL ELSE i % 9 END, "
         " CASE i % 3 WHEN 0 THEN 0 WHEN 1 THEN 1 ELSE NULL END, '' FROM n");
  t.exec("CREATE TABLE Ref AS SELECT * FROM Tree");
  t.exec("UPDATE Ref SET Visible = False, Expanded = False; "
         "UPDATE Ref SET Visible = True, Expanded = True WHERE Level IN (0, 1); "
         "UPDATE Ref SET Visible = True, Expanded = False WHERE Level = 2; ");
  EXPECT_EQ(t.store().ResetVisibility(), QString());
  const QString all = "SELECT Name, FullName, Visible, Type, Level, Expanded, Info FROM %1 ORDER BY rowid";
  EXPECT_EQ(t.rows(all.arg("Tree")), t.rows(all.arg("Ref")));
  EXPECT_EQ(t.rows("SELECT DISTINCT Level || ':' || Visible || Expanded FROM Tree WHERE Level <= 3 ORDER BY 1"),
            (QStringList{"0:11", "1:11", "2:10", "3:00"}));
  // Inside a transaction of the caller as well.
  t.exec("BEGIN; UPDATE Tree SET Visible = 1;");
  EXPECT_EQ(t.store().ResetVisibility(), QString());
  t.exec("COMMIT");
  EXPECT_EQ(t.rows(all.arg("Tree")), t.rows(all.arg("Ref")));

  // Over a large tree, the reset reads rows through the indexes: only the shown rows are stepped
  // through (their partial index), never the whole table.
  t.exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 20000) "
         "INSERT INTO Tree SELECT 'd' || i, 'R > c > d > s > t' || i, 0, 4, 4 + i % 3, 0, '' FROM n");
  t.exec("ANALYZE");
  static qint64 scans;
  scans = 0;
  sqlite3_trace_v2(
      t.db(), SQLITE_TRACE_PROFILE,
      [](unsigned, void *, void *stmt, void *) {
        scans += sqlite3_stmt_status(static_cast<sqlite3_stmt *>(stmt), SQLITE_STMTSTATUS_FULLSCAN_STEP, 0);
        return 0;
      },
      nullptr);
  t.exec("UPDATE Tree SET Visible = 1 WHERE Level = 1");
  const qint64 shown = t.rows("SELECT count(*) FROM Tree WHERE Visible IS NOT 0 OR Expanded IS NOT 0")[0].toLongLong();
  scans = 0;
  EXPECT_EQ(t.store().ResetVisibility(), QString());
  sqlite3_trace_v2(t.db(), 0, nullptr, nullptr);
  EXPECT_LE(scans, shown);
  EXPECT_LT(shown, 500);
  EXPECT_EQ(t.rows("SELECT count(*) FROM Tree WHERE Visible IS NOT 0 OR Expanded IS NOT 0"),
            t.rows("SELECT count(*) FROM Tree WHERE Level IN (0, 1, 2)"));
}

TEST(TreePaths, CutIdToLevel) {
  struct Case {
    QString fullName;
    int level;
    QString separator;
    QString expected;
  };
  const QString sep = " > ";
  const Case cases[] = {
      {"A > B > C", 0, sep, "A"},
      {"A > B > C", 1, sep, "A > B"},
      {"A > B > C", 2, sep, "A > B > C"},
      {"A > B > C", 3, sep, ""},
      {"A > B > C", -1, sep, ""},
      {"A", 0, sep, "A"},
      {"A", 1, sep, ""},
      {"", 0, sep, ""},
      {"O'Neil > B>C > D", 1, sep, "O'Neil > B>C"},
      {QString::fromUtf8("😀 > Ü > x"), 1, sep, QString::fromUtf8("😀 > Ü")},
      // Any separator: the search goes on after the whole separator.
      {"a.b.c", 1, ".", "a.b"},
      {"a.b.c", 2, ".", "a.b.c"},
      {"a::b::c", 0, "::", "a"},
      {"a.b", 0, "", ""},
  };
  for (const Case &c : cases)
    EXPECT_EQ(qrv::CutIdToLevel(c.fullName, c.level, c.separator), c.expected)
        << c.fullName.toStdString() << " / " << c.level << " / " << c.separator.toStdString();
  EXPECT_EQ(qrv::CutIdToLevel("A > B > C", 1), "A > B");
}

TEST(TreePaths, TreeFullNameToPath) {
  struct Case {
    QString fullName;
    QString expected;
  };
  const Case cases[] = {
      {"MS SQL Server > c > d", "[MS SQL Server].[c].[d]"},
      {"MS SQL Server > c > d > dbo > Tables > t > Columns > x", "[MS SQL Server].[c].[d].[dbo].[t].[x]"},
      {"PostgreSQL > c > d > public > Views > v", "[PostgreSQL].[c].[d].[public].[v]"},
      {"SQLite", "[SQLite]"},
      {"", ""},
      {"A >  > C", "[A].[C]"},
      {"0 > 1 > 2 > 3 > 4 > 5 > 6 > 7 > 8 > 9 > 10", "[0].[1].[2].[3].[5].[7].[8]"},
      {"O'Neil > c'x > d", "[O'Neil].[c'x].[d]"},
  };
  for (const Case &c : cases) EXPECT_EQ(qrv::TreeFullNameToPath(c.fullName), c.expected) << c.fullName.toStdString();
}

// The kinds are one table: ascending, unique, each on a level the tree has.
TEST(TreeKinds, TableIsConsistent) {
  const auto &kinds = qrv::TreeKinds();
  ASSERT_EQ(kinds.size(), 30);
  EXPECT_EQ(kinds.first().type, qrv::TreeKind::First);
  EXPECT_EQ(kinds.last().type, qrv::TreeKind::Last);
  for (int i = 1; i < kinds.size(); ++i) EXPECT_LT(kinds[i - 1].type, kinds[i].type);
  for (const auto &k : kinds) {
    EXPECT_GE(k.level, -1);
    EXPECT_LE(k.level, qrv::TreeLevel::Last);
    EXPECT_FALSE(qrv::TreeKindName(k.type).isEmpty());
  }
  EXPECT_FALSE(qrv::IsKnownTreeKind(11));
  EXPECT_FALSE(qrv::IsKnownTreeKind(30));
  QList<int> tableKinds;
  for (int k = -1; k <= 30; ++k)
    if (qrv::IsTableKind(k)) tableKinds << k;
  EXPECT_EQ(tableKinds, (QList<int>{4, 7, 8, 25}));
  EXPECT_EQ(qrv::CategoryInfo(12), " (12)");
}
