#pragma once
#include "dal/connection.h"

namespace qrv::dal {
// A connection through unixODBC for the driver ID ODBC and the systems reached by their ODBC drivers
// (MSSQL, DB2, Infx, TData, ASA, ADS, MSAcc, Ora, Nexus).
ConnectionPtr CreateOdbcConnection(const QString &driverId);
}
