// Cutting scripts at two sizes: the command-text splitter (comments, command lines, ";" outside strings)
// and the script engine's dialect splitter, time per statement and how the time grows with the script.
//
//   bench_scriptsplit [smallStatements] [largeStatements]
#include <QString>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "core/scripttext.h"
#include "dal/scriptengine.h"

using Clock = std::chrono::steady_clock;

namespace {

QString MakeScript(int statements) {
  QString s;
  s.reserve(qsizetype(statements) * 120);
  for (int i = 0; i < statements; ++i) {
    s += QStringLiteral("-- statement %1\r\nINSERT INTO t (id, name) VALUES (%1, 'it''s; -- %1'); /* c */\r\n").arg(i);
    if (i % 100 == 99) s += QStringLiteral("{$CMD CONNECT \"SQLite > local > main\"}\r\n");
  }
  return s;
}

template <typename F>
double Seconds(F &&f) {
  const auto t0 = Clock::now();
  f();
  return std::chrono::duration<double>(Clock::now() - t0).count();
}

struct Timing {
  double commandText;
  double engine;
};

Timing Measure(int statements) {
  const QString script = MakeScript(statements);
  qsizetype pieces = 0, engineStatements = 0;
  Timing t;
  t.commandText = Seconds([&] { pieces = qrv::SplitCommandText(script, QStringLiteral(";")).size(); });
  t.engine = Seconds([&] {
    engineStatements = qrv::dal::SplitScript(script, qrv::dal::ScriptDialect::PostgreSQL).size();
  });
  std::printf("%9d statements: SplitCommandText %8.1f ms (%lld pieces), SplitScript %8.1f ms (%lld statements)\n",
              statements, t.commandText * 1e3, static_cast<long long>(pieces), t.engine * 1e3,
              static_cast<long long>(engineStatements));
  return t;
}

}  // namespace

int main(int argc, char **argv) {
  const int small = argc > 1 ? std::atoi(argv[1]) : 10000;
  const int large = argc > 2 ? std::atoi(argv[2]) : 100000;
  Measure(small / 10);  // warm-up
  const Timing a = Measure(small);
  const Timing b = Measure(large);
  const double size = double(large) / small;
  std::printf("size ratio %.0f: SplitCommandText time ratio %.1f, SplitScript time ratio %.1f (linear = %.0f)\n",
              size, b.commandText / a.commandText, b.engine / a.engine, size);
  return 0;
}
