#include "core/scripttext.h"

#include <vector>

#include "util/regex.h"

namespace qrv {

namespace {

const QString &CommandPattern() {
  static const QString p = QStringLiteral("{\\$CMD\\s+(.*)}");
  return p;
}

bool IsIdentChar(QChar c) { return c.isLetterOrNumber() || c == u'_' || c == u'$'; }
bool IsTagStart(QChar c) { return c.isLetter() || c == u'_'; }
bool IsTagChar(QChar c) { return c.isLetterOrNumber() || c == u'_'; }
bool IsPcreSpace(QChar c) {
  return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f' || c == u'\v';
}

enum class SpanKind { Code, Quoted, Comment };
struct Span {
  qsizetype start;
  qsizetype end;
  SpanKind kind;
};

// Length of a dollar-quote opening tag ("$$" or "$tag$") at i, or 0 when none starts there.
qsizetype DollarTagAt(const QString &s, qsizetype i) {
  const qsizetype n = s.size();
  if (s.at(i) != u'$') return 0;
  if (i > 0 && IsIdentChar(s.at(i - 1))) return 0;
  qsizetype j = i + 1;
  if (j < n && IsTagStart(s.at(j))) {
    ++j;
    while (j < n && IsTagChar(s.at(j))) ++j;
  }
  if (j < n && s.at(j) == u'$') return j - i + 1;
  return 0;
}

bool CommandStartsAt(const QString &s, qsizetype i) {
  static const QString head = QStringLiteral("{$CMD");
  return i + head.size() < s.size() && QStringView(s).mid(i, head.size()).compare(head, Qt::CaseInsensitive) == 0 &&
         IsPcreSpace(s.at(i + head.size()));
}

// Cuts a text into code, quoted text and comments, left to right, so that a comment marker inside a string
// and a quote inside a comment are both plain text. Quotes inside a command line are plain characters.
std::vector<Span> LexSql(const QString &s) {
  std::vector<Span> spans;
  const qsizetype n = s.size();
  qsizetype codeStart = 0;
  bool inCommandLine = false;
  auto flushCode = [&](qsizetype upTo) {
    if (upTo > codeStart) spans.push_back({codeStart, upTo, SpanKind::Code});
  };
  qsizetype i = 0;
  while (i < n) {
    const QChar c = s.at(i);
    const QChar next = i + 1 < n ? s.at(i + 1) : QChar();
    if (c == u'\n') {
      inCommandLine = false;
      ++i;
      continue;
    }
    if (c == u'-' && next == u'-') {
      qsizetype j = i + 2;
      while (j < n && s.at(j) != u'\n' && s.at(j) != u'\r') ++j;
      flushCode(i);
      spans.push_back({i, j, SpanKind::Comment});
      codeStart = i = j;
      continue;
    }
    if (c == u'/' && next == u'*') {
      const qsizetype close = s.indexOf(QStringLiteral("*/"), i + 2);
      if (close < 0) {  // an unclosed comment marker is left as it stands
        i += 2;
        continue;
      }
      flushCode(i);
      spans.push_back({i, close + 2, SpanKind::Comment});
      codeStart = i = close + 2;
      continue;
    }
    if (!inCommandLine && CommandStartsAt(s, i)) {
      inCommandLine = true;
      i += 5;
      continue;
    }
    if (inCommandLine) {
      ++i;
      continue;
    }
    if (c == u'\'' || c == u'"') {
      qsizetype j = i + 1;
      while (j < n) {
        if (s.at(j) == c) {
          if (j + 1 < n && s.at(j + 1) == c) {
            j += 2;
            continue;
          }
          break;
        }
        ++j;
      }
      const qsizetype end = j < n ? j + 1 : n;  // an unclosed quote runs to the end, as on the server
      flushCode(i);
      spans.push_back({i, end, SpanKind::Quoted});
      codeStart = i = end;
      continue;
    }
    if (c == u'$') {
      const qsizetype tagLen = DollarTagAt(s, i);
      if (tagLen > 0) {
        const QString tag = s.mid(i, tagLen);
        const qsizetype close = s.indexOf(tag, i + tagLen);
        if (close >= 0) {
          flushCode(i);
          spans.push_back({i, close + tagLen, SpanKind::Quoted});
          codeStart = i = close + tagLen;
          continue;
        }
      }
    }
    ++i;
  }
  flushCode(n);
  return spans;
}

// Pieces are added trimmed; empty pieces and the delimiter itself are left out.
void AddPiece(QStringList &list, const QString &piece, const QString &delimiter) {
  const QString t = piece.trimmed();
  if (t.isEmpty() || t == delimiter) return;
  list.append(t);
}

}  // namespace

QString RemoveSqlComments(const QString &text) {
  const std::vector<Span> spans = LexSql(text);
  QString out;
  out.reserve(text.size());
  for (const Span &sp : spans) {
    if (sp.kind == SpanKind::Comment)
      out += u' ';
    else
      out += QStringView(text).mid(sp.start, sp.end - sp.start);
  }
  return out;
}

QStringList SplitCommandText(const QString &text, const QString &delimiter) {
  QStringList list;
  const QString s = RemoveSqlComments(text).trimmed();
  if (s.isEmpty()) return list;

  const bool lineBreaks = delimiter.compare(QStringLiteral("\\n"), Qt::CaseInsensitive) == 0;
  QString pattern;
  if (delimiter.isEmpty())
    pattern = CommandPattern();
  else
    pattern = (lineBreaks ? QStringLiteral("\\n") : Regex::escape(delimiter)) + u'|' + CommandPattern();
  const Regex re(pattern);

  // Quoted spans of the cleaned text: matches that touch them are no cuts.
  std::vector<Span> quoted;
  for (const Span &sp : LexSql(s))
    if (sp.kind == SpanKind::Quoted) quoted.push_back(sp);
  // Matches are found left to right, so the spans before a match are never needed again.
  size_t firstQuoted = 0;
  auto quotedOverlap = [&](qsizetype b, qsizetype e) -> const Span * {
    while (firstQuoted < quoted.size() && quoted[firstQuoted].end <= b) ++firstQuoted;
    if (firstQuoted < quoted.size() && quoted[firstQuoted].start < e) return &quoted[firstQuoted];
    return nullptr;
  };

  qsizetype pieceStart = 0;
  qsizetype searchFrom = 0;
  RegexMatch m;
  while (pieceStart < s.size() && re.match(s, &m, searchFrom, true)) {
    if (const Span *q = quotedOverlap(m.start, m.end())) {
      searchFrom = m.start < q->start ? m.start + 1 : q->end;
      continue;
    }
    const QString matched = m.captured(0);
    AddPiece(list, s.mid(pieceStart, m.start - pieceStart), delimiter);
    if (matched != delimiter) AddPiece(list, matched, delimiter);
    pieceStart = searchFrom = m.end();
  }
  AddPiece(list, s.mid(pieceStart), delimiter);
  return list;
}

bool TextIsQRVCommand(const QString &text) {
  static const Regex re(CommandPattern(), ReCaseless);
  return re.matches(text);
}

QString CommandBody(const QString &commandLine) {
  static const Regex re(CommandPattern(), ReCaseless);
  RegexMatch m;
  if (!re.match(commandLine, &m)) return QString();
  return m.captured(1).trimmed();
}

QStringList SplitCommandWords(const QString &body) {
  // Words are separated by white space and control characters (everything up to the space character).
  auto isSep = [](QChar c) { return c.unicode() >= 1 && c.unicode() <= 32; };
  QStringList words;
  const qsizetype n = body.size();
  qsizetype i = 0;
  while (i < n && isSep(body.at(i))) ++i;
  while (i < n) {
    QString word;
    if (body.at(i) == u'"') {
      ++i;
      while (i < n) {
        if (body.at(i) == u'"') {
          if (i + 1 < n && body.at(i + 1) == u'"') {
            word += u'"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        word += body.at(i++);
      }
    } else {
      const qsizetype b = i;
      while (i < n && !isSep(body.at(i))) ++i;
      word = body.mid(b, i - b);
    }
    words.append(word);
    while (i < n && isSep(body.at(i))) ++i;
  }
  return words;
}

ParsedCommand ParseCommandLine(const QString &commandLine) {
  ParsedCommand pc;
  pc.words = SplitCommandWords(CommandBody(commandLine));
  if (pc.words.isEmpty()) return pc;
  for (int k = 0; k < 5; ++k) pc.words.append(QString());
  const QString w = pc.words.first();
  if (w.compare(QStringLiteral("CONNECT"), Qt::CaseInsensitive) == 0)
    pc.kind = CommandKind::Connect;
  else if (w.compare(QStringLiteral("DISCONNECT"), Qt::CaseInsensitive) == 0)
    pc.kind = CommandKind::Disconnect;
  else if (w.compare(QStringLiteral("SHELLEXEC"), Qt::CaseInsensitive) == 0)
    pc.kind = CommandKind::ShellExec;
  else
    pc.kind = CommandKind::Unknown;
  return pc;
}

bool QRVCommandIs(const QString &text, const QString &word) {
  return CommandBody(text).startsWith(word, Qt::CaseInsensitive);
}

QString AnswerEmptyCommand() { return QStringLiteral("Empty command"); }
QString AnswerUnknownCommand(const QString &word) { return QStringLiteral("Unknow command: \"%1\"").arg(word); }
QString AnswerNoParameters() { return QStringLiteral("No parameters supplied"); }
QString AnswerConnected(const QString &dbPath) {
  return QStringLiteral("Successfully connected to \"%1\"").arg(dbPath) + u'\n';
}
QString AnswerDisconnected() { return QStringLiteral("Successfully disconnected\n"); }
QString AnswerLaunched(const QString &target) { return QStringLiteral("Successfully launched ") + target + u'\n'; }

QString RunCommandLine(const QString &commandLine, const CommandActions &actions) {
  const ParsedCommand pc = ParseCommandLine(commandLine);
  if (pc.kind == CommandKind::Empty) return AnswerEmptyCommand();
  const QString param = pc.parameter();
  switch (pc.kind) {
    case CommandKind::Connect:
      if (!actions.connect) break;
      if (param.trimmed().isEmpty()) return AnswerNoParameters();
      {
        const QString err = actions.connect(param);
        return err.isEmpty() ? AnswerConnected(param) : err;
      }
    case CommandKind::Disconnect:
      if (!actions.disconnect) break;
      actions.disconnect();
      return AnswerDisconnected();
    case CommandKind::ShellExec:
      if (!actions.shellExec) break;
      if (param.trimmed().isEmpty()) return AnswerNoParameters();
      actions.shellExec(param);
      return AnswerLaunched(param);
    default:
      break;
  }
  return AnswerUnknownCommand(pc.commandWord());
}

DatabasePath SplitDatabasePath(const QString &path) {
  const QStringList parts = path.split(QStringLiteral(" > "));
  DatabasePath p;
  p.rdbms = parts.value(0);
  p.connection = parts.value(1);
  p.database = parts.value(2);
  return p;
}

}  // namespace qrv
