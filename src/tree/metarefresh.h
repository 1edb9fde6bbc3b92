#pragma once
// Tree refresh by generic metadata: the walk from an RDBMS down to the columns of a table, for every
// database system without a catalog query of its own and for single schemas and objects. Each level
// asks the catalog connection for one kind of metadata (catalogs, schemas, tables, fields, indexes,
// keys, procedures, their arguments, generators) and writes its rows into Tree.
//
// Every writer deletes its item's old subtree first when asked to, then adds the item's own row, then
// its children. All of them return an error text, empty when everything went well; errors of several
// connections, schemas or tables are collected one per line. A metadata request that cannot be opened
// is reported in that text and its level is skipped: its category row and items are left out.
#include <QString>
#include <QStringList>

#include "dal/metadata.h"
#include "dal/rowset.h"
#include "tree/refreshcontext.h"

namespace qrv {

// Opens a metadata request (kind, object name, schema name) on a connection: the error text, empty on
// success with *out set to the result. Replaceable for tests; the default is dal::ConnectToMetaData.
using MetaDataOpenFn = QString (*)(dal::Connection &conn, dal::MetaKind kind, const QString &object, const QString &schema,
                                   dal::RowSetPtr *out);
extern MetaDataOpenFn MetaDataOpen;

// ---- Texts of the walk ----

// The size text of a field or argument: precision, scale and length joined by commas with leading and
// trailing components that are 0 or empty dropped, "2147483647" written "MAX", in parentheses; empty
// when nothing remains. (0, 0, 50) gives "(50)", (10, 2, 0) gives "(10,2)".
QString MetaSizeText(const QString &precision, const QString &scale, const QString &length);

// One item of a list: the row's name and its info (" (...)" or empty). The item text is name + info.
struct MetaItem {
  QString name;
  QString info;
  QString text() const { return name + info; }
};

// A list read from the metadata, or the error text of the request that could not be opened.
struct MetaList {
  QList<MetaItem> items;
  QString error;
  bool ok() const { return error.isEmpty(); }
};

// Splits an item text at its first " (": "c (INT, null)" gives "c" and " (INT, null)".
MetaItem SplitMetaItem(const QString &text);

// The schema name a metadata request is asked with: level 3 of a path (the text itself when it has no
// " > "); "NO_SCHEMA" (ignoring case) gives an empty name.
QString MetaSchemaName(const QString &pathOrName);

// ---- Readers (on ctx.catalog) ----

// The first field of the first row of a local SQL text over the metadata result, which is the table
// fdMIQ there ("SELECT GROUP_CONCAT(catalog_name) FROM fdMIQ"). ok is false when the request or the
// local SQL failed; the result is then the error text.
QString GetMetaData(TreeRefreshContext &ctx, dal::MetaKind kind, const QString &localSql, const QString &schema,
                    const QString &object, bool *ok = nullptr);
// The given field of every row (procedure and generator names).
MetaList GetMetaDataBigResult(TreeRefreshContext &ctx, dal::MetaKind kind, const QString &object, const QString &field,
                              const QString &schema);
// "name (type(size), null|not null)" per column.
MetaList GetMetaDataFields(TreeRefreshContext &ctx, dal::MetaKind kind, const QString &object, const QString &schema);
// "name (NonUnique|Unique|PrimaryKey)" per index (kind Indexes or PrimaryKey).
MetaList GetMetaDataIndexes(TreeRefreshContext &ctx, dal::MetaKind kind, const QString &object, const QString &schema);
// "name (parent table, DEL: rule, UPD: rule)" per foreign key.
MetaList GetMetaDataForeignKeys(TreeRefreshContext &ctx, dal::MetaKind kind, const QString &object, const QString &schema);
// "name (type(size), direction, null|not null)" per argument.
MetaList GetMetaDataProcParams(TreeRefreshContext &ctx, dal::MetaKind kind, const QString &object, const QString &schema);

// ---- The walk ----
// parents is always the full name of the parent item followed by " > ".

// Every connection of the definitions whose RDBMS display name is rdbmsName (ignoring case; empty: all
// connections), each under its RDBMS row. Returns the error texts of all connections.
QString FillTree_BaseDriver(TreeRefreshContext &ctx, const QString &rdbmsName, bool deleteOld);
// One connection and its databases (a connection with LoadToTree false is left alone). A connection that
// cannot be opened keeps its row without children and gives its error text.
QString FillTree_Conn(TreeRefreshContext &ctx, const QString &parents, const QString &connection, bool deleteOld,
                      bool visible, bool expanded);
// One database and its schemas ("NO_SCHEMA" when it has none).
QString FillTree_DB(TreeRefreshContext &ctx, const QString &parents, const QString &database, bool deleteOld,
                    bool visible, bool expanded);
// One schema: tables, views, procedures and generators with their category rows. The catalog
// connection must be open on the schema's database.
QString FillTree_Schema(TreeRefreshContext &ctx, const QString &parents, const QString &schema, bool deleteOld,
                        bool visible, bool expanded);
// One table or view (table: the item text, e.g. "t" or "s (Synonym)") with its columns, indexes and keys.
QString FillTree_Table(TreeRefreshContext &ctx, const QString &parents, const QString &table, int kind,
                       bool deleteOld, bool visible, bool expanded);
// One procedure with its parameters.
QString FillTree_Proc(TreeRefreshContext &ctx, const QString &parents, const QString &procedure, int kind,
                      bool deleteOld, bool visible, bool expanded);

}  // namespace qrv
