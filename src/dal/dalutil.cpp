#include "dal/dalutil.h"

#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

namespace qrv::dal {

QString SqlQuoteDoubled(const QString &text) {
  QString out = text;
  return out.replace(u'\'', QLatin1String("''"));
}

QString SqlQuoted(const QString &text, bool backslashEscapes) {
  QString out = text;
  if (backslashEscapes) out.replace(u'\\', QLatin1String("\\\\"));
  out.replace(u'\'', QLatin1String("''"));
  return u'\'' + out + u'\'';
}

RowSetPtr FetchAll(Cursor &cursor, DbError *err) {
  auto rows = std::make_shared<RowSet>(cursor.fields());
  if (!cursor.hasRows()) return rows;
  DbError e;
  if (cursor.fetch(*rows, -1, &e) < 0) {
    if (err) *err = e;
    return nullptr;
  }
  return rows;
}

bool ExecAll(Connection &conn, const QString &sql, DbError *err) {
  DbError e;
  std::unique_ptr<Cursor> c = conn.execute(sql, &e);
  if (!c) {
    if (err) *err = e;
    return false;
  }
  do {
    if (c->hasRows()) {
      RowSet sink(c->fields());
      // Rows are read in chunks and dropped, so a large result costs no memory.
      qint64 n;
      while ((n = c->fetch(sink, 4096, &e)) > 0) sink.clear();
      if (n < 0) {
        if (err) *err = e;
        return false;
      }
    }
  } while (c->nextResult(&e));
  if (e.isError()) {
    if (err) *err = e;
    return false;
  }
  return true;
}

RowSetPtr QueryRows(Connection &conn, const QString &sql, DbError *err) {
  DbError e;
  std::unique_ptr<Cursor> c = conn.execute(sql, &e);
  if (!c) {
    if (err) *err = e;
    return nullptr;
  }
  do {
    if (c->hasRows()) {
      RowSetPtr rows = FetchAll(*c, &e);
      if (!rows && err) *err = e;
      return rows;
    }
  } while (c->nextResult(&e));
  if (err) {
    if (e.isError())
      *err = e;
    else
      SetError(err, QStringLiteral("The command returned no rows"));
  }
  return nullptr;
}

QVariant QueryValue(Connection &conn, const QString &sql, DbError *err) {
  RowSetPtr rows = QueryRows(conn, sql, err);
  if (!rows || rows->rowCount() == 0 || rows->fieldCount() == 0) return QVariant();
  return rows->value(0, 0);
}

QString FieldValuesToList(MemTable &table, const QString &separator, bool closeAfter, const QString &quote,
                          int fieldIndex) {
  QString result;
  while (table.active() && !table.eof()) {
    result += quote;
    result += table.text(fieldIndex);
    result += quote;
    result += separator;
    table.next();
  }
  if (!result.isEmpty()) result.chop(separator.size());
  if (closeAfter) table.close();
  return result;
}

// ---- Watchdog

struct Watchdog::Impl {
  std::mutex mx;
  std::condition_variable cv;
  std::condition_variable doneCv;
  std::multimap<std::chrono::steady_clock::time_point, std::pair<quint64, std::function<void()>>> queue;
  quint64 nextId = 1;
  quint64 runningId = 0;

  void loop() {
    std::unique_lock<std::mutex> lk(mx);
    for (;;) {
      if (queue.empty()) {
        cv.wait(lk);
        continue;
      }
      const auto due = queue.begin()->first;
      if (std::chrono::steady_clock::now() < due) {
        cv.wait_until(lk, due);
        continue;
      }
      auto node = queue.extract(queue.begin());
      runningId = node.mapped().first;
      std::function<void()> fn = std::move(node.mapped().second);
      lk.unlock();
      fn();
      lk.lock();
      runningId = 0;
      doneCv.notify_all();
    }
  }
};

Watchdog::Watchdog() : d(new Impl) {
  std::thread([impl = d] { impl->loop(); }).detach();
}

Watchdog &Watchdog::instance() {
  // Never destroyed: the thread may still wait when the program ends.
  static Watchdog *w = new Watchdog;
  return *w;
}

quint64 Watchdog::arm(int ms, std::function<void()> fn) {
  std::lock_guard<std::mutex> lk(d->mx);
  const quint64 id = d->nextId++;
  d->queue.emplace(std::chrono::steady_clock::now() + std::chrono::milliseconds(ms),
                   std::make_pair(id, std::move(fn)));
  d->cv.notify_all();
  return id;
}

void Watchdog::disarm(quint64 id) {
  if (id == 0) return;
  std::unique_lock<std::mutex> lk(d->mx);
  for (auto it = d->queue.begin(); it != d->queue.end(); ++it)
    if (it->second.first == id) {
      d->queue.erase(it);
      d->cv.notify_all();
      return;
    }
  // Not queued: it may be running right now; wait for it to finish.
  d->doneCv.wait(lk, [&] { return d->runningId != id; });
}

// ---- CommandState

void CommandState::begin(int timeoutMs, std::function<void()> onTimeout) {
  end();
  cancelled_ = false;
  timedOut_ = false;
  timeoutMs_ = timeoutMs;
  running_ = true;
  if (timeoutMs > 0)
    timer_ = Watchdog::instance().arm(timeoutMs, [this, fn = std::move(onTimeout)] {
      if (!running_.load()) return;
      timedOut_ = true;
      if (fn) fn();
    });
}

void CommandState::end() {
  if (timer_) {
    Watchdog::instance().disarm(timer_);
    timer_ = 0;
  }
  running_ = false;
}

bool CommandState::requestCancel() {
  if (!running_.load()) return false;
  cancelled_ = true;
  return true;
}

bool CommandState::explainStop(DbError *err) const {
  if (!err) return false;
  if (timedOut_.load()) {
    err->message = TimedOutText(timeoutMs_);
    err->kind = DbErrorKind::TimedOut;
    return true;
  }
  if (cancelled_.load()) {
    err->message = CancelledText();
    err->kind = DbErrorKind::Cancelled;
    return true;
  }
  return false;
}

QString CancelledText() { return QStringLiteral("Command execution was cancelled"); }

QString TimedOutText(int ms) {
  return QStringLiteral("Command execution time-out of %1 ms exceeded").arg(ms);
}

void SetError(DbError *err, const QString &message, int code, const QString &sqlState, DbErrorKind kind,
              int nativeCode) {
  if (!err) return;
  err->message = message;
  err->code = code;
  err->sqlState = sqlState;
  err->kind = kind;
  err->nativeCode = nativeCode;
}

}  // namespace qrv::dal
