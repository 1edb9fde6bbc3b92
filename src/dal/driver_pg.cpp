#include "dal/driver_pg.h"

namespace qrv::dal {
ConnectionPtr CreatePgConnection() { return nullptr; }
}  // namespace qrv::dal
