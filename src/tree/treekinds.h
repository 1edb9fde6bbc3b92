#pragma once
// The database tree's vocabulary, shared by everything that reads or writes the Tree table: the item
// kinds stored in Tree.Type, the levels (Tree.Level, the number of " > " separators in FullName), the
// names of the category rows and the placeholders for a missing database or schema.
#include <QLatin1String>
#include <QList>
#include <QString>
#include <QStringList>

namespace qrv {

// Separator of the levels of a tree path (FullName).
inline constexpr QLatin1String kTreeSeparator(" > ");

// Item kinds (Tree.Type). Plain int values: they are stored and compared as numbers.
namespace TreeKind {
enum : int {
  Category = -1,           // category row ("Tables", "Columns", ...)
  Rdbms = 0,
  Connection = 1,
  Database = 2,
  Schema = 3,
  Table = 4,               // also views from the generic metadata refresh
  View = 5,
  Synonym = 6,
  LocalTempTable = 7,
  OtherTable = 8,          // a further table kind no refresh produces
  Column = 9,              // table column; every detail item of the generic metadata refresh
  TableIndex = 10,
  // 11 is not used.
  Routine = 12,            // procedure or function
  Sequence = 13,           // sequence or generator
  Parameter = 14,          // parameter of a routine
  Key = 15,                // primary or foreign key of a table
  RoutineColumn = 16,      // column of a routine's result
  Constraint = 17,         // check, default, unique and other
  TableTrigger = 18,
  ViewColumn = 19,
  ViewIndex = 20,
  ViewTrigger = 21,
  RoutineIndex = 22,
  PlanGuide = 23,
  TableType = 24,
  ExternalTable = 25,      // external or foreign table
  MaterializedView = 26,
  Package = 27,
  PackageBody = 28,        // hangs directly under its package
  PackageRoutine = 29,     // hangs directly under its package
};
inline constexpr int First = Category;
inline constexpr int Last = PackageRoutine;
}  // namespace TreeKind

// Levels (Tree.Level).
namespace TreeLevel {
enum : int {
  Rdbms = 0,
  Connection = 1,
  Database = 2,
  Schema = 3,
  SchemaCategory = 4,
  Object = 5,
  ObjectCategory = 6,
  Detail = 7,
};
inline constexpr int Last = Detail;
}  // namespace TreeLevel

struct TreeKindInfo {
  int type;
  const char *name;  // short English description, e.g. "table column"
  int level;         // the level the kind lives on; -1 for category rows (levels 4 and 6)
};

// Every kind in ascending order of Type (11 is not a kind).
const QList<TreeKindInfo> &TreeKinds();
// True for -1..29 except 11.
bool IsKnownTreeKind(int type);
// The description of a kind, empty for an unknown one.
QString TreeKindName(int type);
// The level a kind lives on; -1 for category rows and unknown kinds.
int TreeKindLevel(int type);

// The kinds the table commands act on: 4, 7, 8 and 25.
bool IsTableKind(int type);
// Routines and their package parts: 12, 27, 28, 29.
bool IsRoutineKind(int type);

// Placeholders for a missing database or schema name; never sent to a server.
inline constexpr QLatin1String kNoDbName("NO_DB_NAME");
inline constexpr QLatin1String kNoSchema("NO_SCHEMA");

// Category names.
namespace TreeCategory {
// Level 4, under a schema.
inline constexpr QLatin1String Tables("Tables");
inline constexpr QLatin1String Views("Views");
inline constexpr QLatin1String ProceduresFunctions("Procedures / Functions");
inline constexpr QLatin1String Synonyms("Synonyms");
inline constexpr QLatin1String Sequences("Sequences");
inline constexpr QLatin1String GeneratorsSequences("Generators / Sequences");
inline constexpr QLatin1String PlanGuides("Plan Guides");
inline constexpr QLatin1String TableTypes("Table Types");
inline constexpr QLatin1String ExternalTable("External Table");
inline constexpr QLatin1String Packages("Packages");
// Level 6, under an object.
inline constexpr QLatin1String Columns("Columns");
inline constexpr QLatin1String Indexes("Indexes");
inline constexpr QLatin1String Keys("Keys");
inline constexpr QLatin1String Parameters("Parameters");
inline constexpr QLatin1String Constraints("Constraints");
inline constexpr QLatin1String Triggers("Triggers");
inline constexpr QLatin1String Index("Index");
}  // namespace TreeCategory

// The category names of level 4 and of level 6, in the order above.
const QStringList &SchemaCategoryNames();
const QStringList &ObjectCategoryNames();

// The Info text of a category row with n children: " (n)".
QString CategoryInfo(qint64 childCount);

}  // namespace qrv
