#pragma once
#include "dal/connection.h"

namespace qrv::dal {
// A connection for the driver IDs FB, IB and IBLite.
ConnectionPtr CreateFirebirdConnection(const QString &driverId);
}
