#include "dal/driver_firebird.h"

namespace qrv::dal {
ConnectionPtr CreateFirebirdConnection(const QString &) { return nullptr; }
}
