#pragma once
// Connections to the test servers and small helpers shared by the data-access tests.
#include <QString>
#include <QStringList>

#include "dal/connection.h"
#include "dal/rowset.h"

namespace qrvtest {

// Parameters of the test servers, from servers.env.
qrv::dal::ConnParams FirebirdParams();
qrv::dal::ConnParams PgParams();
qrv::dal::ConnParams MyParams();
// ODBC to the PostgreSQL or MariaDB test server, or to an SQLite file, through the driver named in
// servers.env.
qrv::dal::ConnParams OdbcPgParams();
qrv::dal::ConnParams OdbcMyParams();
qrv::dal::ConnParams OdbcSqliteParams(const QString &file);

// Opens a connection; on failure records a test failure naming the server and returns nullptr.
qrv::dal::ConnectionPtr OpenOrFail(qrv::dal::ConnectionPtr conn, const qrv::dal::ConnParams &params,
                                   const QString &what);

// Runs a statement and fetches every row of its first result; nullptr with err set on failure.
qrv::dal::RowSetPtr QueryAll(qrv::dal::Connection &c, const QString &sql, qrv::dal::DbError *err = nullptr);
// Runs statements one by one; records a test failure with the message of the first that fails.
bool ExecAll(qrv::dal::Connection &c, const QStringList &sql);
// Runs statements one by one and ignores their errors (clean-up of earlier runs).
void ExecQuiet(qrv::dal::Connection &c, const QStringList &sql);

// A field definition of a name and a type, the rest as default.
qrv::dal::FieldDef Fld(const QString &name, qrv::dal::FieldType type);

// Column values of a row set as text, row by row: "a|b|c".
QStringList RowTexts(const qrv::dal::RowSet &rs, const QStringList &columns);

}  // namespace qrvtest
