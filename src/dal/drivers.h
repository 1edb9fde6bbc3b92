#pragma once
// Creates the connection object of a base driver ID.
#include <QString>

#include "dal/connection.h"

namespace qrv::dal {

// A new, closed connection for a base driver ID (compared ignoring case). For a driver that this build
// cannot reach, returns nullptr and sets err to a message naming the driver.
ConnectionPtr CreateDriverConnection(const QString &baseDriverId, DbError *err);

// True when CreateDriverConnection can give a connection for the ID.
bool IsDriverAvailable(const QString &baseDriverId);

}  // namespace qrv::dal
