#include "meta_fixtures.h"

#include <gtest/gtest.h>

#include "support/testsupport.h"

using namespace qrv::dal;

namespace qrvtest {

namespace {
ConnParams Make(std::initializer_list<std::pair<const char *, QString>> kv) {
  ConnParams p;
  for (const auto &[k, v] : kv) p.set(QString::fromLatin1(k), v);
  return p;
}

// Server, port, database and login of a test server from its QRV_<system>_ settings.
ConnParams ServerParams(const QString &system) {
  auto env = [&](const char *key) {
    return ServerEnv(QStringLiteral("QRV_%1_%2").arg(system, QLatin1String(key)).toUtf8().constData());
  };
  return Make({{"Server", env("HOST")},
               {"Port", env("PORT")},
               {"Database", env("DB")},
               {"User_Name", env("USER")},
               {"Password", env("PASSWORD")}});
}

}  // namespace

ConnParams FirebirdParams() { return ServerParams(QStringLiteral("FB")); }
ConnParams PgParams() { return ServerParams(QStringLiteral("PG")); }
ConnParams MyParams() { return ServerParams(QStringLiteral("MY")); }

FieldDef Fld(const QString &name, FieldType type) {
  FieldDef f;
  f.name = name;
  f.type = type;
  return f;
}

ConnParams OdbcPgParams() {
  ConnParams p = PgParams();
  p.set(QStringLiteral("ODBCDriver"), ServerEnv("QRV_ODBC_PG_DRIVER"));
  return p;
}

ConnParams OdbcMyParams() {
  ConnParams p = MyParams();
  p.set(QStringLiteral("ODBCDriver"), ServerEnv("QRV_ODBC_MY_DRIVER"));
  return p;
}

ConnParams OdbcSqliteParams(const QString &file) {
  return Make({{"ODBCDriver", ServerEnv("QRV_ODBC_SQLITE_DRIVER")}, {"Database", file}});
}

ConnectionPtr OpenOrFail(ConnectionPtr conn, const ConnParams &params, const QString &what) {
  if (!conn) {
    ADD_FAILURE() << "no driver for " << what.toStdString();
    return nullptr;
  }
  DbError err;
  if (!conn->open(params, &err)) {
    ADD_FAILURE() << "cannot connect to the " << what.toStdString()
                  << " test server (start it with: bash scripts/test-servers.sh start): "
                  << err.message.toStdString();
    return nullptr;
  }
  return conn;
}

RowSetPtr QueryAll(Connection &c, const QString &sql, DbError *err) {
  DbError local;
  DbError *e = err ? err : &local;
  auto cur = c.execute(sql, e);
  if (!cur) return nullptr;
  auto rs = std::make_shared<RowSet>(cur->fields());
  if (cur->fetch(*rs, -1, e) < 0) return nullptr;
  return rs;
}

bool ExecAll(Connection &c, const QStringList &sql) {
  for (const QString &s : sql) {
    DbError err;
    auto cur = c.execute(s, &err);
    if (cur && cur->hasRows()) {
      RowSet rs(cur->fields());
      cur->fetch(rs, -1, &err);
    }
    if (err) {
      ADD_FAILURE() << "statement failed: " << s.toStdString() << "\n" << err.message.toStdString();
      return false;
    }
  }
  return true;
}

void ExecQuiet(Connection &c, const QStringList &sql) {
  for (const QString &s : sql) {
    DbError err;
    auto cur = c.execute(s, &err);
    if (cur && cur->hasRows()) {
      RowSet rs(cur->fields());
      cur->fetch(rs, -1, &err);
    }
  }
}

QStringList RowTexts(const RowSet &rs, const QStringList &columns) {
  QList<int> idx;
  for (const QString &c : columns) idx << rs.fieldIndex(c);
  QStringList out;
  for (qsizetype r = 0; r < rs.rowCount(); ++r) {
    QStringList v;
    for (int i : idx) v << (i < 0 ? QStringLiteral("<no column>") : rs.text(r, i));
    out << v.join(QLatin1Char('|'));
  }
  return out;
}

}  // namespace qrvtest
