#pragma once
// SQLite through the sqlite3 library: the file of the "Database" parameter (":memory:" for a private
// in-memory database).
#include "dal/connection.h"

namespace qrv::dal {
ConnectionPtr CreateSqliteConnection();
}
