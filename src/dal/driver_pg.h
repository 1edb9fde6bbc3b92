#pragma once
// PostgreSQL through libpq.
#include "dal/connection.h"

namespace qrv::dal {
ConnectionPtr CreatePgConnection();
}
