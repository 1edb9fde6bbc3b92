#include "dal/driver_odbc.h"

namespace qrv::dal {
ConnectionPtr CreateOdbcConnection(const QString &) { return nullptr; }
}
