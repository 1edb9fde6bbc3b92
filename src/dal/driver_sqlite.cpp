#include "dal/driver_sqlite.h"

namespace qrv::dal {
ConnectionPtr CreateSqliteConnection() { return nullptr; }
}  // namespace qrv::dal
