#pragma once
// INI files as the program reads and writes them: sections in square brackets, "key=value" lines.
// Sections and keys match ignoring case; the order of the file is kept.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

namespace qrv {

class IniFile {
 public:
  IniFile() = default;
  // Reads the file at once; a missing or unreadable file reads as empty.
  explicit IniFile(const QString &fileName);

  const QString &fileName() const { return fileName_; }
  void reload();
  // Parses text in place of the file's contents (the file name is kept).
  void setText(const QString &text);
  QString text() const;

  bool sectionExists(const QString &section) const;
  bool valueExists(const QString &section, const QString &key) const;

  QString readString(const QString &section, const QString &key, const QString &def = QString()) const;
  int readInteger(const QString &section, const QString &key, int def = 0) const;
  qint64 readInt64(const QString &section, const QString &key, qint64 def = 0) const;
  // Written "1"/"0"; read as true for any non-zero integer, the default when not an integer.
  bool readBool(const QString &section, const QString &key, bool def = false) const;
  // Upper-case hexadecimal, two digits a byte; the default when missing or not hexadecimal.
  QByteArray readBinary(const QString &section, const QString &key, const QByteArray &def = QByteArray()) const;

  void writeString(const QString &section, const QString &key, const QString &value);
  void writeInteger(const QString &section, const QString &key, qint64 value);
  void writeBool(const QString &section, const QString &key, bool value);
  void writeBinary(const QString &section, const QString &key, const QByteArray &value);

  QStringList sections() const;
  QStringList sectionKeys(const QString &section) const;
  // The section as "key=value" lines; a line without "=" is kept whole.
  QStringList sectionValues(const QString &section) const;
  void eraseSection(const QString &section);
  void deleteKey(const QString &section, const QString &key);

  bool modified() const { return modified_; }
  // Writes the file: UTF-8 without a byte-order mark, through a temporary file.
  bool updateFile(QString *error = nullptr);

 private:
  struct Line {
    QString key;    // empty for comments and blank lines
    QString value;
    QString raw;    // the line as read, for lines that are not key=value
    bool hasEq = false;
  };
  struct Section {
    QString name;
    std::vector<Line> lines;
  };
  Section *findSection(const QString &name);
  const Section *findSection(const QString &name) const;
  const Line *findLine(const QString &section, const QString &key) const;

  QString fileName_;
  std::vector<Line> prologue_;
  std::vector<Section> sections_;
  bool modified_ = false;
};

}  // namespace qrv
