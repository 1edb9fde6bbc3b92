#pragma once
// MySQL and MariaDB through libmariadb.
#include "dal/connection.h"

namespace qrv::dal {
ConnectionPtr CreateMySqlConnection();
}
