#include "util/regex.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

namespace qrv {

struct Regex::Code {
  pcre2_code_16 *code = nullptr;
  bool jit = false;
  ~Code() { pcre2_code_free_16(code); }
};

namespace {
PCRE2_SPTR16 sp(const QString &s) { return reinterpret_cast<PCRE2_SPTR16>(s.utf16()); }

struct MatchData {
  pcre2_match_data_16 *md;
  explicit MatchData(pcre2_code_16 *c) : md(pcre2_match_data_create_from_pattern_16(c, nullptr)) {}
  ~MatchData() { pcre2_match_data_free_16(md); }
};
}  // namespace

Regex::Regex(const QString &pattern, unsigned options) : pattern_(pattern), options_(options) {
  uint32_t flags = PCRE2_UTF | PCRE2_MATCH_INVALID_UTF;
  if (options & ReCaseless) flags |= PCRE2_CASELESS;
  if (options & ReMultiline) flags |= PCRE2_MULTILINE;
  if (options & ReDotAll) flags |= PCRE2_DOTALL;
  int errCode = 0;
  PCRE2_SIZE errOffset = 0;
  pcre2_code_16 *c = pcre2_compile_16(sp(pattern), PCRE2_SIZE(pattern.size()), flags, &errCode, &errOffset, nullptr);
  if (!c) {
    PCRE2_UCHAR16 buf[256];
    int n = pcre2_get_error_message_16(errCode, buf, 256);
    error_ = QStringLiteral("Invalid regular expression at offset %1: %2")
                 .arg(qsizetype(errOffset))
                 .arg(n > 0 ? QString::fromUtf16(reinterpret_cast<const char16_t *>(buf), n) : QString::number(errCode));
    errorOffset_ = qsizetype(errOffset);
    return;
  }
  code_ = std::make_shared<Code>();
  code_->code = c;
  code_->jit = pcre2_jit_compile_16(c, PCRE2_JIT_COMPLETE) == 0;
}

bool Regex::match(const QString &subject, RegexMatch *m, qsizetype offset, bool notEmpty) const {
  if (!code_ || offset < 0 || offset > subject.size()) return false;
  MatchData d(code_->code);
  uint32_t mopts = notEmpty ? PCRE2_NOTEMPTY : 0;
  int rc = pcre2_match_16(code_->code, sp(subject), PCRE2_SIZE(subject.size()), PCRE2_SIZE(offset), mopts, d.md, nullptr);
  if (rc < 0) return false;
  if (m) {
    PCRE2_SIZE *ov = pcre2_get_ovector_pointer_16(d.md);
    uint32_t n = pcre2_get_ovector_count_16(d.md);
    m->groups.clear();
    m->groupStarts.clear();
    for (uint32_t i = 0; i < n; ++i) {
      if (ov[2 * i] == PCRE2_UNSET) {
        m->groups.append(QString());
        m->groupStarts.append(-1);
      } else {
        m->groups.append(subject.mid(qsizetype(ov[2 * i]), qsizetype(ov[2 * i + 1] - ov[2 * i])));
        m->groupStarts.append(qsizetype(ov[2 * i]));
      }
    }
    // Trailing unset groups are reported too, so group indexes stay stable.
    uint32_t capCount = 0;
    pcre2_pattern_info_16(code_->code, PCRE2_INFO_CAPTURECOUNT, &capCount);
    while (uint32_t(m->groups.size()) < capCount + 1) {
      m->groups.append(QString());
      m->groupStarts.append(-1);
    }
    m->start = qsizetype(ov[0]);
    m->length = qsizetype(ov[1] - ov[0]);
  }
  return true;
}

QList<RegexMatch> Regex::matchAll(const QString &subject, bool notEmpty, qsizetype maxCount) const {
  QList<RegexMatch> out;
  qsizetype pos = 0;
  while (pos <= subject.size() && (maxCount < 0 || out.size() < maxCount)) {
    RegexMatch m;
    if (!match(subject, &m, pos, notEmpty)) break;
    out.append(m);
    if (m.length == 0) {
      // Step over an empty match (and a whole surrogate pair).
      pos = m.start + 1;
      if (pos < subject.size() && subject.at(pos - 1).isHighSurrogate() && subject.at(pos).isLowSurrogate()) ++pos;
    } else {
      pos = m.end();
    }
  }
  return out;
}

qsizetype Regex::countMatches(const QString &subject, bool notEmpty) const {
  if (!code_) return 0;
  MatchData d(code_->code);
  uint32_t mopts = notEmpty ? PCRE2_NOTEMPTY : 0;
  qsizetype count = 0;
  PCRE2_SIZE pos = 0;
  const PCRE2_SIZE len = PCRE2_SIZE(subject.size());
  while (pos <= len) {
    int rc = pcre2_match_16(code_->code, sp(subject), len, pos, mopts, d.md, nullptr);
    if (rc < 0) break;
    ++count;
    PCRE2_SIZE *ov = pcre2_get_ovector_pointer_16(d.md);
    pos = ov[1] > ov[0] ? ov[1] : ov[0] + 1;
  }
  return count;
}

static QString expandReplacement(const QString &rep, const RegexMatch &m) {
  QString out;
  out.reserve(rep.size());
  for (qsizetype i = 0; i < rep.size(); ++i) {
    QChar c = rep.at(i);
    if (c == u'$' && i + 1 < rep.size()) {
      QChar n = rep.at(i + 1);
      if (n == u'$') {
        out += u'$';
        ++i;
        continue;
      }
      if (n.isDigit()) {
        qsizetype j = i + 1;
        int g = 0;
        while (j < rep.size() && rep.at(j).isDigit() && g * 10 + rep.at(j).digitValue() < m.groups.size()) {
          g = g * 10 + rep.at(j).digitValue();
          ++j;
        }
        if (j > i + 1) {
          out += m.captured(g);
          i = j - 1;
          continue;
        }
      }
      if (n == u'{') {
        qsizetype close = rep.indexOf(u'}', i + 2);
        if (close > 0) {
          bool ok = false;
          int g = rep.mid(i + 2, close - i - 2).toInt(&ok);
          if (ok) {
            out += m.captured(g);
            i = close;
            continue;
          }
        }
      }
    }
    out += c;
  }
  return out;
}

QString Regex::replace(const QString &subject, const QString &replacement, bool expandGroups, bool notEmpty,
                       qsizetype maxCount) const {
  if (!code_) return subject;
  const QList<RegexMatch> all = matchAll(subject, notEmpty, maxCount);
  if (all.isEmpty()) return subject;
  QString out;
  out.reserve(subject.size());
  qsizetype last = 0;
  for (const RegexMatch &m : all) {
    out += QStringView(subject).mid(last, m.start - last);
    out += expandGroups ? expandReplacement(replacement, m) : replacement;
    last = m.end();
  }
  out += QStringView(subject).mid(last);
  return out;
}

QString Regex::escape(const QString &text) {
  static const QString meta = QStringLiteral("\\^$.|?*+()[]{}/#-");
  QString out;
  out.reserve(text.size() * 2);
  for (QChar c : text) {
    if (meta.contains(c)) {
      out += u'\\';
      out += c;
    } else if (c == u'\r') {
      out += QStringLiteral("\\r");
    } else if (c == u'\n') {
      out += QStringLiteral("\\n");
    } else if (c == u'\t') {
      out += QStringLiteral("\\t");
    } else if (c == QChar(0)) {
      out += QStringLiteral("\\x{0}");
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace qrv
