#include "dal/connection.h"

namespace qrv::dal {

QString ConnParams::value(const QString &key, const QString &def) const {
  for (const auto &p : items_)
    if (p.first.compare(key, Qt::CaseInsensitive) == 0) return p.second;
  return def;
}

bool ConnParams::contains(const QString &key) const {
  for (const auto &p : items_)
    if (p.first.compare(key, Qt::CaseInsensitive) == 0) return true;
  return false;
}

void ConnParams::set(const QString &key, const QString &value) {
  for (auto &p : items_)
    if (p.first.compare(key, Qt::CaseInsensitive) == 0) {
      p.second = value;
      return;
    }
  items_.append({key, value});
}

void ConnParams::remove(const QString &key) {
  items_.removeIf([&](const auto &p) { return p.first.compare(key, Qt::CaseInsensitive) == 0; });
}

}  // namespace qrv::dal
