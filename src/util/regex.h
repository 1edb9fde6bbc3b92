#pragma once
// The one regular-expression engine of the program: PCRE2 (16-bit) over QString.
#include <QList>
#include <QString>
#include <QStringList>
#include <memory>

namespace qrv {

enum RegexOption : unsigned {
  ReNone = 0,
  ReCaseless = 1,   // ignore case
  ReMultiline = 2,  // ^ and $ at line breaks
  ReDotAll = 4,     // dot matches line breaks
};

struct RegexMatch {
  qsizetype start = -1;   // of the whole match, in UTF-16 units
  qsizetype length = 0;
  QStringList groups;     // groups[0] is the whole match; an unset group is a null QString
  QList<qsizetype> groupStarts;  // -1 for an unset group

  QString captured(int n = 0) const { return n >= 0 && n < groups.size() ? groups[n] : QString(); }
  qsizetype capturedStart(int n = 0) const { return n >= 0 && n < groupStarts.size() ? groupStarts[n] : -1; }
  qsizetype end() const { return start + length; }
};

class Regex {
 public:
  Regex() = default;
  explicit Regex(const QString &pattern, unsigned options = ReNone);

  // False for an invalid pattern; errorText() then says why, and every match fails.
  bool isValid() const { return bool(code_); }
  QString errorText() const { return error_; }
  qsizetype errorOffset() const { return errorOffset_; }
  const QString &pattern() const { return pattern_; }
  unsigned options() const { return options_; }

  // First match at or after offset. notEmpty refuses empty matches.
  bool match(const QString &subject, RegexMatch *m = nullptr, qsizetype offset = 0, bool notEmpty = false) const;
  bool matches(const QString &subject, bool notEmpty = false) const { return match(subject, nullptr, 0, notEmpty); }
  QList<RegexMatch> matchAll(const QString &subject, bool notEmpty = false, qsizetype maxCount = -1) const;
  qsizetype countMatches(const QString &subject, bool notEmpty = false) const;

  // Replaces matches (all, or the first maxCount). With expandGroups, "$1", "${name}" and "$$" in
  // the replacement are expanded; otherwise it is inserted literally.
  QString replace(const QString &subject, const QString &replacement, bool expandGroups = false,
                  bool notEmpty = false, qsizetype maxCount = -1) const;

  // The text with every metacharacter escaped, so that it matches itself.
  static QString escape(const QString &text);

 private:
  struct Code;
  std::shared_ptr<Code> code_;
  QString pattern_;
  QString error_;
  qsizetype errorOffset_ = -1;
  unsigned options_ = ReNone;
};

}  // namespace qrv
