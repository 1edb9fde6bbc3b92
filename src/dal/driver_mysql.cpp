#include "dal/driver_mysql.h"

namespace qrv::dal {
ConnectionPtr CreateMySqlConnection() { return nullptr; }
}  // namespace qrv::dal
