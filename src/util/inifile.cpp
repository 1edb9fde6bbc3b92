#include "util/inifile.h"

#include "util/textfile.h"

namespace qrv {

IniFile::IniFile(const QString &fileName) : fileName_(fileName) { reload(); }

void IniFile::reload() {
  setText(fileName_.isEmpty() ? QString() : ReadTextFile(fileName_));
  modified_ = false;
}

void IniFile::setText(const QString &text) {
  prologue_.clear();
  sections_.clear();
  std::vector<Line> *cur = &prologue_;
  for (const QString &rawLine : SplitLines(text)) {
    const QString t = rawLine.trimmed();
    if (t.startsWith(u'[') && t.endsWith(u']')) {
      sections_.push_back(Section{t.mid(1, t.size() - 2).trimmed(), {}});
      cur = &sections_.back().lines;
      continue;
    }
    Line l;
    l.raw = rawLine;
    if (!t.isEmpty() && !t.startsWith(u';')) {
      const qsizetype eq = rawLine.indexOf(u'=');
      if (eq >= 0) {
        l.key = rawLine.left(eq).trimmed();
        l.value = rawLine.mid(eq + 1);
        l.hasEq = true;
      } else {
        l.key = t;
      }
    }
    cur->push_back(std::move(l));
  }
  modified_ = true;
}

static void appendLines(QStringList &out, const auto &lines) {
  for (const auto &l : lines) out.append(l.hasEq ? l.key + u'=' + l.value : l.raw);
}

QString IniFile::text() const {
  QStringList out;
  appendLines(out, prologue_);
  for (const Section &s : sections_) {
    out.append(u'[' + s.name + u']');
    appendLines(out, s.lines);
  }
  return out.isEmpty() ? QString() : out.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
}

IniFile::Section *IniFile::findSection(const QString &name) {
  for (Section &s : sections_)
    if (s.name.compare(name, Qt::CaseInsensitive) == 0) return &s;
  return nullptr;
}

const IniFile::Section *IniFile::findSection(const QString &name) const {
  return const_cast<IniFile *>(this)->findSection(name);
}

const IniFile::Line *IniFile::findLine(const QString &section, const QString &key) const {
  const Section *s = findSection(section);
  if (!s) return nullptr;
  for (const Line &l : s->lines)
    if (l.hasEq && l.key.compare(key, Qt::CaseInsensitive) == 0) return &l;
  return nullptr;
}

bool IniFile::sectionExists(const QString &section) const { return findSection(section) != nullptr; }

bool IniFile::valueExists(const QString &section, const QString &key) const {
  return findLine(section, key) != nullptr;
}

QString IniFile::readString(const QString &section, const QString &key, const QString &def) const {
  const Line *l = findLine(section, key);
  return l ? l->value : def;
}

qint64 IniFile::readInt64(const QString &section, const QString &key, qint64 def) const {
  const Line *l = findLine(section, key);
  if (!l) return def;
  const QString v = l->value.trimmed();
  bool ok = false;
  qint64 r = 0;
  if (v.startsWith(u'$'))
    r = v.mid(1).toLongLong(&ok, 16);
  else if (v.startsWith(QStringLiteral("0x"), Qt::CaseInsensitive))
    r = v.mid(2).toLongLong(&ok, 16);
  else
    r = v.toLongLong(&ok, 10);
  return ok ? r : def;
}

int IniFile::readInteger(const QString &section, const QString &key, int def) const {
  const qint64 v = readInt64(section, key, qint64(def));
  return (v < INT_MIN || v > INT_MAX) ? def : int(v);
}

bool IniFile::readBool(const QString &section, const QString &key, bool def) const {
  const Line *l = findLine(section, key);
  if (!l) return def;
  bool ok = false;
  const qint64 v = l->value.trimmed().toLongLong(&ok);
  return ok ? v != 0 : def;
}

QByteArray IniFile::readBinary(const QString &section, const QString &key, const QByteArray &def) const {
  const Line *l = findLine(section, key);
  if (!l) return def;
  const QString v = l->value.trimmed();
  if (v.size() % 2 != 0) return def;
  for (QChar c : v)
    if (!isxdigit(c.unicode() < 128 ? c.toLatin1() : 'x')) return def;
  return QByteArray::fromHex(v.toLatin1());
}

void IniFile::writeString(const QString &section, const QString &key, const QString &value) {
  Section *s = findSection(section);
  if (!s) {
    sections_.push_back(Section{section, {}});
    s = &sections_.back();
  }
  // A value is one line: line breaks would split the entry.
  QString v = value;
  v.replace(u'\r', u' ').replace(u'\n', u' ');
  for (Line &l : s->lines) {
    if (l.hasEq && l.key.compare(key, Qt::CaseInsensitive) == 0) {
      if (l.value != v) {
        l.value = v;
        modified_ = true;
      }
      return;
    }
  }
  // Insert after the last key line, before trailing blank lines.
  auto pos = s->lines.end();
  while (pos != s->lines.begin() && !std::prev(pos)->hasEq && std::prev(pos)->raw.trimmed().isEmpty()) --pos;
  Line l;
  l.key = key;
  l.value = v;
  l.hasEq = true;
  s->lines.insert(pos, std::move(l));
  modified_ = true;
}

void IniFile::writeInteger(const QString &section, const QString &key, qint64 value) {
  writeString(section, key, QString::number(value));
}

void IniFile::writeBool(const QString &section, const QString &key, bool value) {
  writeString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void IniFile::writeBinary(const QString &section, const QString &key, const QByteArray &value) {
  writeString(section, key, QString::fromLatin1(value.toHex().toUpper()));
}

QStringList IniFile::sections() const {
  QStringList out;
  for (const Section &s : sections_) out.append(s.name);
  return out;
}

QStringList IniFile::sectionKeys(const QString &section) const {
  QStringList out;
  if (const Section *s = findSection(section))
    for (const Line &l : s->lines)
      if (!l.key.isEmpty()) out.append(l.key);
  return out;
}

QStringList IniFile::sectionValues(const QString &section) const {
  QStringList out;
  if (const Section *s = findSection(section))
    for (const Line &l : s->lines)
      if (!l.key.isEmpty()) out.append(l.hasEq ? l.key + u'=' + l.value : l.raw.trimmed());
  return out;
}

void IniFile::eraseSection(const QString &section) {
  for (auto it = sections_.begin(); it != sections_.end();) {
    if (it->name.compare(section, Qt::CaseInsensitive) == 0) {
      it = sections_.erase(it);
      modified_ = true;
    } else {
      ++it;
    }
  }
}

void IniFile::deleteKey(const QString &section, const QString &key) {
  Section *s = findSection(section);
  if (!s) return;
  for (auto it = s->lines.begin(); it != s->lines.end(); ++it) {
    if (it->hasEq && it->key.compare(key, Qt::CaseInsensitive) == 0) {
      s->lines.erase(it);
      modified_ = true;
      return;
    }
  }
}

bool IniFile::updateFile(QString *error) {
  if (fileName_.isEmpty()) {
    if (error) *error = QStringLiteral("No file name");
    return false;
  }
  if (!WriteTextFileAtomic(fileName_, text(), error)) return false;
  modified_ = false;
  return true;
}

}  // namespace qrv
