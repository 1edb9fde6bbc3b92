#pragma once
// Generic metadata of a connection: catalogs, schemas, tables, columns, indexes, keys, procedures,
// their arguments and generators, each asked for by kind, object name and schema name, with the same
// result columns and value sets for every database system.
#include <QList>
#include <QString>
#include <QStringList>

#include "dal/connection.h"
#include "dal/rowset.h"

namespace qrv::dal {

enum class MetaKind {
  Catalogs = 1,
  Schemas = 2,
  Tables = 3,
  TableFields = 4,
  Indexes = 5,
  PrimaryKey = 7,
  ForeignKeys = 9,
  Procs = 12,
  ProcArgs = 13,
  Generators = 14
};

// TABLE_TYPE
enum TableKind { tkSynonym = 0, tkTable = 1, tkView = 2, tkTempTable = 3, tkLocalTable = 4 };
// INDEX_TYPE
enum IndexKind { ikNonUnique = 0, ikUnique = 1, ikPrimaryKey = 2 };
// DELETE_RULE, UPDATE_RULE
enum CascadeRule { ckNone = 0, ckCascade = 1, ckRestrict = 2, ckSetNull = 3, ckSetDefault = 4 };
// PARAM_TYPE
enum ParamDirection { pdUnknown = 0, pdInput = 1, pdOutput = 2, pdInputOutput = 3, pdResult = 4 };
// PROC_TYPE
enum ProcKind { pkProcedure = 0, pkFunction = 1 };

// Bits of COLUMN_ATTRIBUTES and PARAM_ATTRIBUTES.
constexpr int ColumnAttrNullable = 2;
constexpr int ColumnAttrDefault = 8;   // the column has a default value
constexpr int ColumnAttrAutoInc = 16;  // identity / auto-increment / serial

// The enumerated values shown by name: "Synonym", "Table", ... ; empty for a value out of range.
QString TableKindName(int v);
QString IndexKindName(int v);
QString CascadeRuleName(int v);
QString ParamDirectionName(int v);

// The result columns of a kind, in order. Every kind starts with RECNO, CATALOG_NAME, SCHEMA_NAME:
//   Catalogs     RECNO, CATALOG_NAME
//   Schemas      RECNO, CATALOG_NAME, SCHEMA_NAME
//   Tables       ..., TABLE_NAME, TABLE_TYPE, TABLE_SCOPE
//   TableFields  ..., TABLE_NAME, COLUMN_NAME, COLUMN_POSITION, COLUMN_DATATYPE, COLUMN_TYPENAME,
//                COLUMN_ATTRIBUTES, COLUMN_PRECISION, COLUMN_SCALE, COLUMN_LENGTH
//   Indexes, PrimaryKey  ..., TABLE_NAME, INDEX_NAME, CONSTRAINT_NAME, INDEX_TYPE
//   ForeignKeys  ..., TABLE_NAME, FKEY_NAME, PKEY_CATALOG_NAME, PKEY_SCHEMA_NAME, PKEY_TABLE_NAME,
//                DELETE_RULE, UPDATE_RULE
//   Procs        ..., PACK_NAME, PROC_NAME, OVERLOAD, PROC_TYPE, PROC_SCOPE, IN_PARAMS, OUT_PARAMS
//   ProcArgs     ..., PACK_NAME, PROC_NAME, OVERLOAD, PARAM_NAME, PARAM_POSITION, PARAM_TYPE,
//                PARAM_DATATYPE, PARAM_TYPENAME, PARAM_ATTRIBUTES, PARAM_PRECISION, PARAM_SCALE, PARAM_LENGTH
//   Generators   ..., GENERATOR_NAME, GENERATOR_SCOPE
// Enumerated and numeric columns are integers (COLUMN_DATATYPE / PARAM_DATATYPE hold a FieldType);
// names are texts, empty where the system has no such level. Lengths beyond 2147483647 are reported
// as 2147483647.
QStringList MetaColumns(MetaKind kind);

// Reads one kind of metadata from an open connection. object names the table (TableFields, Indexes,
// PrimaryKey, ForeignKeys) or procedure (ProcArgs); schema narrows every kind (empty: the connection's
// current schema for object lookups, every schema for lists; for MySQL the schema is the database).
// Names are taken literally, without quotes. tableKinds limits the Tables kind to some TableKind
// values (empty: all five). An object that does not exist gives err->code ErrObjectNotFound (1501).
// Supported: PostgreSQL, MySQL, SQLite and Firebird/InterBase from their catalogs, and every ODBC
// connection through the ODBC catalog functions. nullptr with err set on failure.
RowSetPtr GetMetaInfo(Connection &conn, MetaKind kind, const QString &object, const QString &schema, DbError *err,
                      const QList<int> &tableKinds = {});

// A double-quoted name made plain: outer quotes removed, doubled inner quotes made single.
QString UnquoteName(const QString &name);

// Opens metadata for the tree: GetMetaInfo, retried once with the name unquoted when the object is not
// found and its name begins with a double quote. Returns an empty text on success (out set), else the
// cleaned error text.
QString ConnectToMetaData(Connection &conn, MetaKind kind, const QString &object, const QString &schema,
                          RowSetPtr *out, const QList<int> &tableKinds = {});

}  // namespace qrv::dal
